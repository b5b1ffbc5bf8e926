#include "app/countdown.h"
#include "app/grabotine.h"
#include "app/settings.h"
#include "win/scoped_win.h"

#include "test_util.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

// The prefix's paths are plain ASCII.
std::string IniPath() { return Narrow(SettingsFile()); }

// Profile functions cache files; flush before replacing one underneath them.
void FlushIni() { WritePrivateProfileStringW(nullptr, nullptr, nullptr, SettingsFile().c_str()); }

void WriteFileText(const std::string& path, const std::string& text)
{
    SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid()) << path;
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void WriteIni(const std::string& text)
{
    FlushIni();
    WriteFileText(IniPath(), text);
}

void RemoveIni()
{
    FlushIni();
    DeleteFileA(IniPath().c_str());
}

std::string DesktopDir()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, path);
    return path;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveIni();
        // Garbage that loading must overwrite.
        AppliState = {7, 7, "stale", 7};
    }
    void TearDown() override { RemoveIni(); }
};

TEST_F(SettingsTest, MissingFileGivesDefaultsAndTheDesktop)
{
    LoadSettings();
    EXPECT_EQ(AppliState.EtatAutoSave, 0);
    EXPECT_EQ(AppliState.EtatSound, 0);
    EXPECT_EQ(AppliState.extension, 0);
    EXPECT_EQ(AppliState.EtatHotkey, 1);
    EXPECT_EQ(AppliState.EtatMagnifier, 0);
    EXPECT_STREQ(AppliState.szpath, "0");

    SetDefaultFolder();
    EXPECT_FALSE(DesktopDir().empty());
    EXPECT_EQ(std::string(AppliState.szpath), DesktopDir());
}

struct NumberCase {
    const char* text;
    int32_t expected;
};

class NumberParsing : public SettingsTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberParsing, AllThreeNumbersReadTheSameWay)
{
    const std::string value = GetParam().text;
    WriteIni("[autoSave]\r\nState=" + value + "\r\n[Sound]\r\nState=" + value +
             "\r\n[SaveAs]\r\nState=" + value + "\r\n[Folder]\r\nState=C:\\out\r\n" +
             "[Hotkey]\r\nState=" + value + "\r\n[Magnifier]\r\nState=" + value + "\r\n");
    LoadSettings();
    EXPECT_EQ(AppliState.EtatHotkey, GetParam().expected);
    EXPECT_EQ(AppliState.EtatMagnifier, GetParam().expected);
    EXPECT_EQ(AppliState.EtatAutoSave, GetParam().expected);
    EXPECT_EQ(AppliState.EtatSound, GetParam().expected);
    EXPECT_EQ(AppliState.extension, GetParam().expected);
    EXPECT_STREQ(AppliState.szpath, "C:\\out");
}

// Only the first four characters of a number count, decimal digits after optional sign.
INSTANTIATE_TEST_SUITE_P(Values, NumberParsing,
                         ::testing::Values(NumberCase{"1", 1}, NumberCase{"01", 1},
                                           NumberCase{"1.5", 1}, NumberCase{"yes", 0},
                                           NumberCase{"", 0}, NumberCase{"2", 2},
                                           NumberCase{"-1", -1}, NumberCase{"12345", 1234},
                                           NumberCase{"0001999", 1}));

TEST_F(SettingsTest, EmptyFolderStaysEmpty)
{
    WriteIni("[Folder]\r\nState=\r\n");
    LoadSettings();
    SetDefaultFolder();
    EXPECT_STREQ(AppliState.szpath, "");
}

// A folder cut short would name another folder: one that does not fit counts as not set.
TEST_F(SettingsTest, OverlongFolderIsNotSetAndTouchesNothingElse)
{
    const std::string fits = "C:\\" + std::string(252, 'd');
    for (const std::string& dir : {fits + "d", fits + std::string(400, 'd')}) {
        SCOPED_TRACE(dir.size());
        WriteIni("[SaveAs]\r\nState=1\r\n[Folder]\r\nState=" + dir + "\r\n");
        LoadSettings();
        EXPECT_STREQ(AppliState.szpath, "0");
        EXPECT_EQ(AppliState.extension, 1);
    }
    WriteIni("[Folder]\r\nState=" + fits + "\r\n");
    LoadSettings();
    EXPECT_EQ(std::string(AppliState.szpath), fits);
}

