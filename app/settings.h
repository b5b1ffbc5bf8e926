// The user's settings and the INI file that keeps them between runs.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <cstdint>

struct Etat {
    int32_t EtatAutoSave;  // 1 = save after every capture
    int32_t EtatSound;     // 1 = shutter sound after every save
    char szpath[256];      // output directory; "0" = not set yet
    int32_t extension;     // 0 = BMP, 1 = JPEG, anything else = no file
    int32_t EtatHotkey = 1;  // 1 = Print Screen starts a selection
    int32_t EtatMagnifier = 0;  // 1 = a magnifier follows the pointer on the overlay
};

extern Etat AppliState;

constexpr const char kIniFile[] = "grabotine.ini";

// A stored folder that does not fit whole counts as not set, as a chosen one is refused.
void LoadSettings();
void SetDefaultFolder();
void StoreSettings();

// Makes path the output directory only when it fits szpath whole: a path cut short would
// name another folder. Says whether it did.
bool SetFolderIfFits(const char* path);

// The file-system folder of an item list as a path that 8-bit calls can open, or false.
bool FolderPathOf(LPCITEMIDLIST pidl, char (&path)[MAX_PATH]);

// The existing folder wide names, as a path that 8-bit calls can open (itself when the code
// page writes every letter of it, else its short name), or false.
bool AnsiFolderPath(const wchar_t* wide, char (&path)[MAX_PATH]);
