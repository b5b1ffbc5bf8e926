// A long run of captures with auto-save, for the soak benchmark.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kWaitMs = 30000;

// The only file in dir, once it can be taken away: a BMP being written is not shared, and a
// JPEG appears only when its export is over. The export's boxes are answered meanwhile.
bool TakeSavedFile(const std::string& dir, DWORD pid)
{
    return PollFor(kWaitMs, [&] {
        if (HWND box = FindMessageBox(pid))
            PressOk(box, kWaitMs);
        WIN32_FIND_DATAA fd = {};
        HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE)
            return false;
        bool taken = false;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                taken = DeleteFileA((dir + "\\" + fd.cFileName).c_str()) != FALSE;
        } while (!taken && FindNextFileA(find, &fd));
        FindClose(find);
        return taken;
    });
}

int retries = 0;

// Opens Options as a user does: from the menu a right press on the icon opens, by its
// underlined letter. A press or a letter that goes unanswered is given again, and counted.
HWND OpenOptions(HWND hwnd, DWORD pid)
{
    HWND options = nullptr;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt)
            ++retries;
        if (!FindShown({pid, "#32768", nullptr, nullptr, false}))
            PostMessageA(hwnd, 2001, 32000, WM_RBUTTONDOWN);
        if (!PollFor(5000, [&] { return FindShown({pid, "#32768", nullptr, nullptr, false}) != nullptr; }))
            continue;
        PostMessageA(hwnd, WM_CHAR, 'o', 0);
        if (PollFor(5000, [&] { return (options = FindShown({pid, "#32770", "Options", nullptr, false})) != nullptr; }))
            return options;
    }
    return nullptr;
}

// Switches the format in the Options dialog and closes it with OK.
bool ChooseFormat(HWND hwnd, DWORD pid, bool jpeg)
{
    HWND options = OpenOptions(hwnd, pid);
    if (!options)
        return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(options, 103), BM_SETCHECK, jpeg ? BST_CHECKED : 0, 0,
                        SMTO_NORMAL, kWaitMs, &result);
    SendMessageTimeoutA(options, WM_COMMAND, 100, 0, SMTO_NORMAL, kWaitMs, &result);
    return PollFor(kWaitMs, [&] { return !IsWindowVisible(options); });
}

// soak HWND COUNT X1 Y1 X2 Y2 DIR: COUNT captures with auto-save into DIR, BMP and JPEG by
// turns (switched in Options before each), the export's boxes answered and each file taken
// away once written; prints the object counts and private memory after the first capture and
// after the last, and the time the run took.
int Soak(const ProbeArgs& a)
{
    if (a.size() != 7)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const int count = atoi(a[1].c_str());
    const RECT region = ParseRect(a, 2);
    const std::string dir = a[6];
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    const DWORD start = GetTickCount();
    for (int i = 1; i <= count; ++i) {
        const char* failed = !ChooseFormat(hwnd, pid, i % 2 == 0) ? "switching the format"
                             : !CaptureOnce(hwnd, region)      ? "the capture"
                             : !TakeSavedFile(dir, pid)        ? "the saved file"
                                                               : nullptr;
        if (failed) {
            printf("capture %d: %s failed\n", i, failed);
            return 1;
        }
        std::string counts;
        if ((i == 1 || i == count) && AskCounts(hwnd, counts))
            printf("after capture %d: %s\n", i, counts.c_str());
    }
    printf("%d captures in %.1f s; %d presses or letters given again\n", count,
           (GetTickCount() - start) / 1000.0, retries);
    return 0;
}

// press-cancel HWND COUNT: COUNT presses on the icon, each overlay cancelled with a typed Esc
// once it shows; done once the last has hidden.
int PressCancel(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    for (int i = atoi(a[1].c_str()); i > 0; --i) {
        PostMessageA(hwnd, 2001, 32000, WM_LBUTTONDOWN);
        if (!PollFor(kWaitMs, [&] { return IsWindowVisible(hwnd) != FALSE; }))
            return 1;
        PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 1);
        if (!PollFor(kWaitMs, [&] { return !IsWindowVisible(hwnd); }))
            return 1;
    }
    return 0;
}

ProbeCommand soak("soak", "HWND COUNT X1 Y1 X2 Y2 DIR", Soak);
ProbeCommand pressCancel("press-cancel", "HWND COUNT", PressCancel);

}  // namespace
