// Finding the program's windows, posting to them, and hooking into its process.
#include "probe.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win/scoped_win.h"

namespace {

const char* OrNull(const std::string& s) { return s == "-" ? nullptr : s.c_str(); }

// wait-window CLASS|- TITLE|- TIMEOUT_MS: prints the window handle once it exists.
int WaitWindow(const ProbeArgs& a)
{
    if (a.size() != 3)
        return 2;
    HWND found = nullptr;
    if (!PollFor(ParseNumber(a[2]), [&] {
            found = FindWindowA(OrNull(a[0]), OrNull(a[1]));
            return found != nullptr;
        }))
        return 1;
    PrintHandle(found);
    return 0;
}

int WindowInfo(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    if (!IsWindow(hwnd))
        return 1;
    RECT r = {};
    GetWindowRect(hwnd, &r);
    RECT c = {};
    GetClientRect(hwnd, &c);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&c), 2);
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    printf("visible=%d enabled=%d x=%ld y=%ld w=%ld h=%ld cx=%ld cy=%ld cw=%ld ch=%ld pid=%lu "
           "tid=%lu\n",
           IsWindowVisible(hwnd) ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0, r.left, r.top, r.right - r.left, r.bottom - r.top,
           c.left, c.top, c.right - c.left, c.bottom - c.top, pid, tid);
    return 0;
}

// wait-visible HWND 0|1 TIMEOUT_MS
int WaitVisible(const ProbeArgs& a)
{
    if (a.size() != 3)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const bool want = a[1] == "1";
    return PollFor(ParseNumber(a[2]), [&] { return (IsWindowVisible(hwnd) != FALSE) == want; }) ? 0 : 1;
}

// post HWND MSG WPARAM LPARAM
int Post(const ProbeArgs& a)
{
    if (a.size() != 4)
        return 2;
    const BOOL ok = PostMessageA(ParseHwnd(a[0]), ParseNumber(a[1]),
                                 ParseNumber(a[2]), strtol(a[3].c_str(), nullptr, 0));
    return ok ? 0 : 1;
}

// Hooks the window's thread with the probe library for as long as this object lives.
class HookSet {
public:
    explicit HookSet(HWND hwnd)
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        char* slash = strrchr(path, '\\');
        if (!slash || slash + 14 >= path + MAX_PATH)
            return;
        strcpy(slash + 1, "probehook.dll");
        lib_ = LoadLibraryA(path);
        if (!lib_)
            return;
        const DWORD tid = GetWindowThreadProcessId(hwnd, nullptr);
        call_ = SetWindowsHookExA(WH_CALLWNDPROC,
                                  HookProcOf("CallWndProcHook"),
                                  lib_, tid);
        msg_ = SetWindowsHookExA(WH_GETMESSAGE,
                                 HookProcOf("GetMsgHook"),
                                 lib_, tid);
    }
    ~HookSet()
    {
        if (call_)
            UnhookWindowsHookEx(call_);
        if (msg_)
            UnhookWindowsHookEx(msg_);
        if (lib_)
            FreeLibrary(lib_);
    }
    HookSet(const HookSet&) = delete;
    HookSet& operator=(const HookSet&) = delete;
    bool ok() const { return call_ && msg_; }

private:
    HOOKPROC HookProcOf(const char* name) const
    {
        const FARPROC proc = GetProcAddress(lib_, name);
        HOOKPROC hook = nullptr;
        memcpy(&hook, &proc, sizeof hook);
        return hook;
    }

    HMODULE lib_ = nullptr;
    HHOOK call_ = nullptr;
    HHOOK msg_ = nullptr;
};

bool ReadAnswer(const std::string& path, std::string& out)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[4096];
    size_t n;
    out.clear();
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return true;
}

// Waits for the hook's answer file, prints it and removes it.
int PrintAnswer(const std::string& path, DWORD timeoutMs)
{
    std::string text;
    if (!PollFor(timeoutMs, [&] { return ReadAnswer(path, text); }))
        return 1;
    DeleteFileA(path.c_str());
    fputs(text.c_str(), stdout);
    return 0;
}

