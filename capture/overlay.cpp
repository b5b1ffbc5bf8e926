#include "capture/overlay.h"

#include "app/grabotine.h"
#include "app/settings.h"
#include "capture/frozen.h"
#include "capture/magnifier.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <algorithm>

int bEtat = 0;

namespace {

HPEN hPen = nullptr;  // dotted white pen of the rubber band

// Where the frozen picture, and the overlay showing it, lie on the virtual screen.
RECT frozenArea = {0, 0, 0, 0};

// The pointer in the overlay's client coordinates, as the last move or key left it.
POINT pointer = {0, 0};
// Whether this showing of the overlay has the magnifier, and where its box lies (client
// coordinates). The window shows the frozen picture with the outline XORed over it everywhere
// but in the box, which shows the magnifier whole.
bool magnifierOn = false;
RECT magnifierBox = {0, 0, 0, 0};
// Where the box is composed before one copy puts it on the window; made as an overlay with the
// magnifier shows, and dropped with the frozen picture.
HDC hMagnifierDC = nullptr;
HBITMAP hMagnifierSurface = nullptr;

// The outline XORed over the picture now (virtual screen): the rubber band during a drag, the
// window under the pointer with snapping.
bool outlined = false;
RECT outline = {0, 0, 0, 0};

// Snapping, for this showing of the overlay: the rectangle a click takes, the innermost window
// under the pointer, and how many steps Tab widened it toward its top-level window. A press
// stays pending, the highlight kept, until the pointer moves past the drag threshold.
bool snapOn = false;
bool snapListed = false;
RECT highlight = {0, 0, 0, 0};
int snapInnermost = -1;
int snapWider = 0;
bool pending = false;
POINT pressedAt = {0, 0};

// The magnifier's buffer goes with the picture; the DC first, so that no bitmap is deleted
// while selected.
void DropMagnifier()
{
    if (hMagnifierDC)
        DeleteDC(hMagnifierDC);
    if (hMagnifierSurface)
        DeleteObject(hMagnifierSurface);
    hMagnifierDC = nullptr;
    hMagnifierSurface = nullptr;
    magnifierOn = false;
    magnifierBox = {0, 0, 0, 0};
}

bool MakeMagnifierSurface()
{
    ScopedGetDC screen(nullptr);
    hMagnifierDC = CreateCompatibleDC(screen.get());
    hMagnifierSurface =
        CreateCompatibleBitmap(screen.get(), kMagnifierSize.cx, kMagnifierSize.cy);
    if (!hMagnifierDC || !hMagnifierSurface || !SelectObject(hMagnifierDC, hMagnifierSurface))
        return false;
    PrepareMagnifier(hMagnifierDC);
    return true;
}

// r is on the virtual screen, the DC's origin at the overlay's corner.
void DrawOutline(HDC hdc, const RECT& r)
{
    ScopedSelectObject pen(hdc, hPen);
    ScopedSelectObject brush(hdc, GetStockObject(NULL_BRUSH));
    SetBkMode(hdc, TRANSPARENT);
    SetROP2(hdc, R2_XORPEN);
    Rectangle(hdc, r.left - frozenArea.left, r.top - frozenArea.top, r.right - frozenArea.left,
              r.bottom - frozenArea.top);
}

// Topmost, so that task bars and notification areas are under it too.
void CoverArea(const RECT& area)
{
    SetWindowPos(hWndMain, HWND_TOPMOST, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

// Overlay client coordinates to the virtual screen.
POINT ScreenPoint(int x, int y) { return {x + frozenArea.left, y + frozenArea.top}; }
POINT ScreenPoint(POINT at) { return ScreenPoint(at.x, at.y); }

// The pointer's monitor in client coordinates, looked up again only once the pointer leaves it.
RECT pointerMonitor = {0, 0, 0, 0};

// The box beside the pointer, on the pointer's monitor, in client coordinates.
RECT MagnifierBoxAt(POINT at)
{
    if (!PtInRect(&pointerMonitor, at)) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoA(MonitorFromPoint(ScreenPoint(at), MONITOR_DEFAULTTONEAREST), &info))
            info.rcMonitor = frozenArea;
        pointerMonitor = info.rcMonitor;
        OffsetRect(&pointerMonitor, -frozenArea.left, -frozenArea.top);
    }
    const POINT corner = MagnifierPlace(at, pointerMonitor, kMagnifierSize);
    return {corner.x, corner.y, corner.x + kMagnifierSize.cx, corner.y + kMagnifierSize.cy};
}

void PaintMagnifier(HDC hdc)
{
    char caption[64] = {};
    MagnifierCaption(caption, ScreenPoint(pointer), outlined ? &outline : nullptr);
    DrawMagnifier(hdc, {magnifierBox.left, magnifierBox.top}, hMagnifierDC, FrozenScreen(),
                  {frozenArea.right - frozenArea.left, frozenArea.bottom - frozenArea.top},
                  pointer, caption);
}

void PaintFrozen(HDC hdc, const RECT& area)
{
    BitBlt(hdc, area.left, area.top, area.right - area.left, area.bottom - area.top,
           FrozenScreen(), area.left, area.top, SRCCOPY);
}

// The parts of `from` outside `cut`: up to four bands, in parts; returns how many.
int RectMinus(const RECT& from, const RECT& cut, RECT (&parts)[4])
{
    RECT common = {};
    if (!IntersectRect(&common, &from, &cut)) {
        parts[0] = from;
        return 1;
    }
    int n = 0;
    const RECT bands[] = {{from.left, from.top, from.right, common.top},
                          {from.left, common.bottom, from.right, from.bottom},
                          {from.left, common.top, common.left, common.bottom},
                          {common.right, common.top, from.right, common.bottom}};
    for (const RECT& band : bands)
        if (!IsRectEmpty(&band))
            parts[n++] = band;
    return n;
}

void ClipOut(HDC hdc, const RECT& box)
{
    ExcludeClipRect(hdc, box.left, box.top, box.right, box.bottom);
}

// The moving corner at `at` on the virtual screen, stopping at the overlay's edge: nothing
// beyond it was shown.
void CornerTo(RECT& r, POINT at)
{
    r.right = std::clamp(at.x, frozenArea.left, frozenArea.right);
    r.bottom = std::clamp(at.y, frozenArea.top, frozenArea.bottom);
}

// Whether the outline of r (on the virtual screen) may touch box (client coordinates): it lies
// on r's border, so not when box is wholly outside r or wholly inside it. A pixel of margin.
bool OutlineMayTouch(bool drawn, const RECT& r, const RECT& box)
{
    if (!drawn)
        return false;
    RECT border = r;
    OrderRect(border);
    OffsetRect(&border, -frozenArea.left, -frozenArea.top);
    RECT outer = border;
    InflateRect(&outer, 1, 1);
    InflateRect(&border, -2, -2);
    RECT common = {};
    const bool inside = box.left >= border.left && box.right <= border.right &&
                        box.top >= border.top && box.bottom <= border.bottom;
    return IntersectRect(&common, &outer, &box) && !inside;
}

// What should be outlined now: the rubber band once a drag is under way, else the snapping
// highlight; false for nothing.
bool WantedOutline(RECT& r)
{
    if (bEtat && !pending) {
        r = rect;
        return true;
    }
    r = highlight;
    return snapOn && snapListed;
}

// The highlight for the pointer at `at` (virtual screen): Tab's widening holds while the
// pointer stays over the same innermost window. The windows are listed first if input came
// before the list.
void SnapTo(POINT at)
{
    if (!snapListed) {
        ListFrozenWindows();
        snapListed = true;
    }
    const int innermost = SnapWindowAt(FrozenWindows(), at);
    if (innermost != snapInnermost)
        snapWider = 0;
    snapInnermost = innermost;
    highlight = SnapRect(FrozenWindows(), FrozenMonitors(), at, snapWider, frozenArea);
}

// Whether the outline wanted differs from the one drawn.
bool OutlineChanges(bool want, const RECT& wanted)
{
    return want != outlined || (want && !EqualRect(&wanted, &outline));
}

// XORs the outline drawn away and the wanted one in, through the clipping the caller set.
void SwapOutline(HDC hdc, bool want, const RECT& wanted)
{
    if (outlined)
        DrawOutline(hdc, outline);
    outlined = want;
    outline = wanted;
    if (outlined)
        DrawOutline(hdc, outline);
}

// Moves the outline from what is drawn to what is wanted, outside the magnifier's box, which
// shows the magnifier whole. Nothing when it stays.
void UpdateOutline()
{
    RECT wanted = {};
    const bool want = WantedOutline(wanted);
    if (!OutlineChanges(want, wanted))
        return;
    ScopedGetDC hdc(hWndMain);
    ScopedSaveDC clipping(hdc.get());
    if (magnifierOn)
        ClipOut(hdc.get(), magnifierBox);
    SwapOutline(hdc.get(), want, wanted);
}

// A move with the magnifier: every pixel changes at most once, so neither the box nor the
// outline flickers. Outside the old and the new box the outline moves as without the
// magnifier; what the new box leaves of the old one gets the picture and the new outline; the
// new box is copied whole. The clipping, slow to draw through, only where the outline runs
// under a box.
void MoveWithMagnifier(POINT to)
{
    const RECT oldBox = magnifierBox;
    const RECT newBox = MagnifierBoxAt(to);
    RECT after = {};
    const bool afterOn = WantedOutline(after);
    ScopedGetDC hdc(hWndMain);
    if (OutlineChanges(afterOn, after)) {
        ScopedSaveDC clipping(hdc.get());
        if (OutlineMayTouch(outlined, outline, oldBox) ||
            OutlineMayTouch(outlined, outline, newBox) ||
            OutlineMayTouch(afterOn, after, oldBox) || OutlineMayTouch(afterOn, after, newBox)) {
            ClipOut(hdc.get(), oldBox);
            ClipOut(hdc.get(), newBox);
        }
        SwapOutline(hdc.get(), afterOn, after);
    }
    magnifierBox = newBox;
    pointer = to;
    RECT uncovered[4];
    const int parts = RectMinus(oldBox, newBox, uncovered);
    const bool outlineThere = OutlineMayTouch(outlined, outline, oldBox);
    for (int i = 0; i < parts; ++i) {
        const RECT& part = uncovered[i];
        PaintFrozen(hdc.get(), part);
        if (!outlineThere)
            continue;
        ScopedSaveDC clipping(hdc.get());
        IntersectClipRect(hdc.get(), part.left, part.top, part.right, part.bottom);
        DrawOutline(hdc.get(), outline);
    }
    PaintMagnifier(hdc.get());
}

// The pointer is at `to` (client coordinates) and the selection or highlight follows; the
// window catches up.
void Redraw(POINT to)
{
    if (magnifierOn) {
        MoveWithMagnifier(to);
        return;
    }
    pointer = to;
    UpdateOutline();
}

// Past the system's drag threshold a press becomes a drag; short of it, a click.
bool PastDragThreshold(POINT from, POINT to)
{
    return abs(to.x - from.x) >= GetSystemMetrics(SM_CXDRAG) ||
           abs(to.y - from.y) >= GetSystemMetrics(SM_CYDRAG);
}

}  // namespace

