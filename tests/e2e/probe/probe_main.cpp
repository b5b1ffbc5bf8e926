#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Entry {
    const char* name;
    const char* usage;
    ProbeFn fn;
};

std::vector<Entry>& Registry()
{
    static std::vector<Entry> entries;
    return entries;
}

}  // namespace

ProbeCommand::ProbeCommand(const char* name, const char* usage, ProbeFn fn)
{
    Registry().push_back({name, usage, fn});
}

HWND ParseHwnd(const std::string& text)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(strtoul(text.c_str(), nullptr, 0)));
}

namespace {

struct ShownSearch {
    DWORD pid;
    const char* cls;
    const char* caption;  // null: any
    HWND found;
};

BOOL CALLBACK MatchShown(HWND hwnd, LPARAM param)
{
    ShownSearch& search = *reinterpret_cast<ShownSearch*>(param);
    char cls[16] = {};
    char caption[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, caption, sizeof caption);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search.pid && IsWindowVisible(hwnd) && strcmp(cls, search.cls) == 0 &&
        (!search.caption || strcmp(caption, search.caption) == 0)) {
        search.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindShown(DWORD pid, const char* cls, const char* caption)
{
    ShownSearch search = {pid, cls, caption, nullptr};
    EnumWindows(MatchShown, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PrintHandle(const void* handle)
{
    printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle)));
}

RECT ParseRect(const ProbeArgs& args, size_t first)
{
    const auto at = [&](size_t i) { return atol(args[first + i].c_str()); };
    return {at(0), at(1), at(2), at(3)};
}

std::string HookAnswerFile(const char* name)
{
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "grabotine-probe-" + name + ".txt";
}

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 2) {
        for (const Entry& e : Registry()) {
            if (strcmp(e.name, argv[1]) == 0)
                return e.fn(ProbeArgs(argv + 2, argv + argc));
        }
    }
    fprintf(stderr, "usage: probe COMMAND ...\n");
    for (const Entry& e : Registry())
        fprintf(stderr, "  %s %s\n", e.name, e.usage);
    return 2;
}
