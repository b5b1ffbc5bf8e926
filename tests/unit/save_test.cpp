#include "output/save.h"

#include "app/settings.h"
#include "capture/grab.h"
#include "output/saved_file.h"
#include "win/scoped_win.h"

#include "output_test_util.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using outtest::BoxSeen;
using outtest::KnownBitmap;

namespace {

// The shell reads the file list back as the one file, letters outside the code page and all.
TEST(DropFiles, NamesTheOneFileWide)
{
    const std::wstring path = L"C:\\\u0421\u043d\u0438\u043c\u043a\u0438\\953_73.bmp";
    const std::vector<BYTE> block = DropFilesFor(path);
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, block.size()));
    {
        ScopedGlobalLock lock(mem.get());
        ASSERT_TRUE(lock.get());
        memcpy(lock.get(), block.data(), block.size());
    }
    const HDROP drop = static_cast<HDROP>(mem.get());
    wchar_t name[MAX_PATH] = {};
    EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 1u);
    EXPECT_EQ(DragQueryFileW(drop, 0, name, MAX_PATH), path.size());
    EXPECT_EQ(std::wstring(name), path);
}

SYSTEMTIME At(WORD hour, WORD minute, WORD second, WORD day, WORD month)
{
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wDay = day;
    t.wMonth = month;
    return t;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd = {};
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

// A capture made (wParam, the bitmap) and saved at once (lParam, the time) from a message.
LRESULT CALLBACK CaptureAndSave(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_APP)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    DeleteObject(hBitmap);
    hBitmap = reinterpret_cast<HBITMAP>(wParam);
    SaveCaptureAt(nullptr, *reinterpret_cast<const SYSTEMTIME*>(lParam));
    return 0;
}

// The dispatch reads the settings and the current capture: each test sets its own.
class SaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        outtest::MakeDibSection(24, 6, 4, capture);
        ASSERT_NE(capture.bmp, nullptr);
        hBitmap = capture.bmp;
        AppliState = {0, 0, "", 0};
        UseDirectory(out.path());
    }
    void TearDown() override { hBitmap = nullptr; }

    void UseDirectory(const std::string& dir)
    {
        ASSERT_LT(dir.size(), sizeof AppliState.szpath);
        memcpy(AppliState.szpath, dir.c_str(), dir.size() + 1);
    }

    TempDir out;
    KnownBitmap capture;
};

}  // namespace

TEST(CaptureName, FieldsWithoutWidthOrYear)
{
    const struct {
        SYSTEMTIME t;
        const char* ext;
        int copy;
        const char* name;
    } cases[] = {
        {At(9, 5, 3, 7, 3), "bmp", 1, "C:\\out\\953_73.bmp"},
        {At(9, 5, 3, 7, 3), "jpg", 1, "C:\\out\\953_73.jpg"},
        {At(1, 11, 5, 2, 6), "bmp", 1, "C:\\out\\1115_26.bmp"},
        {At(11, 1, 5, 2, 6), "bmp", 1, "C:\\out\\1115_26.bmp"},
        {At(0, 0, 0, 1, 12), "bmp", 1, "C:\\out\\000_112.bmp"},
        {At(0, 0, 0, 11, 2), "bmp", 1, "C:\\out\\000_112.bmp"},
        {At(23, 59, 59, 31, 12), "jpg", 1, "C:\\out\\235959_3112.jpg"},
        {At(9, 5, 3, 7, 3), "bmp", 2, "C:\\out\\953_73 (2).bmp"},
        {At(9, 5, 3, 7, 3), "jpg", 13, "C:\\out\\953_73 (13).jpg"},
    };
    for (const auto& c : cases) {
        char name[256] = {};
        ASSERT_TRUE(FormatCaptureName(name, sizeof name, "C:\\out", c.t, c.ext, c.copy));
        EXPECT_STREQ(name, c.name);
    }
}

TEST(CaptureName, ThePathMustFitWithItsTerminator)
{
    // The longest name part is 16 characters with its backslash: 239 + 16 + 1 = 256.
    const SYSTEMTIME longest = At(23, 59, 59, 31, 12);
    char name[256];
    memset(name, 'x', sizeof name);
    EXPECT_TRUE(FormatCaptureName(name, sizeof name, std::string(239, 'd').c_str(), longest, "bmp", 1));
    EXPECT_EQ(strlen(name), 255u);
    EXPECT_FALSE(FormatCaptureName(name, sizeof name, std::string(240, 'd').c_str(), longest, "bmp", 1));
    EXPECT_FALSE(FormatCaptureName(name, sizeof name, std::string(239, 'd').c_str(), longest, "bmp", 2));
}

TEST_F(SaveTest, BmpSavesNeverReplaceAnEarlierCapture)
{
    const SYSTEMTIME t = At(9, 5, 3, 7, 3);
    // Another program emptied the clipboard: the program's own copy is what gets saved.
    {
        ScopedClipboard clipboard(nullptr);
        ASSERT_TRUE(clipboard.open());
        EmptyClipboard();
    }

    SaveCaptureAt(nullptr, t);
    const std::string first = ReadWholeFile(out.file("953_73.bmp"));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.substr(0, 2), "BM");

    KnownBitmap second;
    outtest::MakeDibSection(24, 3, 3, second);
    hBitmap = second.bmp;
    SaveCaptureAt(nullptr, t);
    SaveCaptureAt(nullptr, t);
    EXPECT_EQ(ReadWholeFile(out.file("953_73.bmp")), first);
    EXPECT_EQ(outtest::DecodeWithWic(out.file("953_73 (2).bmp")).width, 3u);
    EXPECT_EQ(outtest::DecodeWithWic(out.file("953_73 (3).bmp")).width, 3u);
    EXPECT_EQ(FilesIn(out.path()).size(), 3u);
}

