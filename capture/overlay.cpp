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

HBITMAP hFrozen = nullptr;
// Where the frozen picture, and the overlay showing it, lie on the virtual screen.
RECT frozenArea = {0, 0, 0, 0};

// The pointer in the overlay's client coordinates, as the last move or key left it.
POINT pointer = {0, 0};
// Whether this showing of the overlay has the magnifier, and where its box lies (client
// coordinates). The window shows the frozen picture with the outline XORed over it everywhere
// but in the box, which shows the magnifier whole.
bool magnifierOn = false;
RECT magnifierBox = {0, 0, 0, 0};

void DropFrozenScreen()
{
    if (hFrozen)
        DeleteObject(hFrozen);
    hFrozen = nullptr;
}

// Layered windows are part of what the user sees, hence CAPTUREBLT.
HBITMAP CopyScreen(const RECT& area)
{
    // The screen's own context: under Wine a CreateDC("DISPLAY") one ignores a virtual
    // screen that starts left of or above the primary monitor.
    ScopedGetDC screen(nullptr);
    return CopyRegion(screen.get(), screen.get(), area, SRCCOPY | CAPTUREBLT);
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

// The box beside the pointer, on the pointer's monitor, in client coordinates.
RECT MagnifierBoxAt(POINT at)
{
    const POINT onScreen = ScreenPoint(at.x, at.y);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromPoint(onScreen, MONITOR_DEFAULTTONEAREST), &info))
        info.rcMonitor = frozenArea;
    OffsetRect(&info.rcMonitor, -frozenArea.left, -frozenArea.top);
    const POINT corner = MagnifierPlace(at, info.rcMonitor, kMagnifierSize);
    return {corner.x, corner.y, corner.x + kMagnifierSize.cx, corner.y + kMagnifierSize.cy};
}

void PaintMagnifier(HDC hdc)
{
    char caption[64] = {};
    MagnifierCaption(caption, ScreenPoint(pointer.x, pointer.y), bEtat ? &rect : nullptr);
    DrawMagnifier(hdc, {magnifierBox.left, magnifierBox.top}, hFrozen, pointer, caption);
}

// The frozen picture in area (client coordinates).
void PaintFrozen(HDC hdc, const RECT& area)
{
    ScopedCreatedDC mem(CreateCompatibleDC(hdc));
    ScopedSelectObject select(mem.get(), hFrozen);
    BitBlt(hdc, area.left, area.top, area.right - area.left, area.bottom - area.top, mem.get(),
           area.left, area.top, SRCCOPY);
}

// Clips hdc to all but the magnifier's box until the holder goes.
class OutsideMagnifier {
public:
    explicit OutsideMagnifier(HDC hdc) : hdc_(hdc), saved_(SaveDC(hdc))
    {
        ExcludeClipRect(hdc, magnifierBox.left, magnifierBox.top, magnifierBox.right,
                        magnifierBox.bottom);
    }
    ~OutsideMagnifier() { RestoreDC(hdc_, saved_); }
    OutsideMagnifier(const OutsideMagnifier&) = delete;
    OutsideMagnifier& operator=(const OutsideMagnifier&) = delete;

private:
    HDC hdc_;
    int saved_;
};

// The moving corner at `at` on the virtual screen, stopping at the overlay's edge: nothing
// beyond it was shown.
void CornerTo(RECT& r, POINT at)
{
    r.right = std::clamp(at.x, frozenArea.left, frozenArea.right);
    r.bottom = std::clamp(at.y, frozenArea.top, frozenArea.bottom);
}

// A move with the magnifier: every pixel changes at most once, so neither the box nor the
// outline flickers. Outside the old and the new box the outline moves as without the
// magnifier; what the old box uncovers gets the picture and the new outline; the new box is
// copied whole.
void MoveWithMagnifier(POINT to)
{
    const RECT oldBox = magnifierBox;
    const RECT newBox = MagnifierBoxAt(to);
    ScopedGetDC hdc(hWndMain);
    {
        OutsideMagnifier outsideOld(hdc.get());
        magnifierBox = newBox;
        OutsideMagnifier outsideNew(hdc.get());
        if (bEtat) {
            DrawOutline(hdc.get());
            CornerTo(rect, ScreenPoint(to.x, to.y));
            DrawOutline(hdc.get());
        }
    }
    {
        const int saved = SaveDC(hdc.get());
        IntersectClipRect(hdc.get(), oldBox.left, oldBox.top, oldBox.right, oldBox.bottom);
        OutsideMagnifier outsideNew(hdc.get());
        PaintFrozen(hdc.get(), oldBox);
        if (bEtat)
            DrawOutline(hdc.get());
        RestoreDC(hdc.get(), saved);
    }
    pointer = to;
    PaintMagnifier(hdc.get());
}

}  // namespace

RECT VirtualScreen()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

HBITMAP FrozenScreen() { return hFrozen; }

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
    OutsideMagnifier outside(hdc.get());
    DrawOutline(hdc.get());
}

void ShowOverlay()
{
    if (IsWindowVisible(hWndMain))
        return;
    DropFrozenScreen();
    frozenArea = VirtualScreen();
    hFrozen = CopyScreen(frozenArea);
    POINT cursor = {};
    GetCursorPos(&cursor);
    pointer = {cursor.x - frozenArea.left, cursor.y - frozenArea.top};
    magnifierOn = AppliState.EtatMagnifier == 1 && hFrozen;
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
    magnifierOn = false;
    magnifierBox = {0, 0, 0, 0};
}

void PaintOverlay(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    if (magnifierOn) {
        {
            OutsideMagnifier outside(paint.get());
            PaintFrozen(paint.get(), paint.area());
            if (bEtat)
                DrawOutline(paint.get());
        }
        PaintMagnifier(paint.get());
        return;
    }
    if (hFrozen)
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
