#include "app/countdown.h"

#include "app/grabotine.h"
#include "capture/magnifier.h"
#include "win/scoped_win.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kBoxClass[] = "GrabotineCountdown";

HWND box = nullptr;
bool running = false;
DWORD startTick = 0;
DWORD totalMs = 0;
int shownSeconds = 0;

void PaintBox(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    RECT client = {};
    GetClientRect(hwnd, &client);
    FillRect(paint.get(), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    char text[8] = {};
    snprintf(text, sizeof text, "%d", shownSeconds);
    ScopedSelectObject font(paint.get(), GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(paint.get(), TRANSPARENT);
    SetTextColor(paint.get(), RGB(255, 255, 255));
    DrawTextA(paint.get(), text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: PaintBox(hwnd); return 0;
    // Clicks go to whatever is under it, as far as the system lets them.
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// Wide enough for "60" in the dialog font, with a margin.
SIZE BoxSize()
{
    ScopedGetDC screen(nullptr);
    ScopedSelectObject font(screen.get(), GetStockObject(DEFAULT_GUI_FONT));
    SIZE text = {};
    GetTextExtentPoint32A(screen.get(), "60", 2, &text);
    return {text.cx + 12, text.cy + 6};
}

bool MakeBox()
{
    if (box)
        return true;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BoxProc;
    wc.hInstance = hInst;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.lpszClassName = kBoxClass;
    RegisterClassA(&wc);
    // Unowned: a window owned by the main one would rise above the overlay with it.
    box = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT,
                          kBoxClass, "Grabotine countdown", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                          hInst, nullptr);
    return box != nullptr;
}

// Beside the pointer, on its monitor, and repainted with the seconds left.
void ShowBox()
{
    if (!MakeBox())
        return;
    POINT pointer = {};
    GetCursorPos(&pointer);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &info);
    const SIZE size = BoxSize();
    const POINT at = MagnifierPlace(pointer, info.rcMonitor, size);
    SetWindowPos(box, HWND_TOPMOST, at.x, at.y, size.cx, size.cy,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(box, nullptr, FALSE);
}

void HideBox()
{
    if (box)
        ShowWindow(box, SW_HIDE);
}

void Stop()
{
    running = false;
    KillTimer(hWndMain, kCountdownTimer);
    HideBox();
}

// Brings box and timer up to the time elapsed; returns the step.
CountdownStep Advance()
{
    const CountdownStep step = CountdownAt(GetTickCount() - startTick, totalMs);
    if (step.over)
        return step;
    if (!step.boxShown) {
        HideBox();
    } else if (step.secondsLeft != shownSeconds || !IsWindowVisible(box)) {
        shownSeconds = step.secondsLeft;
        ShowBox();
    }
    SetTimer(hWndMain, kCountdownTimer, step.nextTickMs, nullptr);
    return step;
}

}  // namespace

CountdownStep CountdownAt(DWORD elapsedMs, DWORD total)
{
    if (elapsedMs >= total)
        return {0, false, true, 0};
    const DWORD left = total - elapsedMs;
    const bool shown = left > kCountdownHideLeadMs;
    // The next whole second, the box leaving, or the end: whichever comes first.
    DWORD next = left % 1000 ? left % 1000 : 1000;
    if (shown)
        next = std::min(next, left - kCountdownHideLeadMs);
    next = std::min(next, left);
    return {static_cast<int>((left + 999) / 1000), shown, false,
            static_cast<UINT>(std::max<DWORD>(next, USER_TIMER_MINIMUM))};
}

void StartCountdown(int seconds)
{
    running = true;
    startTick = GetTickCount();
    totalMs = static_cast<DWORD>(seconds) * 1000;
    shownSeconds = 0;
    Advance();
}

void CancelCountdown() { Stop(); }

bool CountdownRunning() { return running; }

void HurryCountdown()
{
    if (!running)
        return;
    const DWORD elapsed = GetTickCount() - startTick;
    // Already off the screen for the last moments: the time left stands.
    if (elapsed + kCountdownHideLeadMs < totalMs)
        totalMs = elapsed + kCountdownHideLeadMs;
    Advance();
}

bool CountdownTick(bool mayEnd)
{
    if (!running) {
        KillTimer(hWndMain, kCountdownTimer);
        return false;
    }
    if (!Advance().over)
        return false;
    if (!mayEnd) {
        PostponeCountdown();
        return false;
    }
    Stop();
    return true;
}

void PostponeCountdown()
{
    if (!running)
        return;
    totalMs = std::max(totalMs, GetTickCount() - startTick + kCountdownHideLeadMs);
    Advance();
}