TEST_F(SettingsTest, StoreWritesFourSectionsInOrderAndLoadsBack)
{
    AppliState = {1, 0, "Z:\\tmp\\shots", 1, 1, 1};
    StoreSettings();
    FlushIni();

    const std::string text = ReadWholeFile(IniPath());
    const size_t a = text.find("[autoSave]");
    const size_t s = text.find("[Sound]");
    const size_t f = text.find("[SaveAs]");
    const size_t d = text.find("[Folder]");
    ASSERT_NE(a, std::string::npos) << text;
    ASSERT_NE(d, std::string::npos) << text;
    EXPECT_LT(a, s);
    EXPECT_LT(s, f);
    EXPECT_LT(f, d);
    EXPECT_NE(text.find("[autoSave]\r\nState=1"), std::string::npos) << text;
    EXPECT_NE(text.find("[Sound]\r\nState=0"), std::string::npos) << text;
    EXPECT_NE(text.find("[SaveAs]\r\nState=1"), std::string::npos) << text;
    EXPECT_NE(text.find("[Folder]\r\nState=Z:\\tmp\\shots"), std::string::npos) << text;
    EXPECT_NE(text.find("[Magnifier]\r\nState=1"), std::string::npos) << text;

    AppliState = {7, 7, "stale", 7};
    LoadSettings();
    EXPECT_EQ(AppliState.EtatAutoSave, 1);
    EXPECT_EQ(AppliState.EtatSound, 0);
    EXPECT_EQ(AppliState.extension, 1);
    EXPECT_STREQ(AppliState.szpath, "Z:\\tmp\\shots");
}

// An upgrade from the release that kept its file in the Windows folder loses nothing: on the
// first start the copy Windows virtualized for that release is carried over (writable, though
// it was read-only), else the Windows folder's; once the user's own file is there, neither is
// read again.
TEST_F(SettingsTest, EarlierSettingsAreCarriedOverOnce)
{
    EXPECT_EQ(VirtualStoreFile(L"D:\\Users\\a\\AppData\\Local", L"D:\\WINNT"),
              L"D:\\Users\\a\\AppData\\Local\\VirtualStore\\WINNT\\grabotine.ini");
    wchar_t local[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string virtualized = Narrow(VirtualStoreFile(local, windows));
    const std::string inWindows = Narrow(windows) + "\\grabotine.ini";
    WriteFileText(inWindows, "[Sound]\r\nState=1\r\n");
    WriteFileText(virtualized, "[SaveAs]\r\nState=1\r\n");
    SetFileAttributesA(virtualized.c_str(), FILE_ATTRIBUTE_READONLY);

    LoadSettings();
    EXPECT_EQ(AppliState.extension, 1);
    EXPECT_EQ(AppliState.EtatSound, 0);
    EXPECT_EQ(ReadWholeFile(IniPath()), "[SaveAs]\r\nState=1\r\n");
    EXPECT_FALSE(GetFileAttributesA(IniPath().c_str()) & FILE_ATTRIBUTE_READONLY);
    AppliState.extension = 3;
    EXPECT_TRUE(StoreSettings());
    LoadSettings();
    EXPECT_EQ(AppliState.extension, 3);

    RemoveIni();
    SetFileAttributesA(virtualized.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(virtualized.c_str());
    LoadSettings();
    EXPECT_EQ(AppliState.EtatSound, 1);
    EXPECT_EQ(AppliState.extension, 0);

    AppliState.EtatSound = 0;
    StoreSettings();
    LoadSettings();
    EXPECT_EQ(AppliState.EtatSound, 0);
    DeleteFileA(inWindows.c_str());

    // A file that takes no write (here a folder in its place) is a failed store, never a
    // silent one.
    RemoveIni();
    ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
    EXPECT_FALSE(StoreSettings());
    RemoveDirectoryA(IniPath().c_str());
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Windows turns file virtualization off for a program whose manifest asks for an execution
// level, any level: a file an earlier release wrote into a protected folder would then be read
// from another place than the one it was written to. Each program names its own architecture.
TEST(Manifest, AsksForNoExecutionLevelNamesItsArchitectureAndIsEmbeddedOnce)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    strcpy(strrchr(path, '\\') + 1, "Grabotine.exe");
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> exe(
        LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE), FreeLibrary);
    ASSERT_NE(exe, nullptr) << path;
    int manifests = 0;
    EnumResourceNamesA(exe.get(), MAKEINTRESOURCEA(24), CountName,
                       reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, 1);
    const HRSRC res = FindResourceA(exe.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(res, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(exe.get(), res))),
                           SizeofResource(exe.get(), res));
    EXPECT_EQ(text.find("requestedExecutionLevel"), std::string::npos) << text;
    EXPECT_EQ(text.find("trustInfo"), std::string::npos) << text;
    EXPECT_NE(text.find("PerMonitorV2"), std::string::npos) << text;
    EXPECT_NE(text.find(sizeof(void*) == 8 ? "processorArchitecture=\"amd64\""
                                           : "processorArchitecture=\"x86\""),
              std::string::npos)
        << text;
}

// A folder whose name the 8-bit code page cannot write comes back as a path that 8-bit calls
// open (its short name), never as the '?' text that names nothing; a plain one as itself.
TEST(FolderPath, ComesBackInAFormThe8BitCallsOpen)
{
    TempDir base;
    const std::wstring wideBase(base.path().begin(), base.path().end());
    const std::wstring folder = wideBase + L"\\\u0421\u043d\u0438\u043c\u043a\u0438";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring marker = folder + L"\\marker";
    ASSERT_TRUE(ScopedHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                         nullptr)).valid());

    for (const std::wstring& dir : {folder, wideBase}) {
        const std::unique_ptr<ITEMIDLIST, decltype(&ILFree)> pidl(ILCreateFromPathW(dir.c_str()),
                                                                  ILFree);
        ASSERT_NE(pidl, nullptr);
        char path[MAX_PATH] = {};
        ASSERT_TRUE(FolderPathOf(pidl.get(), path));
        EXPECT_EQ(strchr(path, '?'), nullptr) << path;
        if (dir == wideBase)
            EXPECT_STREQ(path, base.path().c_str());
        else
            EXPECT_TRUE(FileExists(std::string(path) + "\\marker")) << path;
    }
    DeleteFileW(marker.c_str());
    RemoveDirectoryW(folder.c_str());
}

