#include "capture/overlay.h"

#include "app/grabotine.h"
#include "capture/grab.h"
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

void DropFrozenScreen()
{
    if (hFrozen)
        DeleteObject(hFrozen);
    hFrozen = nullptr;
}

// Every monitor, and what lies between them, in physical pixels (the program is aware of
// each monitor's scale, so nothing here is scaled).
RECT VirtualScreen()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
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

}  // namespace

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
    DrawOutline(hdc.get());
}

void ShowOverlay()
{
    if (IsWindowVisible(hWndMain))
        return;
    DropFrozenScreen();
    frozenArea = VirtualScreen();
    hFrozen = CopyScreen(frozenArea);
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
    const RECT& area = paint.area();
    if (hFrozen) {
        ScopedCreatedDC mem(CreateCompatibleDC(paint.get()));
        ScopedSelectObject select(mem.get(), hFrozen);
        BitBlt(paint.get(), area.left, area.top, area.right - area.left, area.bottom - area.top,
               mem.get(), area.left, area.top, SRCCOPY);
    }
    // Keeps the XOR outline whole, so the next erase leaves no trace in the repainted part.
    if (bEtat)
        DrawOutline(paint.get());
}

// The drag owns the mouse, so that a release anywhere reaches it.
void StartDrag(int x, int y)
{
    const POINT at = ScreenPoint(x, y);
    rect.left = rect.right = at.x;
    rect.top = rect.bottom = at.y;
    DrawRectangle();
    bEtat = 1;
    SetCapture(hWndMain);
}

// Beyond the overlay's edge the corner stops at the edge: nothing there was shown.
void DragTo(int x, int y)
{
    if (!bEtat)
        return;
    const POINT at = ScreenPoint(x, y);
    DrawRectangle();
    rect.right = std::clamp(at.x, frozenArea.left, frozenArea.right);
    rect.bottom = std::clamp(at.y, frozenArea.top, frozenArea.bottom);
    DrawRectangle();
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
