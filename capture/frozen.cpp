#include "capture/frozen.h"

#include "win/bitmap.h"
#include "win/scoped_win.h"
#include "win/system_dll.h"

#include <algorithm>
#include <cstring>

RECT rect = {0, 0, 0, 0};

namespace {

// The picture stays selected in a memory DC of its own while it lives: every paint, move and
// grab reads it there.
HBITMAP hFrozen = nullptr;
HDC hFrozenDC = nullptr;
RECT frozenArea = {0, 0, 0, 0};
std::vector<RECT> frozenMonitors;
SnapList frozenWindows;
bool windowsListed = false;
HWND shellWindow = nullptr;

// Far more windows than any desktop has: the end of a list that keeps changing under the walk.
constexpr size_t kMostWindows = 20000;

// Layered windows are part of what the user sees, hence CAPTUREBLT.
HBITMAP CopyScreen(const RECT& area)
{
    // The screen's own context: under Wine a CreateDC("DISPLAY") one ignores a virtual
    // screen that starts left of or above the primary monitor.
    ScopedGetDC screen(nullptr);
    return CopyRegion(screen.get(), screen.get(), area, SRCCOPY | CAPTUREBLT);
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT area, LPARAM list)
{
    reinterpret_cast<std::vector<RECT>*>(list)->push_back(*area);
    return TRUE;
}

using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

// What the compositor says of a window; false where it says nothing (no compositor, or a
// system without the attribute).
bool DwmAttribute(HWND hwnd, DWORD attribute, void* value, DWORD size)
{
    static const auto get =
        SystemFunction<DwmGetWindowAttributeFn>("dwmapi.dll", "DwmGetWindowAttribute");
    return get && SUCCEEDED(get(hwnd, attribute, value, size));
}

// The shell's desktop (its wallpaper windows, each as large as a monitor at least) stands for no
// window: a click there takes the monitor.
bool IsShellDesktop(HWND hwnd, const RECT& r)
{
    if (hwnd == shellWindow)
        return true;
    const bool coversAMonitor =
        std::any_of(frozenMonitors.begin(), frozenMonitors.end(), [&](const RECT& m) {
            return r.left <= m.left && r.top <= m.top && r.right >= m.right && r.bottom >= m.bottom;
        });
    if (!coversAMonitor)
        return false;
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return strcmp(cls, "Progman") == 0 || strcmp(cls, "WorkerW") == 0;
}

// A window of which nothing shows: an alpha of 0 set through SetLayeredWindowAttributes.
bool IsInvisibleLayer(HWND hwnd, LONG exStyle)
{
    BYTE alpha = 255;
    DWORD flags = 0;
    return (exStyle & WS_EX_LAYERED) &&
           GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags) && (flags & LWA_ALPHA) &&
           alpha == 0;
}

// The cheap questions first: most top-level windows are hidden.
WindowFacts FactsOf(HWND hwnd, bool topLevel)
{
    WindowFacts facts = {};
    facts.visible = IsWindowVisible(hwnd);
    if (!facts.visible)
        return facts;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    facts.ours = pid == GetCurrentProcessId();
    if (facts.ours)
        return facts;
    const LONG exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
    facts.clickThrough = (exStyle & WS_EX_TRANSPARENT) != 0;
    facts.invisibleLayer = IsInvisibleLayer(hwnd, exStyle);
    if (!topLevel) {
        GetWindowRect(hwnd, &facts.rect);
        return facts;
    }
    facts.minimized = IsIconic(hwnd);
    DWORD cloaked = 0;
    facts.cloaked = DwmAttribute(hwnd, 14 /* DWMWA_CLOAKED */, &cloaked, sizeof cloaked) &&
                    cloaked != 0;
    // Without the invisible resize borders of Windows 10 and 11.
    if (!DwmAttribute(hwnd, 9 /* DWMWA_EXTENDED_FRAME_BOUNDS */, &facts.rect, sizeof facts.rect))
        GetWindowRect(hwnd, &facts.rect);
    facts.shellDesktop = IsShellDesktop(hwnd, facts.rect);
    return facts;
}

void ListChildren(HWND parent, int parentIndex)
{
    for (HWND child = GetWindow(parent, GW_CHILD);
         child && frozenWindows.size() < kMostWindows; child = GetWindow(child, GW_HWNDNEXT)) {
        const int index = AddSnapWindow(frozenWindows, FactsOf(child, false), parentIndex);
        if (index >= 0)
            ListChildren(child, index);
    }
}

BOOL CALLBACK AddTopLevel(HWND hwnd, LPARAM)
{
    const int index = AddSnapWindow(frozenWindows, FactsOf(hwnd, true), -1);
    if (index >= 0)
        ListChildren(hwnd, index);
    return frozenWindows.size() < kMostWindows;
}

}  // namespace

RECT VirtualScreen()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::vector<RECT> Monitors()
{
    std::vector<RECT> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

void FreezeScreen()
{
    ThawScreen();
    frozenArea = VirtualScreen();
    hFrozen = CopyScreen(frozenArea);
    hFrozenDC = hFrozen ? CreateCompatibleDC(nullptr) : nullptr;
    if (hFrozenDC)
        SelectObject(hFrozenDC, hFrozen);
    frozenMonitors = Monitors();
}

void ListFrozenWindows()
{
    if (windowsListed || !hFrozen)
        return;
    windowsListed = true;
    shellWindow = GetShellWindow();
    // EnumWindows walks the top-level windows from the top of the z-order down.
    EnumWindows(AddTopLevel, 0);
}

// The DC first, so that the bitmap is not deleted while selected.
void ThawScreen()
{
    if (hFrozenDC)
        DeleteDC(hFrozenDC);
    if (hFrozen)
        DeleteObject(hFrozen);
    hFrozenDC = nullptr;
    hFrozen = nullptr;
    // Given back, not only emptied: nothing of a press stays once the overlay is gone.
    std::vector<RECT>().swap(frozenMonitors);
    SnapList().swap(frozenWindows);
    windowsListed = false;
}

HDC FrozenScreen() { return hFrozenDC; }

RECT FrozenArea() { return frozenArea; }

const std::vector<RECT>& FrozenMonitors() { return frozenMonitors; }

const SnapList& FrozenWindows() { return frozenWindows; }
