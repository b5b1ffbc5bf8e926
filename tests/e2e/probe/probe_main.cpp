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

DWORD ParseNumber(const std::string& text) { return strtoul(text.c_str(), nullptr, 0); }

HWND ParseHwnd(const std::string& text)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(ParseNumber(text)));
}

namespace {

struct ShownSearch {
    const ShownWindow& wanted;
    HWND found;
};

bool Matches(HWND hwnd, const ShownWindow& wanted)
{
    char cls[32] = {};
    char caption[256] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, caption, sizeof caption);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    const HWND owner = GetWindow(hwnd, GW_OWNER);
    return IsWindowVisible(hwnd) && (!wanted.pid || pid == wanted.pid) &&
           (!wanted.cls || strcmp(cls, wanted.cls) == 0) &&
           (!wanted.caption || strcmp(caption, wanted.caption) == 0) &&
           (!wanted.owner || owner == wanted.owner) && (!wanted.unowned || !owner);
}

BOOL CALLBACK MatchShown(HWND hwnd, LPARAM param)
{
    ShownSearch& search = *reinterpret_cast<ShownSearch*>(param);
    if (!Matches(hwnd, search.wanted))
        return TRUE;
    search.found = hwnd;
    return FALSE;
}

}  // namespace

HWND FindShown(const ShownWindow& wanted)
{
    ShownSearch search = {wanted, nullptr};
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
