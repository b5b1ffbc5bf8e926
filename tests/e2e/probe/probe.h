// Test probe: one command per run, `probe NAME ARGS...`; prints its answer on stdout and
// exits 0 on success, 1 when what was asked for is not there, 2 on bad usage.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

using ProbeArgs = std::vector<std::string>;
using ProbeFn = int (*)(const ProbeArgs& args);

// Registers a command; each probe_*.cpp registers its own with a static instance.
struct ProbeCommand {
    ProbeCommand(const char* name, const char* usage, ProbeFn fn);
};

HWND ParseHwnd(const std::string& text);
// Polls fn every 20 ms until it returns true or timeoutMs passes.
template <class F>
bool PollFor(DWORD timeoutMs, F fn)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (fn())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

// The file the hook library inside the program writes its answers to.
std::string HookAnswerFile(const char* name);