void CreateOverlayPen() { hPen = CreatePen(PS_DOT, 1, RGB(255, 255, 255)); }

void DeleteOverlayPen()
{
    DeleteObject(hPen);
    hPen = nullptr;
}

void DrawRectangle()
{
    if (!outlined)
        return;
    ScopedGetDC hdc(hWndMain);
    ScopedSaveDC clipping(hdc.get());
    if (magnifierOn)
        ClipOut(hdc.get(), magnifierBox);
    DrawOutline(hdc.get(), outline);
}

void ShowOverlay()
{
    if (IsWindowVisible(hWndMain))
        return;
    DropMagnifier();
    snapOn = AppliState.EtatSnap == 1;
    snapListed = false;
    FreezeScreen();
    frozenArea = FrozenArea();
    POINT cursor = {};
    GetCursorPos(&cursor);
    pointer = {cursor.x - frozenArea.left, cursor.y - frozenArea.top};
    magnifierOn = AppliState.EtatMagnifier == 1 && FrozenScreen() && MakeMagnifierSurface();
    pointerMonitor = {0, 0, 0, 0};
    magnifierBox = magnifierOn ? MagnifierBoxAt(pointer) : RECT{0, 0, 0, 0};
    snapInnermost = -1;
    snapWider = 0;
    pending = false;
    outlined = false;
    // Not maximized: that would fit the window to one monitor. A shell that moves it all the
    // same is overruled.
    CoverArea(frozenArea);
    ShowWindow(hWndMain, SW_SHOW);
    KeepOverlayPlace();
    SetForegroundWindow(hWndMain);
}

