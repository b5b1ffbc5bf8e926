// Reading and answering the program's message boxes from outside its process.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

BOOL CALLBACK ReadBoxText(HWND child, LPARAM param)
{
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") != 0 || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        return TRUE;
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    if (!text[0])
        return TRUE;
    *reinterpret_cast<std::string*>(param) = text;
    return FALSE;
}

// Line breaks and tabs written as \n and \t, so the text stays on one line.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// msgbox-wait HWND TIMEOUT_MS: waits for a message box of the process that owns HWND and
// prints its handle, caption and text, one per line.
int MsgBoxWait(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    DWORD pid = 0;
    if (!GetWindowThreadProcessId(ParseHwnd(a[0]), &pid))
        return 1;
    HWND box = nullptr;
    if (!PollFor(ParseNumber(a[1]), [&] { return (box = FindMessageBox(pid)) != nullptr; }))
        return 1;
    char caption[256] = {};
    GetWindowTextA(box, caption, sizeof caption);
    std::string text;
    EnumChildWindows(box, ReadBoxText, reinterpret_cast<LPARAM>(&text));
    printf("0x%lx\n%s\n%s\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(box)),
           Escaped(caption).c_str(), Escaped(text).c_str());
    return 0;
}

// msgbox-ok BOX TIMEOUT_MS: presses the box's OK button and waits until the box has gone.
int MsgBoxOk(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    return PressOk(ParseHwnd(a[0]), ParseNumber(a[1])) ? 0 : 1;
}

// sync HWND TIMEOUT_MS: returns once the window's thread has handled a message, that is once
// it is back in a message loop (its own, or a message box's, which is then on screen).
int Sync(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(ParseHwnd(a[0]), WM_NULL, 0, 0, SMTO_NORMAL, ParseNumber(a[1]), &result)
               ? 0
               : 1;
}

}  // namespace

HWND FindMessageBox(DWORD pid) { return FindShown({pid, "#32770", nullptr, nullptr, true}); }

bool PressOk(HWND box, DWORD timeoutMs)
{
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok || !PostMessageA(ok, BM_CLICK, 0, 0))
        return false;
    return PollFor(timeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

namespace {

ProbeCommand msgBoxWait("msgbox-wait", "HWND TIMEOUT_MS", MsgBoxWait);
ProbeCommand msgBoxOk("msgbox-ok", "BOX TIMEOUT_MS", MsgBoxOk);
ProbeCommand sync("sync", "HWND TIMEOUT_MS", Sync);

}  // namespace
