#include "app/grabotine.h"
#include "app/settings.h"
#include "win/scoped_win.h"

#include "test_util.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

std::string IniPath()
{
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\grabotine.ini";
}

void WriteIni(const std::string& text)
{
    // Profile functions cache files; flush before replacing it underneath them.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIniFile);
    ScopedHandle file(CreateFileA(IniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void RemoveIni()
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIniFile);
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
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIniFile);

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

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Windows turns file virtualization off for a program whose manifest asks for an execution
// level, any level: a standard user's settings file (a bare name, so in the Windows folder)
// and "~temp.bmp" in a protected folder would then fail to be written, without a word.
TEST(Manifest, AsksForNoExecutionLevelAndIsEmbeddedOnce)
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

}  // namespace