void KeepOverlayPlace()
{
    RECT window = {};
    GetWindowRect(hWndMain, &window);
    if (IsWindowVisible(hWndMain) && !EqualRect(&window, &frozenArea))
        CoverArea(frozenArea);
}

void HideOverlay()
{
    // The capture change this causes finds no drag left to cancel.
    if (GetCapture() == hWndMain)
        ReleaseCapture();
    ShowWindow(hWndMain, SW_HIDE);
    DropMagnifier();
    ThawScreen();
    outlined = false;
}

void PaintOverlay(HWND hwnd)
{
    {
        ScopedPaint paint(hwnd);
        if (!FrozenScreen())
            return;
        {
            ScopedSaveDC clipping(paint.get());
            if (magnifierOn)
                ClipOut(paint.get(), magnifierBox);
            PaintFrozen(paint.get(), paint.area());
            // Keeps the XOR outline whole, so the next erase leaves no trace in the repainted
            // part.
            if (outlined)
                DrawOutline(paint.get(), outline);
        }
        if (magnifierOn)
            PaintMagnifier(paint.get());
    }
    // Once the whole picture shows.
    if (snapOn && !snapListed && !GetUpdateRect(hwnd, nullptr, FALSE))
        PostMessageA(hWndMain, WM_LISTWINDOWS, 0, 0);
}

