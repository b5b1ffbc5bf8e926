#include "app/settings.h"

#include "win/scoped_win.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

Etat AppliState = {0, 0, "", 0};

namespace {

constexpr char kKey[] = "State";

int32_t ReadNumber(const char* section, const char* missing = "0")
{
    // Only four characters of a number are read; the rest of the value is ignored.
    GetPrivateProfileStringA(section, kKey, missing, AppliState.szpath, 5, kIniFile);
    return static_cast<int32_t>(atol(AppliState.szpath));
}

void WriteNumber(const char* section, int32_t value)
{
    char Buffer[256] = {};
    snprintf(Buffer, sizeof Buffer, "%d", static_cast<int>(value));
    WritePrivateProfileStringA(section, kKey, Buffer, kIniFile);
}

bool IsDirectory(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The path in the system code page, only when every character survives the conversion.
bool ExactAnsi(const wchar_t* wide, char (&path)[MAX_PATH])
{
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, MAX_PATH,
                                      nullptr, &lost);
    return n > 0 && !lost;
}

}  // namespace

// The 8-bit conversion turns letters the code page lacks into '?' or a look-alike, naming
// another folder or none. Only here are wide paths taken, to find a form that the 8-bit calls
// everywhere else can open: the path itself, or else its short name.
bool AnsiFolderPath(const wchar_t* wide, char (&path)[MAX_PATH])
{
    if (ExactAnsi(wide, path) && IsDirectory(path))
        return true;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(wide, shortPath, MAX_PATH);
    return n > 0 && n < MAX_PATH && ExactAnsi(shortPath, path) && IsDirectory(path);
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

void LoadSettings()
{
    AppliState.EtatAutoSave = ReadNumber("autoSave");
    AppliState.EtatSound = ReadNumber("Sound");
    AppliState.extension = ReadNumber("SaveAs");
    // Missing, as in files written before the key existed, means on.
    AppliState.EtatHotkey = ReadNumber("Hotkey", "1");
    AppliState.EtatMagnifier = ReadNumber("Magnifier");
    // One character more than fits: a longer value is cut there and then refused whole,
    // leaving the folder not set ("0").
    char folder[sizeof AppliState.szpath + 1] = {};
    GetPrivateProfileStringA("Folder", kKey, "0", folder, sizeof folder, kIniFile);
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

void StoreSettings()
{
    WriteNumber("autoSave", AppliState.EtatAutoSave);
    WriteNumber("Sound", AppliState.EtatSound);
    WriteNumber("SaveAs", AppliState.extension);
    WritePrivateProfileStringA("Folder", kKey, AppliState.szpath, kIniFile);
    WriteNumber("Hotkey", AppliState.EtatHotkey);
    WriteNumber("Magnifier", AppliState.EtatMagnifier);
}
