#include "app/settings.h"

#include "test_util.h"

#include <gtest/gtest.h>
#include <shlobj.h>

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
    HANDLE h = CreateFileA(IniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
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
             "\r\n[SaveAs]\r\nState=" + value + "\r\n[Folder]\r\nState=C:\\out\r\n");
    LoadSettings();
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

TEST_F(SettingsTest, OverlongFolderIsCutToTheBufferAndTouchesNothingElse)
{
    const std::string longDir = "C:\\" + std::string(400, 'd');
    WriteIni("[SaveAs]\r\nState=1\r\n[Folder]\r\nState=" + longDir + "\r\n");
    LoadSettings();
    EXPECT_EQ(strnlen(AppliState.szpath, sizeof AppliState.szpath), 255u);
    EXPECT_EQ(std::string(AppliState.szpath), longDir.substr(0, 255));
    EXPECT_EQ(AppliState.extension, 1);
}

TEST_F(SettingsTest, StoreWritesFourSectionsInOrderAndLoadsBack)
{
    AppliState = {1, 0, "Z:\\tmp\\shots", 1};
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

    AppliState = {7, 7, "stale", 7};
    LoadSettings();
    EXPECT_EQ(AppliState.EtatAutoSave, 1);
    EXPECT_EQ(AppliState.EtatSound, 0);
    EXPECT_EQ(AppliState.extension, 1);
    EXPECT_STREQ(AppliState.szpath, "Z:\\tmp\\shots");
}

}  // namespace
