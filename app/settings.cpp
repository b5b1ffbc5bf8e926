#include "app/settings.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

Etat AppliState = {0, 0, "", 0};

namespace {

constexpr char kKey[] = "State";

struct ItemListFree {
    void operator()(ITEMIDLIST* pidl) const { CoTaskMemFree(pidl); }
};
using ScopedItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

int32_t ReadNumber(const char* section)
{
    // Only four characters of a number are read; the rest of the value is ignored.
    GetPrivateProfileStringA(section, kKey, "0", AppliState.szpath, 5, kIniFile);
    return static_cast<int32_t>(atol(AppliState.szpath));
}

void WriteNumber(const char* section, int32_t value)
{
    char Buffer[256] = {};
    snprintf(Buffer, sizeof Buffer, "%d", static_cast<int>(value));
    WritePrivateProfileStringA(section, kKey, Buffer, kIniFile);
}

bool DesktopDirectory(char (&path)[MAX_PATH])
{
    ITEMIDLIST* raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &raw)) || !raw)
        return false;
    ScopedItemList pidl(raw);
    return SHGetPathFromIDListA(pidl.get(), path) != FALSE;
}

}  // namespace

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
    GetPrivateProfileStringA("Folder", kKey, "0", AppliState.szpath, sizeof AppliState.szpath,
                             kIniFile);
}

void SetDefaultFolder()
{
    if (strcmp(AppliState.szpath, "0") != 0)
        return;
    char path[MAX_PATH] = {};
    if (DesktopDirectory(path) && SetFolderIfFits(path))
        return;
    // No usable desktop folder: save beside wherever the program was started.
    if (GetCurrentDirectoryA(MAX_PATH, path) != 0 && SetFolderIfFits(path))
        return;
    AppliState.szpath[0] = '\0';
}

void StoreSettings()
{
    WriteNumber("autoSave", AppliState.EtatAutoSave);
    WriteNumber("Sound", AppliState.EtatSound);
    WriteNumber("SaveAs", AppliState.extension);
    WritePrivateProfileStringA("Folder", kKey, AppliState.szpath, kIniFile);
}
