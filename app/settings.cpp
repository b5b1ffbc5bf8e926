#include "app/settings.h"

#include "app/grabotine.h"
#include "resources/resource.h"
#include "win/scoped_win.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

Etat AppliState = {0, 0, "", 0};

namespace {

constexpr wchar_t kKey[] = L"State";

// Section names and values are 8-bit text in the code page; the file's path may hold any name.
std::wstring Wide(const char* text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// The value of section's State, or missing, as 8-bit text in value, cut to its size as the
// 8-bit profile call cuts it.
void ReadValue(const char* section, const char* missing, char* value, size_t size)
{
    std::wstring wide(size, L'\0');
    GetPrivateProfileStringW(Wide(section).c_str(), kKey, Wide(missing).c_str(), &wide[0],
                             static_cast<DWORD>(size), SettingsFile().c_str());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], n, nullptr, nullptr);
    const size_t len = std::min(strlen(text.c_str()), size - 1);
    memcpy(value, text.c_str(), len);
    value[len] = '\0';
}

// Whether a value of the store under way could not be written (read-only file, full disk).
bool storeFailed = false;

void WriteValue(const char* section, const char* value)
{
    if (!WritePrivateProfileStringW(Wide(section).c_str(), kKey, Wide(value).c_str(),
                                    SettingsFile().c_str()))
        storeFailed = true;
}

int32_t ReadNumber(const char* section, const char* missing = "0")
{
    // Only four characters of a number are read; the rest of the value is ignored.
    ReadValue(section, missing, AppliState.szpath, 5);
    return static_cast<int32_t>(atol(AppliState.szpath));
}

void WriteNumber(const char* section, int32_t value)
{
    char Buffer[256] = {};
    snprintf(Buffer, sizeof Buffer, "%d", static_cast<int>(value));
    WriteValue(section, Buffer);
}

bool FileExistsW(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Empty for a bare name: there is no folder to make.
std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring KnownFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))
               ? std::wstring(path)
               : std::wstring();
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? FolderOf(path) : std::wstring();
}

// Opening for writing changes nothing, and fails as a write would in a folder the user may
// not write or on a file another program holds. The read-only mark is asked for as well: not
// every file system refuses the open for it.
bool CanWrite(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return ScopedHandle(CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        .valid();
}

// The file the settings go to, and the one they go to when it cannot be written.
std::wstring settingsFile;
std::wstring fallbackFile;

// What went wrong with the settings file, told once: a balloon, or a box when the program is
// leaving and its icon with it. Before the icon is there it waits for TellSettingsTrouble.
const char* untold = nullptr;
constexpr char kTroubleTitle[] = "Settings not saved";
constexpr char kMoved[] = "grabotine.ini beside Grabotine.exe cannot be written: your settings "
                          "are kept in %APPDATA%\\Grabotine instead.";
constexpr char kLost[] = "Grabotine cannot write its settings file (read-only, or the disk is "
                         "full): the changes made in Options are not kept.";
bool toldMoved = false;
bool toldLost = false;

void Tell(const char* text, bool& told, bool leaving)
{
    if (told)
        return;
    told = true;
    if (leaving)
        MessageBoxA(nullptr, text, kTroubleTitle, MB_OK | MB_ICONWARNING | MB_TOPMOST);
    else if (hWndMain)
        TaskBarBalloon(IDI_GRABOTINE, kTroubleTitle, text);
    else
        untold = text;
}

void ChooseSettingsFile()
{
    const std::wstring userFile = UserSettingsFile(KnownFolder(CSIDL_APPDATA));
    const std::wstring portable = PortableSettingsFile(ProgramFolder());
    settingsFile = userFile.empty() ? portable : userFile;
    if (portable.empty() || !FileExistsW(portable))
        return;
    if (CanWrite(portable)) {
        settingsFile = portable;
        fallbackFile = userFile;
    } else if (!userFile.empty()) {
        Tell(kMoved, toldMoved, false);
    }
}

std::wstring WindowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path) : std::wstring();
}

bool IsDirectory(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

AnsiRule AnsiRuleFor(UINT codePage)
{
    // UTF-8 writes every character, and refuses both the best-fit flag and the lost-character
    // report: with them every path would fail. An unpaired surrogate still fails.
    if (codePage == CP_UTF8)
        return {WC_ERR_INVALID_CHARS, false};
    return {WC_NO_BEST_FIT_CHARS, true};
}

bool ExactAnsi(UINT codePage, const wchar_t* wide, char (&path)[MAX_PATH])
{
    const AnsiRule rule = AnsiRuleFor(codePage);
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(codePage, rule.flags, wide, -1, path, MAX_PATH, nullptr,
                                      rule.reportsLoss ? &lost : nullptr);
    return n > 0 && !lost;
}

// The 8-bit conversion turns letters the code page lacks into '?' or a look-alike, naming
// another folder or none. Only here are wide paths taken, to find a form that the 8-bit calls
// everywhere else can open: the path itself, or else its short name.
bool AnsiFolderPath(const wchar_t* wide, char (&path)[MAX_PATH])
{
    if (ExactAnsi(GetACP(), wide, path) && IsDirectory(path))
        return true;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(wide, shortPath, MAX_PATH);
    return n > 0 && n < MAX_PATH && ExactAnsi(GetACP(), shortPath, path) && IsDirectory(path);
}

namespace {

// By path, not item list: freeing an item list brings the COM runtime in, for good.
bool DesktopDirectory(char (&path)[MAX_PATH])
{
    wchar_t wide[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr,
                                      SHGFP_TYPE_CURRENT, wide)) &&
           AnsiFolderPath(wide, path);
}

}  // namespace

