#include "capture/overlay.h"

#include "app/grabotine.h"
#include "app/settings.h"
#include "capture/grab.h"
#include "capture/magnifier.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <algorithm>

RECT rect = {0, 0, 0, 0};
int bEtat = 0;

namespace {

HPEN hPen = nullptr;  // dotted white pen of the rubber band

// The frozen picture stays selected in a memory DC of its own while it lives: every paint, move
// and grab reads it there.
HBITMAP hFrozen = nullptr;
HDC hFrozenDC = nullptr;
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

// Layered windows are part of what the user sees, hence CAPTUREBLT.
HBITMAP CopyScreen(const RECT& area)
{
    // The screen's own context: under Wine a CreateDC("DISPLAY") one ignores a virtual
    // screen that starts left of or above the primary monitor.
    ScopedGetDC screen(nullptr);
    return CopyRegion(screen.get(), screen.get(), area, SRCCOPY | CAPTUREBLT);
}

// The DCs go first, so that no bitmap is deleted while selected.
void DropFrozenScreen()
{
    if (hFrozenDC)
        DeleteDC(hFrozenDC);
    if (hMagnifierDC)
        DeleteDC(hMagnifierDC);
    if (hFrozen)
        DeleteObject(hFrozen);
    if (hMagnifierSurface)
        DeleteObject(hMagnifierSurface);
    hFrozenDC = hMagnifierDC = nullptr;
    hFrozen = hMagnifierSurface = nullptr;
    magnifierOn = false;
    magnifierBox = {0, 0, 0, 0};
}

void HoldFrozenScreen(const RECT& area)
{
    hFrozen = CopyScreen(area);
    hFrozenDC = hFrozen ? CreateCompatibleDC(nullptr) : nullptr;
    if (hFrozenDC)
        SelectObject(hFrozenDC, hFrozen);
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

void DrawOutline(HDC hdc)
{
    ScopedSelectObject pen(hdc, hPen);
    ScopedSelectObject brush(hdc, GetStockObject(NULL_BRUSH));
    SetBkMode(hdc, TRANSPARENT);
    SetROP2(hdc, R2_XORPEN);
    // rect is on the virtual screen, the DC's origin at the overlay's corner.
    Rectangle(hdc, rect.left - frozenArea.left, rect.top - frozenArea.top,
              rect.right - frozenArea.left, rect.bottom - frozenArea.top);
}

// Topmost, so that task bars and notification areas are under it too.
void CoverArea(const RECT& area)
{
    SetWindowPos(hWndMain, HWND_TOPMOST, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

// Overlay client coordinates to the virtual screen.
POINT ScreenPoint(int x, int y) { return {x + frozenArea.left, y + frozenArea.top}; }

// The pointer's monitor in client coordinates, looked up again only once the pointer leaves it.
RECT pointerMonitor = {0, 0, 0, 0};

// The box beside the pointer, on the pointer's monitor, in client coordinates.
RECT MagnifierBoxAt(POINT at)
{
    if (!PtInRect(&pointerMonitor, at)) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoA(MonitorFromPoint(ScreenPoint(at.x, at.y), MONITOR_DEFAULTTONEAREST),
                             &info))
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
    MagnifierCaption(caption, ScreenPoint(pointer.x, pointer.y), bEtat ? &rect : nullptr);
    DrawMagnifier(hdc, {magnifierBox.left, magnifierBox.top}, hMagnifierDC, hFrozenDC,
                  {frozenArea.right - frozenArea.left, frozenArea.bottom - frozenArea.top},
                  pointer, caption);
}

void PaintFrozen(HDC hdc, const RECT& area)
{
    BitBlt(hdc, area.left, area.top, area.right - area.left, area.bottom - area.top, hFrozenDC,
           area.left, area.top, SRCCOPY);
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
bool OutlineMayTouch(const RECT& r, const RECT& box)
{
    RECT outline = r;
    OrderRect(outline);
    OffsetRect(&outline, -frozenArea.left, -frozenArea.top);
    RECT outer = outline;
    InflateRect(&outer, 1, 1);
    InflateRect(&outline, -2, -2);
    RECT common = {};
    const bool inside = box.left >= outline.left && box.right <= outline.right &&
                        box.top >= outline.top && box.bottom <= outline.bottom;
    return IntersectRect(&common, &outer, &box) && !inside;
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
    RECT after = rect;
    CornerTo(after, ScreenPoint(to.x, to.y));
    ScopedGetDC hdc(hWndMain);
    if (bEtat) {
        ScopedSaveDC clipping(hdc.get());
        if (OutlineMayTouch(rect, oldBox) || OutlineMayTouch(rect, newBox) ||
            OutlineMayTouch(after, oldBox) || OutlineMayTouch(after, newBox)) {
            ClipOut(hdc.get(), oldBox);
            ClipOut(hdc.get(), newBox);
        }
        DrawOutline(hdc.get());
        rect = after;
        DrawOutline(hdc.get());
    }
    magnifierBox = newBox;
    pointer = to;
    RECT uncovered[4];
    const int parts = RectMinus(oldBox, newBox, uncovered);
    const bool outlineThere = bEtat && OutlineMayTouch(rect, oldBox);
    for (int i = 0; i < parts; ++i) {
        const RECT& part = uncovered[i];
        PaintFrozen(hdc.get(), part);
        if (!outlineThere)
            continue;
        ScopedSaveDC clipping(hdc.get());
        IntersectClipRect(hdc.get(), part.left, part.top, part.right, part.bottom);
        DrawOutline(hdc.get());
    }
    PaintMagnifier(hdc.get());
}

}  // namespace

RECT VirtualScreen()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

HDC FrozenScreen() { return hFrozenDC; }

POINT FrozenOrigin() { return {frozenArea.left, frozenArea.top}; }

void CreateOverlayPen() { hPen = CreatePen(PS_DOT, 1, RGB(255, 255, 255)); }

void DeleteOverlayPen()
{
    DeleteObject(hPen);
    hPen = nullptr;
}

void DrawRectangle()
{
    ScopedGetDC hdc(hWndMain);
    if (!magnifierOn) {
        DrawOutline(hdc.get());
        return;
    }
    ScopedSaveDC clipping(hdc.get());
    ClipOut(hdc.get(), magnifierBox);
    DrawOutline(hdc.get());
}

void ShowOverlay()
{
    if (IsWindowVisible(hWndMain))
        return;
    DropFrozenScreen();
    frozenArea = VirtualScreen();
    HoldFrozenScreen(frozenArea);
    POINT cursor = {};
    GetCursorPos(&cursor);
    pointer = {cursor.x - frozenArea.left, cursor.y - frozenArea.top};
    magnifierOn = AppliState.EtatMagnifier == 1 && hFrozenDC && MakeMagnifierSurface();
    pointerMonitor = {0, 0, 0, 0};
    magnifierBox = magnifierOn ? MagnifierBoxAt(pointer) : RECT{0, 0, 0, 0};
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
    DropFrozenScreen();
}

void PaintOverlay(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    if (magnifierOn) {
        {
            ScopedSaveDC clipping(paint.get());
            ClipOut(paint.get(), magnifierBox);
            PaintFrozen(paint.get(), paint.area());
            if (bEtat)
                DrawOutline(paint.get());
        }
        PaintMagnifier(paint.get());
        return;
    }
    if (hFrozenDC)
        PaintFrozen(paint.get(), paint.area());
    // Keeps the XOR outline whole, so the next erase leaves no trace in the repainted part.
    if (bEtat)
        DrawOutline(paint.get());
}

// The drag owns the mouse, so that a release anywhere reaches it. A press during a drag
// (the mouse's during the keyboard's) changes nothing.
void StartDrag(int x, int y)
{
    if (bEtat)
        return;
    const POINT at = ScreenPoint(x, y);
    rect.left = rect.right = at.x;
    rect.top = rect.bottom = at.y;
    DrawRectangle();
    bEtat = 1;
    SetCapture(hWndMain);
    if (magnifierOn)
        MoveWithMagnifier({x, y});
}

void StartDragAtPointer() { StartDrag(pointer.x, pointer.y); }

void PointerMoved(int x, int y)
{
    if (magnifierOn) {
        MoveWithMagnifier({x, y});
        return;
    }
    pointer = {x, y};
    if (!bEtat)
        return;
    DrawRectangle();
    CornerTo(rect, ScreenPoint(x, y));
    DrawRectangle();
}

void NudgePointer(int dx, int dy)
{
    if (!hFrozen)
        return;
    const POINT at = {std::clamp(pointer.x + dx, 0L, frozenArea.right - frozenArea.left - 1),
                      std::clamp(pointer.y + dy, 0L, frozenArea.bottom - frozenArea.top - 1)};
    SetCursorPos(at.x + frozenArea.left, at.y + frozenArea.top);
    PointerMoved(at.x, at.y);
}

void EndDrag()
{
    if (bEtat)
        DrawRectangle();  // the outline must not end up in the grab
    SetBitmapClipBoard();
    bEtat = 0;  // cleared first, so the focus loss caused by hiding draws nothing
    HideOverlay();
}

void CancelDrag()
{
    if (bEtat)
        DrawRectangle();
    bEtat = 0;
    HideOverlay();
}
