// Loaded into the program's process by the probe's hooks: reads what only that process can
// (its popup menu, its GDI and USER objects, its memory) and writes it to an answer file in
// the temp folder.
#include "tests/gdi_count.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

std::string AnswerFile(const char* name)
{
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "grabotine-probe-" + name + ".txt";
}

// Written beside and moved into place, so a reader never sees half an answer.
void WriteAnswer(const char* name, const std::string& text)
{
    const std::string path = AnswerFile(name);
    const std::string tmp = path + ".part";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f)
        return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void DumpMenu(HMENU menu)
{
    std::string text;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char label[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), label, sizeof label, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        char line[200] = {};
        snprintf(line, sizeof line, "%u|%s|%s\n", GetMenuItemID(menu, i),
                 (state & (MF_GRAYED | MF_DISABLED)) ? "grayed" : "enabled", label);
        text += line;
    }
    WriteAnswer("menu", text);
}

int CountUserObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (reported != 0)
        return static_cast<int>(reported);
    // Under Wine: this process's windows and menus, found by their bare table index.
    int n = 0;
    for (ULONG_PTR i = 0x20; i < 0x10000; i += 2) {
        HWND hwnd = reinterpret_cast<HWND>(i);
        DWORD pid = 0;
        if ((IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId()) ||
            IsMenu(reinterpret_cast<HMENU>(i)))
            ++n;
    }
    return n;
}

// Private memory in KiB: what the system charges the process for, or under Wine, where that
// figure is not kept, the anonymous memory the Unix process holds.
unsigned long PrivateKiB()
{
    FILE* status = fopen("Z:\\proc\\self\\status", "r");
    if (status) {
        char line[256];
        unsigned long kib = 0;
        while (fgets(line, sizeof line, status))
            if (sscanf(line, "RssAnon: %lu", &kib) == 1)
                break;
        fclose(status);
        if (kib)
            return kib;
    }
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                         sizeof pmc);
    return static_cast<unsigned long>(pmc.PrivateUsage / 1024);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam,
                                                                  LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (cwp->message == WM_INITMENUPOPUP)
            DumpMenu(reinterpret_cast<HMENU>(cwp->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK GetMsgHook(int code, WPARAM wParam,
                                                             LPARAM lParam)
{
    static const UINT countsQuery = RegisterWindowMessageA("GrabotineProbeCounts");
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN || msg->message == WM_HOTKEY)
            WriteAnswer("key", std::to_string(msg->message == WM_HOTKEY ? HIWORD(msg->lParam)
                                                                        : msg->wParam));
        if (msg->message == countsQuery) {
            char text[100] = {};
            snprintf(text, sizeof text, "gdi=%d user=%d private_kib=%lu", CountGdiObjects(),
                     CountUserObjects(), PrivateKiB());
            WriteAnswer("counts", text);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
