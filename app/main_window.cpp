#include "app/countdown.h"
#include "app/grabotine.h"
#include "app/hotkey.h"
#include "app/settings.h"
#include "capture/grab.h"
#include "capture/overlay.h"
#include "capture/pin.h"
#include "dialogs/dialogs.h"
#include "output/save.h"
#include "output/saved_file.h"
#include "resources/resource.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

namespace {

HMENU hMenu = nullptr;
int EtatMouse = 1;  // last button pressed on the icon: 1 left (select), 0 right (menu)
POINT iconPress = {0, 0};  // the cursor at the last press on the icon: dialogs open on its monitor
bool menuOpen = false;

constexpr char kCancelDelay[] = "Cancel delayed capture";

// The delayed capture's item: its delay, or during the countdown the way to cancel it.
void SetDelayItem(HMENU menu)
{
    char text[32] = {};
    const int seconds = AppliState.EtatDelay;
    snprintf(text, sizeof text, "Capture in %d second%s", seconds, seconds == 1 ? "" : "s");
    ModifyMenuA(menu, IDM_DELAY, MF_BYCOMMAND | MF_STRING, IDM_DELAY,
                CountdownRunning() ? kCancelDelay : text);
}

HMENU BuildPopupMenu()
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "&About ...");
    AppendMenuA(menu, MF_STRING, IDM_HELP, "&Help");
    AppendMenuA(menu, MF_GRAYED, IDM_SAVE, "&Save");
    AppendMenuA(menu, MF_GRAYED, IDM_LASTREGION, "Capture last region");
    AppendMenuA(menu, MF_STRING, IDM_DELAY, kCancelDelay);
    SetDelayItem(menu);
    AppendMenuA(menu, MF_GRAYED, IDM_PIN, "Pin to screen");
    AppendMenuA(menu, MF_GRAYED, IDM_COPYPATH, "Copy path");
    AppendMenuA(menu, MF_GRAYED, IDM_OPENFOLDER, "Open folder");
    AppendMenuA(menu, MF_STRING, IDM_OPTIONS, "&Options");
    AppendMenuA(menu, MF_STRING, IDM_EXIT, "&Exit");
    return menu;
}

void OnCreate()
{
    CreateOverlayPen();
    hMenu = BuildPopupMenu();
    SetDefaultFolder();
}

void Shutdown()
{
    CancelCountdown();
    CloseAllPins();
    RenderPromisedPng();
    DeleteOverlayPen();
    ReleaseHotkey();
    TaskBarDel(IDI_GRABOTINE);
    StoreSettings();
    PostQuitMessage(0);
}

