#include "app/grabotine.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace {

// At a busy sign-in the shell can time out and fail an add: the icon is tried again this
// often until it is there.
constexpr UINT_PTR kRetryAddTimer = 1;
constexpr UINT kRetryAddMs = 2000;

// The icon the program shows (it has one), for the retries and for a balloon that finds it
// missing.
HICON trayIcon = nullptr;
int trayId = 0;

void CALLBACK RetryAdd(HWND, UINT, UINT_PTR, DWORD) { TaskBarAdd(trayIcon, trayId); }

// Balloons due while the icon is missing wait for it, one of each title.
NOTIFYICONDATAA waiting[kBalloonTitles] = {};
size_t waitingCount = 0;

void ShowWaitingBalloons()
{
    size_t kept = 0;
    for (size_t i = 0; i < waitingCount; ++i) {
        if (!Shell_NotifyIconA(NIM_MODIFY, &waiting[i]))
            waiting[kept++] = waiting[i];
    }
    waitingCount = kept;
}

}  // namespace

size_t KeepWaitingBalloon(NOTIFYICONDATAA* queue, size_t count, const NOTIFYICONDATAA& balloon)
{
    size_t i = 0;
    while (i < count && strcmp(queue[i].szInfoTitle, balloon.szInfoTitle) != 0)
        ++i;
    if (i == kBalloonTitles) {
        std::move(queue + 1, queue + kBalloonTitles, queue);
        i = kBalloonTitles - 1;
    }
    queue[i] = balloon;
    return std::max(count, i + 1);
}

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
    trayIcon = hIcon;
    trayId = idIcon;
    if (shown) {
        KillTimer(hWndMain, kRetryAddTimer);
        ShowWaitingBalloons();
    } else {
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

// A notice from the icon, for what the user must learn but that needs no answer. When the
// icon is missing (its add failed or the shell lost it) the add is tried again at once.
void TaskBarBalloon(int idIcon, const char* title, const char* text, DWORD infoFlags)
{
    NOTIFYICONDATAA tnid = {};
    tnid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tnid.hWnd = hWndMain;
    tnid.uID = static_cast<UINT>(idIcon);
    tnid.uFlags = NIF_INFO;
    tnid.dwInfoFlags = infoFlags;
    lstrcpynA(tnid.szInfoTitle, title, sizeof tnid.szInfoTitle);
    lstrcpynA(tnid.szInfo, text, sizeof tnid.szInfo);
    if (Shell_NotifyIconA(NIM_MODIFY, &tnid))
        return;
    waitingCount = KeepWaitingBalloon(waiting, waitingCount, tnid);
    if (trayIcon)
        TaskBarAdd(trayIcon, trayId);
}
