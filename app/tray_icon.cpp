#include "app/grabotine.h"

#include <shellapi.h>

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
    return Shell_NotifyIconA(NIM_ADD, &tnid);
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
