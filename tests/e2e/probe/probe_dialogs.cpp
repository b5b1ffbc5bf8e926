// Finding the program's dialogs and reading or working their controls from outside.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// find-dialog OWNER CAPTION|- TIMEOUT_MS: prints the shown dialog box that OWNER owns.
int FindDialog(const ProbeArgs& a)
{
    if (a.size() != 3)
        return 2;
    const ShownWindow wanted = {0, "#32770", a[1] == "-" ? nullptr : a[1].c_str(),
                                ParseHwnd(a[0]), false};
    HWND found = nullptr;
    if (!PollFor(ParseNumber(a[2]), [&] { return (found = FindShown(wanted)) != nullptr; }))
        return 1;
    PrintHandle(found);
    return 0;
}

// find-menu HWND TIMEOUT_MS: the screen rectangle "x y w h" of the popup menu that the
// window's process shows.
int FindMenu(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    DWORD pid = 0;
    GetWindowThreadProcessId(ParseHwnd(a[0]), &pid);
    RECT r = {};
    if (!PollFor(ParseNumber(a[1]), [&] {
            HWND menu = FindShown({pid, "#32768", nullptr, nullptr, false});
            return menu && GetWindowRect(menu, &r) && r.bottom > r.top;
        }))
        return 1;
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

// wait-gone HWND TIMEOUT_MS: succeeds once the window no longer exists.
int WaitGone(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    return PollFor(ParseNumber(a[1]), [&] { return !IsWindow(hwnd); }) ? 0 : 1;
}

HWND Control(const ProbeArgs& a) { return GetDlgItem(ParseHwnd(a[0]), static_cast<int>(ParseNumber(a[1]))); }

// controls DIALOG: one line per control, "id|class|hwnd".
int Controls(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    for (HWND child = GetWindow(ParseHwnd(a[0]), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        printf("%d|%s|0x%lx\n", GetDlgCtrlID(child), cls,
               static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(child)));
    }
    return 0;
}

// control-text DIALOG ID
int ControlText(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND control = Control(a);
    if (!control)
        return 1;
    // GetWindowText does not ask a control of another process for its text; WM_GETTEXT does.
    char text[1024] = {};
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_NORMAL, 10000, &len))
        return 1;
    printf("%s\n", text);
    return 0;
}

// control-check DIALOG ID: 0 unchecked, 1 checked, 2 indeterminate.
int ControlCheck(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    if (!Control(a))
        return 1;
    printf("%u\n", IsDlgButtonChecked(ParseHwnd(a[0]), static_cast<int>(ParseNumber(a[1]))));
    return 0;
}

// control-rect DIALOG ID: the control's screen rectangle as "x y w h".
int ControlRect(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND control = Control(a);
    RECT r = {};
    if (!control || !GetWindowRect(control, &r))
        return 1;
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

// control-focus DIALOG: the id of the control that has the keyboard focus in the dialog's thread.
int ControlFocus(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    HWND dialog = ParseHwnd(a[0]);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) || !info.hwndFocus ||
        GetParent(info.hwndFocus) != dialog)
        return 1;
    printf("%d\n", GetDlgCtrlID(info.hwndFocus));
    return 0;
}

// send HWND MSG WPARAM LPARAM: sends and waits until the window has handled it; prints the
// result. Only for messages that carry no pointers.
int Send(const ProbeArgs& a)
{
    if (a.size() != 4)
        return 2;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(ParseHwnd(a[0]), ParseNumber(a[1]), ParseNumber(a[2]),
                             strtol(a[3].c_str(), nullptr, 0), SMTO_NORMAL, 10000, &result))
        return 1;
    printf("%lu\n", static_cast<unsigned long>(result));
    return 0;
}

ProbeCommand findDialog("find-dialog", "OWNER CAPTION|- TIMEOUT_MS", FindDialog);
ProbeCommand findMenu("find-menu", "HWND TIMEOUT_MS", FindMenu);
ProbeCommand waitGone("wait-gone", "HWND TIMEOUT_MS", WaitGone);
ProbeCommand controls("controls", "DIALOG", Controls);
ProbeCommand controlText("control-text", "DIALOG ID", ControlText);
ProbeCommand controlCheck("control-check", "DIALOG ID", ControlCheck);
ProbeCommand controlRect("control-rect", "DIALOG ID", ControlRect);
ProbeCommand controlFocus("control-focus", "DIALOG", ControlFocus);
ProbeCommand sendMessage("send", "HWND MSG WPARAM LPARAM", Send);

}  // namespace