// The help page lives beside the executable and opens in the user's default viewer. Its path
// stays wide from end to end: an install folder whose name the code page lacks has an 8-bit
// form only where the volume keeps short names.
void OpenHelp()
{
    constexpr wchar_t kPage[] = L"grabotine.htm";
    wchar_t page[MAX_PATH] = {};
    const DWORD len = GetModuleFileNameW(nullptr, page, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
        return;
    wchar_t* slash = wcsrchr(page, L'\\');
    if (!slash || static_cast<size_t>(slash + 1 - page) + std::size(kPage) > MAX_PATH)
        return;
    wmemcpy(slash + 1, kPage, std::size(kPage));
    ShellExecuteW(nullptr, L"open", page, nullptr, nullptr, SW_SHOWNORMAL);
}

// Save, Exit and auto-save go through the key handler, as F4 and End on the overlay do.
void RequestKey(WPARAM key) { PostMessageA(hWndMain, WM_KEYDOWN, key, 0); }

void RequestExit()
{
    StoreSettings(true);
    RequestKey(VK_END);
}

// After a capture, from a release or the last region: there is a capture to save, and a
// region to capture again, from the first one on.
void AfterCapture()
{
    EnableMenuItem(hMenu, IDM_SAVE, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(hMenu, IDM_LASTREGION, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(hMenu, IDM_PIN, MF_BYCOMMAND | MF_ENABLED);
    if (AppliState.EtatAutoSave == 1)
        RequestKey(VK_F4);
}

// The dialog on top of the chain the disabled main window heads (Options, then its folder
// browser), brought to the front.
void ShowOpenDialog()
{
    HWND top = hWndMain;
    for (HWND next = GetLastActivePopup(top); next && next != top; next = GetLastActivePopup(top))
        top = next;
    SetForegroundWindow(top);
}

// Shift+Print Screen and the menu item: nothing over a selection on screen or before the first
// capture, and a dialog that is open comes forward instead.
void CaptureLastRegionAgain()
{
    if (IsWindowVisible(hWndMain) || !HasLastRegion())
        return;
    if (!IsWindowEnabled(hWndMain)) {
        ShowOpenDialog();
        return;
    }
    if (CaptureLastRegion())
        AfterCapture();
}

// The menu leaves the screen a moment after its command arrives (Windows fades it out): a
// capture from the menu waits until no menu of ours shows, a second at most.
constexpr UINT_PTR kMenuGoneTimer = 7;
constexpr UINT kMenuGoneCheckMs = 30;
constexpr DWORD kMenuGoneMostMs = 1000;
DWORD menuClosedAt = 0;

BOOL CALLBACK FindMenuShown(HWND hwnd, LPARAM shown)
{
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (IsWindowVisible(hwnd) && strcmp(cls, "#32768") == 0) {
        *reinterpret_cast<bool*>(shown) = true;
        return FALSE;
    }
    return TRUE;
}

// The menu itself, or the picture of it that Windows fades out (which would be in a capture
// wherever it comes from).
bool MenuStillShown()
{
    const HWND fading = FindWindowA("SysFader", nullptr);
    bool shown = fading && IsWindowVisible(fading);
    EnumThreadWindows(GetCurrentThreadId(), FindMenuShown, reinterpret_cast<LPARAM>(&shown));
    return shown;
}

void CALLBACK CaptureOnceMenuGone(HWND, UINT, UINT_PTR, DWORD)
{
    if (MenuStillShown() && GetTickCount() - menuClosedAt < kMenuGoneMostMs)
        return;
    KillTimer(hWndMain, kMenuGoneTimer);
    CaptureLastRegionAgain();
}

void CaptureLastRegionAfterMenu()
{
    menuClosedAt = GetTickCount();
    SetTimer(hWndMain, kMenuGoneTimer, kMenuGoneCheckMs, CaptureOnceMenuGone);
}

// F4, the Save item and auto-save: once a file was written, its path can be had.
void Save(HWND hwnd)
{
    SaveCapture(hwnd);
    if (LastSavedFile().empty())
        return;
    EnableMenuItem(hMenu, IDM_COPYPATH, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(hMenu, IDM_OPENFOLDER, MF_BYCOMMAND | MF_ENABLED);
}

// The item and Ctrl+Print Screen start a countdown, or cancel the one running. As the last
// region: not over a selection on screen, and an open dialog comes forward instead.
void DelayedCaptureAgain()
{
    if (CountdownRunning()) {
        CancelCountdown();
    } else if (!IsWindowEnabled(hWndMain)) {
        ShowOpenDialog();
        return;
    } else if (!IsWindowVisible(hWndMain)) {
        StartCountdown(AppliState.EtatDelay);
    }
    SetDelayItem(hMenu);
}

// The countdown's timer; at its end the screen freezes as at a press on the icon, never over
// the tray menu or its fading picture. The icon's place, where dialogs open, stays the last
// real press's; with a dialog open nothing is frozen.
void OnTimer(WPARAM id)
{
    if (id != kCountdownTimer || !CountdownTick(!menuOpen && !MenuStillShown()))
        return;
    SetDelayItem(hMenu);
    if (!IsWindowEnabled(hWndMain))
        return;
    EtatMouse = 1;
    PostMessageA(hWndMain, WM_SETFOCUS, 0, 0);
}

// The key is tried again first, so the dialog tells what holds now; OK's choice applies at
// once, and after Cancel there is nothing to apply.
void OpenOptions()
{
    ApplyHotkeySetting();
    ShowOptionsDialog(hWndMain, iconPress, HotkeyRefusal());
    ApplyHotkeySetting();
    // Kept at once: a file that cannot be written is told while the icon is there to tell it.
    StoreSettings();
}

void OnCommand(WORD id)
{
    switch (id) {
    case IDM_EXIT: RequestExit(); break;
    case IDM_ABOUT: ShowAboutDialog(hWndMain, iconPress); break;
    case IDM_SAVE: RequestKey(VK_F4); break;
    case IDM_LASTREGION: CaptureLastRegionAfterMenu(); break;
    case IDM_OPTIONS: OpenOptions(); break;
    case IDM_HELP: OpenHelp(); break;
    case IDM_DELAY: DelayedCaptureAgain(); break;
    case IDM_PIN: PinCapture(hBitmap, CaptureRegion()); break;
    case IDM_COPYPATH: CopySavedPath(hWndMain); break;
    case IDM_OPENFOLDER: ShowSavedFile(); break;
    default: break;
    }
}

// The grab reads the frozen picture, so the overlay hides only after it.
void OnLButtonUp()
{
    EndDrag();
    SetBitmapClipBoard();
    HideOverlay();
    AfterCapture();
}

// Enter and Space act as the left button: the first press starts a selection at the pointer,
// the second ends it as a release there. A key held down presses once.
void OnSelectKey(LPARAM lParam)
{
    if (lParam & (1 << 30))
        return;
    if (bEtat)
        OnLButtonUp();
    else if (EtatMouse == 1)
        StartDragAtPointer();
}

// The arrows move the pointer a pixel, ten with Shift; during a drag the corner goes along.
void OnArrowKey(WPARAM key)
{
    const int step = GetKeyState(VK_SHIFT) < 0 ? 10 : 1;
    const int dx = key == VK_LEFT ? -step : key == VK_RIGHT ? step : 0;
    const int dy = key == VK_UP ? -step : key == VK_DOWN ? step : 0;
    NudgePointer(dx, dy);
}

// A typed key counts only on the shown overlay: after the tray menu the hidden window can
// keep the keyboard focus. The program's own requests (Save, Exit, auto-save) are posted
// with lParam 0, which no typed key has (its repeat count is at least 1).
void OnKeyDown(HWND hwnd, WPARAM key, LPARAM lParam)
{
    if (lParam != 0 && !IsWindowVisible(hWndMain))
        return;
    switch (key) {
    case VK_END: Shutdown(); break;
    case VK_F4: Save(hwnd); break;
    case VK_ESCAPE: CancelDrag(); break;
    case VK_RETURN:
    case VK_SPACE: OnSelectKey(lParam); break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: OnArrowKey(key); break;
    case VK_TAB: WidenSnap(GetKeyState(VK_SHIFT) < 0 ? -1 : 1); break;
    default: break;
    }
}

// Alt+F4, or the window manager's close, never ends the program: on the shown overlay it
// cancels the selection, and typed to the hidden window (which can keep the keyboard after
// the tray menu) it was meant for another window. A close request sent from outside
// (WM_CLOSE, as setup sends) still ends it.
bool OnSysCommand(WPARAM command)
{
    if ((command & 0xFFF0) != SC_CLOSE)
        return false;
    if (IsWindowVisible(hWndMain))
        CancelDrag();
    return true;
}

// Losing the mouse mid-drag (another window took it) cancels as a focus loss does.
void OnCaptureChanged()
{
    if (bEtat)
        CancelDrag();
}

void OnTrayIcon(WPARAM id, LPARAM mouseMsg)
{
    if (id != IDI_GRABOTINE)
        return;
    // The shell keeps calling back while About or Options has the window disabled: a press
    // then only finds the dialog, never an overlay nobody can dismiss or a second menu.
    if (!IsWindowEnabled(hWndMain)) {
        if (mouseMsg == WM_LBUTTONDOWN || mouseMsg == WM_RBUTTONDOWN)
            ShowOpenDialog();
        return;
    }
    GetCursorPos(&iconPress);
    switch (mouseMsg) {
    case WM_LBUTTONDOWN:
        // During a countdown a press freezes at once, as soon as the countdown's box is gone.
        if (CountdownRunning()) {
            HurryCountdown();
            break;
        }
        EtatMouse = 1;
        PostMessageA(hWndMain, WM_SETFOCUS, 0, 0);
        break;
    case WM_RBUTTONDOWN: {
        EtatMouse = 0;
        // A tray menu only takes keys and closes on a click elsewhere when its owner is the
        // foreground window; the WM_NULL lets a second press on the icon open it again.
        SetForegroundWindow(hWndMain);
        // The system keeps it whole on the monitor of that point.
        menuOpen = true;
        TrackPopupMenu(hMenu, TPM_RIGHTALIGN, iconPress.x, iconPress.y, 0, hWndMain, nullptr);
        menuOpen = false;
        PostponeCountdown();
        PostMessageA(hWndMain, WM_NULL, 0, 0);
        break;
    }
    default: break;
    }
}

// Print Screen does what a left press on the icon does, Shift+Print Screen what the menu's
// last region does, Ctrl+Print Screen what its delayed capture does; none over a selection on
// screen, nor while the tray menu is open (its loop hands the key on): the menu would be in
// the picture, since it leaves the screen only a moment after it closes.
void OnHotKey(WPARAM id)
{
    if (id == kHotkeyId && !menuOpen && !IsWindowVisible(hWndMain))
        OnTrayIcon(IDI_GRABOTINE, WM_LBUTTONDOWN);
    else if (id == kLastRegionHotkeyId && !menuOpen)
        CaptureLastRegionAgain();
    else if (id == kDelayHotkeyId && !menuOpen)
        DelayedCaptureAgain();
}

void OnSetFocus()
{
    if (EtatMouse == 1)
        ShowOverlay();
}

void OnLButtonDown(LPARAM lParam)
{
    if (EtatMouse == 1)
        StartDrag(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

// Signed: with the mouse captured, left of or above the overlay is negative.
void OnMouseMove(LPARAM lParam) { PointerMoved(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

// A tray program runs until the session ends, usually without an Exit: keep what was set.
void OnEndSession(WPARAM ending)
{
    if (!ending)
        return;
    CancelCountdown();
    CloseAllPins();
    RenderPromisedPng();
    StoreSettings();
    ReleaseHotkey();
}

// A restarted shell has forgotten the icon (or was not up yet when it was first added).
void OnTaskbarCreated()
{
    TaskBarAdd(reinterpret_cast<HICON>(GetClassLongPtrA(hWndMain, GCLP_HICON)), IDI_GRABOTINE);
}

}  // namespace

LRESULT CALLBACK WndMainProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam)
{
    static const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    if (taskbarCreated != 0 && iMsg == taskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    switch (iMsg) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_DESTROY: Shutdown(); return 0;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_KILLFOCUS: CancelDrag(); return 0;
    case WM_PAINT: PaintOverlay(hwnd); return 0;
    case WM_KEYDOWN: OnKeyDown(hwnd, wParam, lParam); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_MOUSEMOVE: OnMouseMove(lParam); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(lParam); return 0;
    case WM_LBUTTONUP: OnLButtonUp(); return 0;
    case WM_RBUTTONUP: CancelDrag(); return 0;
    case WM_CAPTURECHANGED: OnCaptureChanged(); return 0;
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam) ? 0 : DefWindowProcA(hwnd, iMsg, wParam, lParam);
    // The overlay keeps covering the virtual screen in physical pixels; the suggested
    // rectangle would fit it to one monitor's scale.
    case WM_DPICHANGED: KeepOverlayPlace(); return 0;
    case WM_TRAYICON: OnTrayIcon(wParam, lParam); return 0;
    case WM_HOTKEY: OnHotKey(wParam); return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION: OnEndSession(wParam); return 0;
    // A setting that frees Print Screen may come with it.
    case WM_SETTINGCHANGE: RetryRefusedHotkey(); return 0;
    case WM_RENDERPNG: RenderPromisedPng(); return 0;
    case WM_LISTWINDOWS: ListSnapWindows(); return 0;
    case WM_RENDERFORMAT: RenderFormat(static_cast<UINT>(wParam)); return 0;
    case WM_RENDERALLFORMATS: RenderPromisedPng(); return 0;
    case WM_DESTROYCLIPBOARD: DropPngPromise(); return 0;
    default: return DefWindowProcA(hwnd, iMsg, wParam, lParam);
    }
}