void ListSnapWindows()
{
    if (!snapOn || snapListed || !IsWindowVisible(hWndMain))
        return;
    SnapTo(ScreenPoint(pointer));
    Redraw(pointer);
}

// The drag owns the mouse, so that a release anywhere reaches it. A press during a drag
// (the mouse's during the keyboard's) changes nothing. With snapping, the press waits to see
// whether it is a click.
void StartDrag(int x, int y)
{
    if (bEtat)
        return;
    const POINT at = ScreenPoint(x, y);
    rect.left = rect.right = at.x;
    rect.top = rect.bottom = at.y;
    bEtat = 1;
    pending = snapOn;
    pressedAt = at;
    if (pending)
        SnapTo(at);
    SetCapture(hWndMain);
    Redraw({x, y});
}

void StartDragAtPointer() { StartDrag(pointer.x, pointer.y); }

void PointerMoved(int x, int y)
{
    const POINT at = ScreenPoint(x, y);
    if (pending && PastDragThreshold(pressedAt, at))
        pending = false;
    if (bEtat && !pending)
        CornerTo(rect, at);
    else if (snapOn && !bEtat)
        SnapTo(at);
    Redraw({x, y});
}

void WidenSnap(int steps)
{
    if (!snapOn || (bEtat && !pending))
        return;
    SnapTo(ScreenPoint(pointer));
    snapWider = std::clamp(snapWider + steps, 0, SnapDepth(FrozenWindows(), snapInnermost));
    highlight = SnapRect(FrozenWindows(), FrozenMonitors(), ScreenPoint(pointer), snapWider,
                         frozenArea);
    Redraw(pointer);
}

void NudgePointer(int dx, int dy)
{
    if (!FrozenScreen())
        return;
    const POINT at = {std::clamp(pointer.x + dx, 0L, frozenArea.right - frozenArea.left - 1),
                      std::clamp(pointer.y + dy, 0L, frozenArea.bottom - frozenArea.top - 1)};
    SetCursorPos(at.x + frozenArea.left, at.y + frozenArea.top);
    PointerMoved(at.x, at.y);
}

// The outline goes first: the overlay may stay up a moment longer (a save's message box).
void EndDrag()
{
    if (pending) {
        rect = highlight;
    } else if (bEtat) {
        OrderRect(rect);
        ReachEdges(rect, FrozenMonitors());
    }
    bEtat = 0;
    pending = false;
    snapOn = false;
    UpdateOutline();
}

void CancelDrag()
{
    bEtat = 0;
    pending = false;
    snapOn = false;
    UpdateOutline();
    HideOverlay();
}