TEST_F(SaveTest, JpegSavesTakeTheirNameTooAndAFreeOneOnCollision)
{
    AppliState.extension = 1;
    const SYSTEMTIME t = At(14, 30, 0, 25, 12);
    {
        outtest::MessageBoxWatcher watcher;
        SaveCaptureAt(nullptr, t);
        SaveCaptureAt(nullptr, t);
        EXPECT_EQ(watcher.seen(), (std::vector<BoxSeen>{outtest::kInfoBox, outtest::kRetryBox,
                                                        outtest::kInfoBox, outtest::kRetryBox}));
    }
    EXPECT_EQ(outtest::DecodeWithWic(out.file("14300_2512.jpg")).width, 6u);
    EXPECT_EQ(outtest::DecodeWithWic(out.file("14300_2512 (2).jpg")).width, 6u);
}

// A capture made while an export waits on its message box replaces (and frees) the bitmap
// that export began with, and is saved at once, in the same second: each file gets its own
// name and its own pixels, and no save fails.
TEST_F(SaveTest, ASaveMadeWhileAnExportWaitsLeavesBothCaptures)
{
    AppliState.extension = 1;
    const SYSTEMTIME t = At(14, 30, 0, 25, 12);
    KnownBitmap later;
    outtest::MakeDibSection(24, 3, 3, later);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CaptureAndSave;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SaveTestNested";
    RegisterClassA(&wc);
    HWND target = CreateWindowA("SaveTestNested", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    capture.bmp = nullptr;  // freed by the capture made during the export

    std::vector<BoxSeen> seen;
    {
        outtest::MessageBoxWatcher watcher([&](size_t box) {
            if (box == 0)
                PostMessageA(target, WM_APP, reinterpret_cast<WPARAM>(later.bmp),
                             reinterpret_cast<LPARAM>(&t));
        });
        SaveCaptureAt(nullptr, t);
        seen = watcher.seen();
    }
    DestroyWindow(target);
    EXPECT_EQ(seen, (std::vector<BoxSeen>{outtest::kInfoBox, outtest::kInfoBox,
                                          outtest::kRetryBox, outtest::kRetryBox}));
    EXPECT_EQ(outtest::DecodeWithWic(out.file("14300_2512.jpg")).width, 6u);
    EXPECT_EQ(outtest::DecodeWithWic(out.file("14300_2512 (2).jpg")).width, 3u);
}

TEST_F(SaveTest, OtherFormatValuesWriteNothing)
{
    for (const int32_t extension : {2, -1, 100}) {
        AppliState.extension = extension;
        SaveCaptureAt(nullptr, At(9, 5, 3, 7, 3));
    }
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST_F(SaveTest, APathThatDoesNotFitWritesNothing)
{
    const SYSTEMTIME t = At(23, 59, 59, 31, 12);
    // A directory whose path takes exactly what is left: the plain name fits, a numbered
    // one does not.
    std::string dir = out.path() + "\\";
    dir += std::string(239 - dir.size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    UseDirectory(dir);
    SaveCaptureAt(nullptr, t);
    ASSERT_EQ(FilesIn(dir), std::vector<std::string>{"235959_3112.bmp"});
    const std::string first = ReadWholeFile(dir + "\\235959_3112.bmp");
    SaveCaptureAt(nullptr, t);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"235959_3112.bmp"});
    EXPECT_EQ(ReadWholeFile(dir + "\\235959_3112.bmp"), first);

    // One character more and nothing is written at all, nor cut anywhere else.
    UseDirectory(dir + "e");
    SaveCaptureAt(nullptr, t);
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"235959_3112.bmp"});
    DeleteFileA((dir + "\\235959_3112.bmp").c_str());
    RemoveDirectoryA(dir.c_str());
}

// The name is the local time of the save: one of the seconds the clock showed from just before
// to just after it, across midnight too.
TEST_F(SaveTest, SaveReadsTheClockAndNamesTheFileFromIt)
{
    SYSTEMTIME before = {};
    SYSTEMTIME after = {};
    GetLocalTime(&before);
    SaveCapture(nullptr);
    GetLocalTime(&after);
    const std::vector<std::string> files = FilesIn(out.path());
    ASSERT_EQ(files.size(), 1u);
    std::vector<std::string> names;
    before.wMilliseconds = 0;
    ULARGE_INTEGER t = {};
    ULARGE_INTEGER end = {};
    FILETIME ft = {};
    SystemTimeToFileTime(&before, &ft);
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    SystemTimeToFileTime(&after, &ft);
    end.LowPart = ft.dwLowDateTime;
    end.HighPart = ft.dwHighDateTime;
    for (; t.QuadPart <= end.QuadPart; t.QuadPart += 10000000) {  // one second
        ft.dwLowDateTime = t.LowPart;
        ft.dwHighDateTime = t.HighPart;
        SYSTEMTIME s = {};
        FileTimeToSystemTime(&ft, &s);
        char name[32] = {};
        snprintf(name, sizeof name, "%d%d%d_%d%d.bmp", s.wHour, s.wMinute, s.wSecond, s.wDay,
                 s.wMonth);
        names.push_back(name);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), files[0]), names.end()) << files[0];
}