// menu HWND TIMEOUT_MS: prints "ready", then the popup menu's items (id|state|text) as soon
// as the program opens it.
int Menu(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    const std::string answer = HookAnswerFile("menu");
    DeleteFileA(answer.c_str());
    HookSet hooks(ParseHwnd(a[0]));
    if (!hooks.ok())
        return 1;
    printf("ready\n");
    return PrintAnswer(answer, ParseNumber(a[1]));
}

// keys HWND VK...: presses and lets go the keys as the keyboard sends them; done once the
// window has taken the last press (a key or a hot key) from its queue.
int Keys(const ProbeArgs& a)
{
    if (a.size() < 2)
        return 2;
    const std::string answer = HookAnswerFile("key");
    DeleteFileA(answer.c_str());
    HookSet hooks(ParseHwnd(a[0]));
    std::vector<INPUT> input(2 * a.size() - 2, INPUT{INPUT_KEYBOARD, {}});
    for (size_t i = 1; i < a.size(); ++i) {
        input[i - 1].ki.wVk = input[input.size() - i].ki.wVk = static_cast<WORD>(ParseNumber(a[i]));
        input[input.size() - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    std::string key;
    return hooks.ok() && SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) &&
           PollFor(10000, [&] { return ReadAnswer(answer, key) && key == a.back(); }) ? 0 : 1;
}

}  // namespace

bool AskCounts(HWND hwnd, std::string& answer)
{
    const std::string file = HookAnswerFile("counts");
    DeleteFileA(file.c_str());
    HookSet hooks(hwnd);
    if (!hooks.ok())
        return false;
    PostMessageA(hwnd, RegisterWindowMessageA("GrabotineProbeCounts"), 0, 0);
    if (!PollFor(10000, [&] { return ReadAnswer(file, answer); }))
        return false;
    DeleteFileA(file.c_str());
    return true;
}

