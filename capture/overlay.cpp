#include "capture/overlay.h"

#include "app/grabotine.h"
#include "capture/grab.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

RECT rect = {0, 0, 0, 0};
int bEtat = 0;

namespace {

HPEN hPen = nullptr;  // dotted white pen of the rubber band

HBITMAP hFrozen = nullptr;

void DropFrozenScreen()
{
    if (hFrozen)
        DeleteObject(hFrozen);
    hFrozen = nullptr;
}

RECT MonitorOf(HWND hwnd)
{
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    GetMonitorInfoA(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &mi);
    return mi.rcMonitor;
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
    Rectangle(hdc, rect.left, rect.top, rect.right, rect.bottom);
}

// Topmost, so that task bars and notification areas are under it too.
void CoverMonitor(const RECT& monitor)
{
    SetWindowPos(hWndMain, HWND_TOPMOST, monitor.left, monitor.top, monitor.right - monitor.left,
                 monitor.bottom - monitor.top, SWP_NOACTIVATE);
}

}  // namespace

HBITMAP FrozenScreen() { return hFrozen; }

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
    const RECT monitor = MonitorOf(hWndMain);
    DropFrozenScreen();
    hFrozen = CopyScreen(monitor);
    // Without a window manager a maximized popup keeps the size it had, so it gets the
    // monitor's first; a shell that maximizes to the work area is overruled afterwards.
    CoverMonitor(monitor);
    ShowWindow(hWndMain, SW_SHOWMAXIMIZED);
    RECT window = {};
    GetWindowRect(hWndMain, &window);
    if (!EqualRect(&window, &monitor))
        CoverMonitor(monitor);
    SetForegroundWindow(hWndMain);
}

void HideOverlay()
{
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

void StartDrag(int x, int y)
{
    rect.left = rect.right = x;
    rect.top = rect.bottom = y;
    DrawRectangle();
    bEtat = 1;
}

void DragTo(int x, int y)
{
    if (!bEtat)
        return;
    DrawRectangle();
    rect.right = x;
    rect.bottom = y;
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
