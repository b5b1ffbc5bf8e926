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
// A number in decimal, or in hex with 0x.
DWORD ParseNumber(const std::string& text);
// What a search for a shown top-level window asks for; 0 and null ask for nothing.
struct ShownWindow {
    DWORD pid;
    const char* cls;
    const char* caption;
    HWND owner;
    bool unowned;  // only windows without an owner
};
// The first shown top-level window that matches, or null.
HWND FindShown(const ShownWindow& wanted);

// Prints a handle as the other commands take it.
void PrintHandle(const void* handle);
// The rectangle given by args[first] to args[first + 3] as left, top, right, bottom.
RECT ParseRect(const ProbeArgs& args, size_t first);
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

// Asks the hook library inside hwnd's process for "gdi=N user=N private_kib=N".
bool AskCounts(HWND hwnd, std::string& answer);

// One capture driven by the messages a left press on the icon and a drag from (left, top) to
// (right, bottom) send; true once the overlay has hidden again.
bool CaptureOnce(HWND hwnd, const RECT& drag);

// The shown message box (an unowned dialog) of process pid, or null; and a press on its OK,
// true once the box has gone.
HWND FindMessageBox(DWORD pid);
bool PressOk(HWND box, DWORD timeoutMs);
