// A long run of captures with auto-save, for the soak benchmark.
#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The value of key ("gdi=", "private_kib=") in a counts answer.
double CountOf(const std::string& counts, const char* key)
{
    const size_t at = counts.find(key);
    return at == std::string::npos ? 0 : atof(counts.c_str() + at + strlen(key));
}

// pin-soak HWND COUNT: a capture of the whole screen, then COUNT pins of it opened from the
// menu command and closed, one after the other; prints the GDI objects and private memory
// after the tenth against the end as ratio lines.
int PinSoak(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const int count = atoi(a[1].c_str());
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!CaptureOnce(hwnd, screen))
        return 1;
    std::string start, end;
    for (int i = 1; i <= count; ++i) {
        PostMessageA(hwnd, WM_COMMAND, 9, 0);  // Pin to screen
        HWND pin = nullptr;
        if (!PollFor(kWaitMs, [&] { return (pin = FindShown({pid, "GrabotinePin", nullptr, nullptr, false})) != nullptr; }))
            return printf("pin %d did not open\n", i), 1;
        PostMessageA(pin, WM_CLOSE, 0, 0);
        if (!PollFor(kWaitMs, [&] { return !IsWindow(pin); }) ||
            (i == 10 && !AskCounts(hwnd, start)) || (i == count && !AskCounts(hwnd, end)))
            return printf("pin %d did not close or could not be counted\n", i), 1;
    }
    printf("%d pins of a %ld x %ld capture\n", count, screen.right, screen.bottom);
    const char* const measures[][2] = {{"gdi=", "GDI objects"}, {"private_kib=", "private KiB"}};
    for (const auto& m : measures) {
        const double before = CountOf(start, m[0]);
        const double after = CountOf(end, m[0]);
        printf("pins: %-12s after pin 10 %.0f, after pin %d %.0f: ratio %.3f (target <= 1.02)\n",
               m[1], before, count, after, before > 0 ? after / before : 99.0);
    }
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
ProbeCommand pinSoak("pin-soak", "HWND COUNT", PinSoak);
ProbeCommand pressCancel("press-cancel", "HWND COUNT", PressCancel);

}  // namespace
