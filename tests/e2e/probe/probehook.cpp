// Loaded into the program's process by the probe's hooks: reads what only that process can
// (its popup menu, its GDI objects) and writes it to an answer file in the temp folder.
#include <windows.h>

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

int CountGdiObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0)
        return static_cast<int>(reported);
    // Wine's GetGuiResources answers 0; it accepts a bare table index as a handle instead.
    int n = 0;
    for (ULONG_PTR i = 1; i < 0x10000; ++i)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0)
            ++n;
    return n;
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
    static const UINT gdiQuery = RegisterWindowMessageA("GrabotineProbeGdiCount");
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == gdiQuery)
            WriteAnswer("gdi", std::to_string(CountGdiObjects()));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