namespace {

// counts HWND: the live GDI and USER objects and the private memory of the window's process.
int Counts(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    std::string answer;
    if (!AskCounts(ParseHwnd(a[0]), answer))
        return 1;
    printf("%s\n", answer.c_str());
    return 0;
}

// keep-desktop: a hidden window that lives until killed. Wine's desktop process (and the
// tray it hosts) ends a moment after its last program and clears the screen when it returns.
int KeepDesktop(const ProbeArgs& a)
{
    if (!a.empty())
        return 2;
    CreateWindowExA(0, "STATIC", "probe keep-desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// hold-file: opens PATH sharing only reading, as a program running from it does, prints "held"
// and keeps it until its standard input ends.
int HoldFile(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    const HANDLE file = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("held\n");
    char c = 0;
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &read, nullptr) && read == 1) {
    }
    CloseHandle(file);
    return 0;
}

// as-user PROGRAM ARGS...: runs the program as a standard user, its Administrators group only
// denying (as UAC starts it for an administrator who did not elevate); ends with its exit code.
int AsUser(const ProbeArgs& a)
{
    std::string command;
    for (const std::string& arg : a)
        command += (arg.find(' ') == std::string::npos ? arg : "\"" + arg + "\"") + " ";
    BYTE admins[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof admins;
    SID_AND_ATTRIBUTES deny = {admins, 0};
    HANDLE self = nullptr;
    HANDLE user = nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (a.empty() || !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &self))
        return 2;
    const ScopedHandle selfToken(self);
    if (!CreateRestrictedToken(self, 0, 1, &deny, 0, nullptr, 0, nullptr, &user))
        return 1;
    const ScopedHandle userToken(user);
    if (!CreateProcessAsUserA(user, nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process))
        return 1;
    const ScopedHandle processHandle(process.hProcess), threadHandle(process.hThread);
    DWORD code = 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    return GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : 1;
}

// topmost-window: shows a captioned always-on-top window of another program, prints its
// handle and keeps it until killed.
// topmost-window [child]: an always-on-top window at (500, 350), 300 x 200, until killed; with
// child, a frameless one holding a button at (40, 30), 120 x 60 in it.
int TopmostWindow(const ProbeArgs& a)
{
    const bool child = a.size() == 1 && a[0] == "child";
    if (!a.empty() && !child)
        return 2;
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "probe topmost",
                                (child ? WS_POPUP | WS_BORDER : WS_OVERLAPPEDWINDOW) | WS_VISIBLE,
                                500, 350, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
    if (!hwnd || (child && !CreateWindowExA(0, "BUTTON", "probe", WS_CHILD | WS_VISIBLE, 40, 30,
                                            120, 60, hwnd, nullptr, nullptr, nullptr)))
        return 1;
    PrintHandle(hwnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// hotkey [hold]: 1 when Print Screen could be registered now, 0 when a program holds it;
// with hold, a 1 keeps the key until killed, as another program can.
int Hotkey(const ProbeArgs& a)
{
    const BOOL got = RegisterHotKey(nullptr, 1, 0, VK_SNAPSHOT);
    printf("%d\n", got ? 1 : 0);
    for (MSG msg; got && !a.empty() && GetMessageA(&msg, nullptr, 0, 0) > 0;) {}
    return 0;
}

// balloon TIMEOUT_MS: waits for a notification balloon (a tooltip of that style) on screen.
int Balloon(const ProbeArgs& a)
{
    return a.size() == 1 && PollFor(ParseNumber(a[0]), [] {
               const HWND tip = FindShown({0, "tooltips_class32", nullptr, nullptr, false});
               return tip && (GetWindowLongA(tip, GWL_STYLE) & 0x40);  // TTS_BALLOON
           }) ? 0 : 1;
}

// x-window HWND: the X window Wine shows the window in.
int XWindow(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    const HANDLE id = GetPropA(ParseHwnd(a[0]), "__wine_x11_whole_window");
    if (!id)
        return 1;
    PrintHandle(id);
    return 0;
}

// foreground: the foreground window's handle.
int Foreground(const ProbeArgs& a)
{
    if (!a.empty())
        return 2;
    PrintHandle(GetForegroundWindow());
    return 0;
}

// icon-delete HWND ID: removes that window's notification icon, as a dying shell loses it.
int IconDelete(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = ParseHwnd(a[0]);
    nid.uID = ParseNumber(a[1]);
    return Shell_NotifyIconA(NIM_DELETE, &nid) ? 0 : 1;
}

// broadcast NAME: posts the registered message NAME to every top-level window, as a shell
// that has just started does with "TaskbarCreated".
int Broadcast(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    const UINT msg = RegisterWindowMessageA(a[0].c_str());
    return msg && PostMessageA(HWND_BROADCAST, msg, 0, 0) ? 0 : 1;
}

ProbeCommand waitWindow("wait-window", "CLASS|- TITLE|- TIMEOUT_MS", WaitWindow);
ProbeCommand windowInfo("window-info", "HWND", WindowInfo);
ProbeCommand waitVisible("wait-visible", "HWND 0|1 TIMEOUT_MS", WaitVisible);
ProbeCommand post("post", "HWND MSG WPARAM LPARAM", Post);
ProbeCommand menu("menu", "HWND TIMEOUT_MS", Menu);
ProbeCommand keys("keys", "HWND VK...", Keys);
ProbeCommand counts("counts", "HWND", Counts);
ProbeCommand keepDesktop("keep-desktop", "", KeepDesktop);
ProbeCommand holdFile("hold-file", "PATH", HoldFile);
ProbeCommand topmostWindow("topmost-window", "[child]", TopmostWindow);
ProbeCommand foreground("foreground", "", Foreground);
ProbeCommand xWindow("x-window", "HWND", XWindow);
ProbeCommand hotkey("hotkey", "[hold]", Hotkey);
ProbeCommand balloon("balloon", "TIMEOUT_MS", Balloon);
ProbeCommand iconDelete("icon-delete", "HWND ID", IconDelete);
ProbeCommand broadcast("broadcast", "NAME", Broadcast);
ProbeCommand asUser("as-user", "PROGRAM ARGS...", AsUser);

}  // namespace
