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

struct DialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOptions(HWND hwnd, LPARAM param)
{
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(param);
    char caption[32] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (GetWindow(hwnd, GW_OWNER) == search.owner && IsWindowVisible(hwnd) &&
        strcmp(caption, "Options") == 0) {
        search.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Switches the format in the Options dialog and closes it with OK, as a user does.
bool ChooseFormat(HWND hwnd, bool jpeg)
{
    PostMessageA(hwnd, WM_COMMAND, 5, 0);
    DialogSearch search = {hwnd, nullptr};
    if (!PollFor(kWaitMs, [&] {
            EnumWindows(FindOptions, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        }))
        return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(search.found, 103), BM_SETCHECK, jpeg ? BST_CHECKED : 0, 0,
                        SMTO_NORMAL, kWaitMs, &result);
    SendMessageTimeoutA(search.found, WM_COMMAND, 100, 0, SMTO_NORMAL, kWaitMs, &result);
    return PollFor(kWaitMs, [&] { return !IsWindowVisible(search.found); });
}

// soak HWND COUNT X1 Y1 X2 Y2 DIR: COUNT captures with auto-save into DIR, BMP and JPEG by
// turns (switched in Options before each), the export's boxes answered and each file taken
// away once written; prints the object counts and private memory after capture 10 and after
// the last, and the time the run took.
int Soak(const ProbeArgs& a)
{
    if (a.size() != 7)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const int count = atoi(a[1].c_str());
    const RECT region = {atoi(a[2].c_str()), atoi(a[3].c_str()), atoi(a[4].c_str()),
                         atoi(a[5].c_str())};
    const std::string dir = a[6];
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    const DWORD start = GetTickCount();
    for (int i = 1; i <= count; ++i) {
        if (!ChooseFormat(hwnd, i % 2 == 0) || !CaptureOnce(hwnd, region) ||
            !TakeSavedFile(dir, pid)) {
            printf("capture %d failed\n", i);
            return 1;
        }
        std::string counts;
        if ((i == 10 || i == count) && AskCounts(hwnd, counts))
            printf("after capture %d: %s\n", i, counts.c_str());
    }
    printf("%d captures in %.1f s\n", count, (GetTickCount() - start) / 1000.0);
    return 0;
}

ProbeCommand soak("soak", "HWND COUNT X1 Y1 X2 Y2 DIR", Soak);

}  // namespace
