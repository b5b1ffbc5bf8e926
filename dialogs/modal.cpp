#include "dialogs/modal.h"

#include "app/grabotine.h"

#include <algorithm>

namespace {

// The monitor the modal dialog being opened goes on; one opens at a time.
HMONITOR openOn = nullptr;

bool WorkAreaOf(HMONITOR monitor, RECT& area)
{
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoA(monitor, &mi))
        return false;
    area = mi.rcWork;
    return true;
}

// The start that gives a window of length size the same share of the room to leaves it as it
// had of the room in from (flush with an edge stays flush, centred stays centred): whole in to
// where it fits, its start inside where it does not.
LONG PlaceAlong(LONG start, LONG size, LONG fromStart, LONG fromEnd, LONG toStart, LONG toEnd)
{
    const LONG fromRoom = fromEnd - fromStart - size;
    const LONG toRoom = toEnd - toStart - size;
    const LONG offset = fromRoom > 0 ? MulDiv(start - fromStart, toRoom, fromRoom) : start - fromStart;
    return std::max(std::min(toStart + offset, toEnd - size), toStart);
}

}  // namespace

RECT PlaceInWorkArea(const RECT& window, const RECT& from, const RECT& to)
{
    const LONG w = window.right - window.left;
    const LONG h = window.bottom - window.top;
    const LONG x = PlaceAlong(window.left, w, from.left, from.right, to.left, to.right);
    const LONG y = PlaceAlong(window.top, h, from.top, from.bottom, to.top, to.bottom);
    return {x, y, x + w, y + h};
}

void PlaceOnMonitor(HWND hwnd, HMONITOR monitor)
{
    RECT to = {};
    if (!WorkAreaOf(monitor, to))
        return;
    // Twice: a monitor of another scale resizes the dialog as it arrives.
    for (int pass = 0; pass < 2; ++pass) {
        RECT window = {};
        RECT from = {};
        GetWindowRect(hwnd, &window);
        if (!WorkAreaOf(MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST), from))
            return;
        const RECT place = PlaceInWorkArea(window, from, to);
        if (EqualRect(&place, &window))
            return;
        SetWindowPos(hwnd, nullptr, place.left, place.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

INT_PTR DialogMessage(HWND hwnd, UINT iMsg, WPARAM wParam, void (*init)(HWND),
                      INT_PTR (*command)(HWND, WORD))
{
    switch (iMsg) {
    case WM_INITDIALOG:
        PlaceOnMonitor(hwnd, openOn);
        init(hwnd);
        return 0;
    case WM_COMMAND: return command(hwnd, LOWORD(wParam));
    case WM_CLOSE:
    case WM_DESTROY: EndDialog(hwnd, 0); return 0;
    default: return 0;
    }
}

void RunModal(int id, HWND owner, DLGPROC proc, POINT at)
{
    openOn = MonitorFromPoint(at, MONITOR_DEFAULTTOPRIMARY);
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(id), owner, proc, 0);
}