// A path goes to 8 bits whole or not at all; on a system set to UTF-8 every path fits.
TEST(FolderPath, ConvertsExactlyInEachCodePage)
{
    const struct { UINT cp; const wchar_t* wide; const char* expected; } cases[] = {
        {1252, L"Caf\u00e9", "Caf\xe9"}, {1252, L"\u0421", nullptr}, {932, L"Caf\u00e9", nullptr},
        {932, L"\u5199", "\x8e\xca"}, {65001, L"\u0421", "\xd0\xa1"}, {65001, L"\xd800", nullptr}};
    for (const auto& c : cases) {
        char path[MAX_PATH] = {};
        EXPECT_EQ(ExactAnsi(c.cp, c.wide, path), c.expected != nullptr) << c.cp;
        EXPECT_STREQ(c.expected ? path : nullptr, c.expected) << c.cp;
        // Windows (not Wine) fails UTF-8 conversions that ask for either of these.
        EXPECT_EQ((AnsiRuleFor(c.cp).flags & WC_NO_BEST_FIT_CHARS) != 0, c.cp != CP_UTF8) << c.cp;
        EXPECT_EQ(AnsiRuleFor(c.cp).reportsLoss, c.cp != CP_UTF8) << c.cp;
    }
}

// Seconds from 1 to 60 are taken as they are; any other value, or none, is 3.
TEST_F(SettingsTest, DelayIsOneToSixtySecondsElseThree)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"1", 1}, {"60", 60}, {"61", 3}, {"0", 3}, {"-5", 3}, {"", 3}, {"12s", 12}, {"0007", 7}};
    for (const auto& [text, expected] : cases) {
        WriteIni(std::string("[Delay]\r\nState=") + text + "\r\n");
        LoadSettings();
        EXPECT_EQ(AppliState.EtatDelay, expected) << text;
    }
}

// The box shows the whole seconds left and leaves the screen a moment before the end; the
// timer wakes at each change, never sooner than the system allows.
TEST(Countdown, CountsWholeSecondsAndHidesTheBoxBeforeTheEnd)
{
    struct Case {
        DWORD elapsed;
        CountdownStep step;
    };
    const Case cases[] = {
        {0, {3, true, false, 1000}},    {1, {3, true, false, 999}},
        {2000, {1, true, false, 750}},  {2750, {1, false, false, 250}},
        {2995, {1, false, false, 10}},  {3000, {0, false, true, 0}},
        {4000, {0, false, true, 0}},
    };
    for (const Case& c : cases) {
        const CountdownStep got = CountdownAt(c.elapsed, 3000);
        EXPECT_EQ(got.secondsLeft, c.step.secondsLeft) << c.elapsed;
        EXPECT_EQ(got.boxShown, c.step.boxShown) << c.elapsed;
        EXPECT_EQ(got.over, c.step.over) << c.elapsed;
        EXPECT_EQ(got.nextTickMs, c.step.nextTickMs) << c.elapsed;
    }
}

// A shell busy at sign-in can time out on an add that it carries out all the same: an add
// that it then refuses because the icon is there counts as done.
TEST(TrayIcon, AnAddRefusedForAnIconAlreadyThereCountsAsDone)
{
    hWndMain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               nullptr, nullptr);
    const HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
    ASSERT_TRUE(TaskBarAdd(icon, 7));
    EXPECT_TRUE(TaskBarAdd(icon, 7));
    EXPECT_TRUE(TaskBarDel(7));
    DestroyWindow(hWndMain);
    hWndMain = nullptr;
}

// Every title waits for a missing icon, in order, its newest text kept; a title more than the
// queue has room for pushes out the oldest.
TEST(TrayIcon, WaitingBalloonsKeepOneOfEachTitle)
{
    NOTIFYICONDATAA queue[kBalloonTitles] = {};
    size_t count = 0;
    const auto wait = [&](const char* title, const char* text) {
        NOTIFYICONDATAA b = {};
        lstrcpynA(b.szInfoTitle, title, sizeof b.szInfoTitle);
        lstrcpynA(b.szInfo, text, sizeof b.szInfo);
        count = KeepWaitingBalloon(queue, count, b);
    };
    for (const char* step : {"A1", "B1", "C1", "A2", "D1", "C2", "E1"})
        wait(std::string(step, 1).c_str(), step);
    std::string kept;
    for (size_t i = 0; i < count; ++i)
        kept += std::string(queue[i].szInfoTitle) + "=" + queue[i].szInfo + " ";
    EXPECT_EQ(kept, "B=B1 C=C2 D=D1 E=E1 ");
}

}  // namespace
