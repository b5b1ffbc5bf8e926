#include "app/grabotine.h"

#include <shellapi.h>

namespace {

// At a busy sign-in the shell can time out and fail an add: the icon is tried again this
// often until it is there.
constexpr UINT_PTR kRetryAddTimer = 1;
constexpr UINT kRetryAddMs = 2000;

// The icon the retries add (the program has one).
HICON pendingIcon = nullptr;
int pendingId = 0;

void CALLBACK RetryAdd(HWND, UINT, UINT_PTR, DWORD) { TaskBarAdd(pendingIcon, pendingId); }

}  // namespace

BOOL TaskBarAdd(HICON hIcon, int idIcon)
{
    NOTIFYICONDATAA tnid = {};
    tnid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tnid.hWnd = hWndMain;
    tnid.uID = static_cast<UINT>(idIcon);
    tnid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tnid.uCallbackMessage = WM_TRAYICON;
    tnid.hIcon = hIcon;
    lstrcpynA(tnid.szTip, szAppName, sizeof tnid.szTip);
    // A shell that timed out may have added the icon all the same: a modify finds it then.
    const BOOL shown = Shell_NotifyIconA(NIM_ADD, &tnid) || Shell_NotifyIconA(NIM_MODIFY, &tnid);
    if (!hWndMain)
        return shown;
    if (shown) {
        KillTimer(hWndMain, kRetryAddTimer);
    } else {
        pendingIcon = hIcon;
        pendingId = idIcon;
        SetTimer(hWndMain, kRetryAddTimer, kRetryAddMs, RetryAdd);
    }
    return shown;
}

BOOL TaskBarDel(int idIcon)
{
    NOTIFYICONDATAA tnid = {};
    tnid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tnid.hWnd = hWndMain;
    tnid.uID = static_cast<UINT>(idIcon);
    return Shell_NotifyIconA(NIM_DELETE, &tnid);
}

// A notice from the icon, for what the user must learn but that needs no answer.
BOOL TaskBarBalloon(int idIcon, const char* title, const char* text)
{
    NOTIFYICONDATAA tnid = {};
    tnid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tnid.hWnd = hWndMain;
    tnid.uID = static_cast<UINT>(idIcon);
    tnid.uFlags = NIF_INFO;
    tnid.dwInfoFlags = NIIF_WARNING;
    lstrcpynA(tnid.szInfoTitle, title, sizeof tnid.szInfoTitle);
    lstrcpynA(tnid.szInfo, text, sizeof tnid.szInfo);
    return Shell_NotifyIconA(NIM_MODIFY, &tnid);
}