std::wstring UserSettingsFile(const std::wstring& appData)
{
    return appData.empty() ? std::wstring() : appData + L"\\Grabotine\\" + Wide(kIniFile);
}

std::wstring PortableSettingsFile(const std::wstring& programFolder)
{
    return programFolder.empty() ? std::wstring() : programFolder + L"\\" + Wide(kIniFile);
}

const std::wstring& SettingsFile()
{
    if (settingsFile.empty())
        ChooseSettingsFile();
    return settingsFile;
}

void TellSettingsTrouble()
{
    if (untold)
        TaskBarBalloon(IDI_GRABOTINE, kTroubleTitle, untold);
    untold = nullptr;
}

std::wstring VirtualStoreFile(const std::wstring& localAppData, const std::wstring& windowsDir)
{
    // "C:\Windows" is kept there as "Windows".
    const size_t drive = windowsDir.find(L":\\");
    const std::wstring rest = drive == std::wstring::npos ? windowsDir : windowsDir.substr(drive + 2);
    if (localAppData.empty() || rest.empty())
        return std::wstring();
    return localAppData + L"\\VirtualStore\\" + rest + L"\\" + Wide(kIniFile);
}

void CarryOverSettings()
{
    const std::wstring& file = SettingsFile();
    if (file.empty() || FileExistsW(file))
        return;
    const std::wstring windows = WindowsFolder();
    for (const std::wstring& earlier :
         {VirtualStoreFile(KnownFolder(CSIDL_LOCAL_APPDATA), windows),
          windows.empty() ? std::wstring() : windows + L"\\" + Wide(kIniFile)}) {
        if (earlier.empty() || !FileExistsW(earlier))
            continue;
        CreateDirectoryW(FolderOf(file).c_str(), nullptr);
        // A copy keeps the read-only mark an administrator may have set: every store would fail.
        if (CopyFileW(earlier.c_str(), file.c_str(), TRUE)) {
            const DWORD attributes = GetFileAttributesW(file.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesW(file.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        return;
    }
}

bool FolderPathOf(LPCITEMIDLIST pidl, char (&path)[MAX_PATH])
{
    wchar_t wide[MAX_PATH] = {};
    return SHGetPathFromIDListW(pidl, wide) && AnsiFolderPath(wide, path);
}

bool SetFolderIfFits(const char* path)
{
    const size_t len = strlen(path);
    if (len >= sizeof AppliState.szpath)
        return false;
    memcpy(AppliState.szpath, path, len + 1);
    return true;
}

int32_t DelayFromSetting(int32_t stored)
{
    return stored >= 1 && stored <= kMaxDelay ? stored : kDefaultDelay;
}

void LoadSettings()
{
    CarryOverSettings();
    AppliState.EtatAutoSave = ReadNumber("autoSave");
    AppliState.EtatSound = ReadNumber("Sound");
    AppliState.extension = ReadNumber("SaveAs");
    // Missing, as in files written before the key existed, means on.
    AppliState.EtatHotkey = ReadNumber("Hotkey", "1");
    AppliState.EtatMagnifier = ReadNumber("Magnifier");
    AppliState.EtatSnap = ReadNumber("Snap");
    AppliState.EtatDelay = DelayFromSetting(ReadNumber("Delay", "3"));
    // One character more than fits: a longer value is cut there and then refused whole,
    // leaving the folder not set ("0").
    char folder[sizeof AppliState.szpath + 1] = {};
    ReadValue("Folder", "0", folder, sizeof folder);
    if (!SetFolderIfFits(folder))
        SetFolderIfFits("0");
}

void SetDefaultFolder()
{
    if (strcmp(AppliState.szpath, "0") != 0)
        return;
    char path[MAX_PATH] = {};
    if (DesktopDirectory(path) && SetFolderIfFits(path))
        return;
    // No usable desktop folder: save beside wherever the program was started.
    wchar_t current[MAX_PATH] = {};
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, current);
    if (n > 0 && n < MAX_PATH && AnsiFolderPath(current, path) && SetFolderIfFits(path))
        return;
    AppliState.szpath[0] = '\0';
}

namespace {

// After a store: a portable file that stopped taking writes gives way to the user's own file,
// with everything stored there; a store that reached no file is told.
bool StoreDone(bool leaving)
{
    if (!storeFailed)
        return true;
    if (!fallbackFile.empty()) {
        settingsFile = fallbackFile;
        fallbackFile.clear();
        Tell(kMoved, toldMoved, leaving);
        return StoreSettings(leaving);
    }
    Tell(kLost, toldLost, leaving);
    return false;
}

}  // namespace

bool StoreSettings(bool leaving)
{
    storeFailed = SettingsFile().empty();
    // The folder of the file is made on the first store; a profile that has lost it gets it back.
    if (!FolderOf(SettingsFile()).empty())
        CreateDirectoryW(FolderOf(SettingsFile()).c_str(), nullptr);
    WriteNumber("autoSave", AppliState.EtatAutoSave);
    WriteNumber("Sound", AppliState.EtatSound);
    WriteNumber("SaveAs", AppliState.extension);
    WriteValue("Folder", AppliState.szpath);
    WriteNumber("Hotkey", AppliState.EtatHotkey);
    WriteNumber("Magnifier", AppliState.EtatMagnifier);
    WriteNumber("Snap", AppliState.EtatSnap);
    WriteNumber("Delay", AppliState.EtatDelay);
    return StoreDone(leaving);
}
