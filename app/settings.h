// The user's settings and the INI file that keeps them between runs.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <cstdint>

// A delayed capture waits this long unless the INI says 1 to 60 seconds.
constexpr int32_t kDefaultDelay = 3;
constexpr int32_t kMaxDelay = 60;

struct Etat {
    int32_t EtatAutoSave;  // 1 = save after every capture
    int32_t EtatSound;     // 1 = shutter sound after every save
    char szpath[256];      // output directory; "0" = not set yet
    int32_t extension;     // 0 = BMP, 1 = JPEG, 3 = PNG, anything else = no file
    int32_t EtatHotkey = 1;  // 1 = Print Screen starts a selection
    int32_t EtatMagnifier = 0;  // 1 = a magnifier follows the pointer on the overlay
    int32_t EtatSnap = 0;  // 1 = the overlay outlines the window under the pointer; a click takes it
    int32_t EtatDelay = kDefaultDelay;  // seconds before a delayed capture freezes the screen
};

extern Etat AppliState;

#include <string>

constexpr const char kIniFile[] = "grabotine.ini";

// The settings file of this user, for the 32-bit and the 64-bit program alike:
// %APPDATA%\Grabotine\grabotine.ini. Windows redirects no write of a 64-bit program, nor of a
// standard user, to the Windows folder. Portable mode: a grabotine.ini that can be written
// beside the program is used instead (one that cannot is told, and %APPDATA%'s used); so is the
// program's folder when the profile has no %APPDATA%. Chosen at the first call.
const std::wstring& SettingsFile();

// Where those files are, from the user's %APPDATA% and the program's folder (empty when
// either is unknown).
std::wstring UserSettingsFile(const std::wstring& appData);
std::wstring PortableSettingsFile(const std::wstring& programFolder);

// Shows what choosing the settings file found wrong, once the icon is there to tell it.
void TellSettingsTrouble();

// Where Windows kept the settings of a 32-bit program it virtualized, for the file that
// program named in the Windows folder windowsDir: the same path under localAppData's
// VirtualStore, without the drive.
std::wstring VirtualStoreFile(const std::wstring& localAppData, const std::wstring& windowsDir);

// When this user has no settings file yet, the one an earlier release used becomes it: the
// virtualized copy first (the one that release really read), else the Windows folder's.
void CarryOverSettings();

// The delay a stored [Delay] value gives: itself from 1 to kMaxDelay, else kDefaultDelay.
int32_t DelayFromSetting(int32_t stored);

// Carries the earlier settings over, then reads them. A stored folder that does not fit whole
// counts as not set, as a chosen one is refused.
void LoadSettings();
void SetDefaultFolder();
// Writes every setting; says whether they reached a file. A portable file that cannot be
// written gives way to %APPDATA%'s; a store that reached none is told once, by a balloon, or by
// a box when the program is leaving (its icon goes with it).
bool StoreSettings(bool leaving = false);

// Makes path the output directory only when it fits szpath whole: a path cut short would
// name another folder. Says whether it did.
bool SetFolderIfFits(const char* path);

// The file-system folder of an item list as a path that 8-bit calls can open, or false.
bool FolderPathOf(LPCITEMIDLIST pidl, char (&path)[MAX_PATH]);

// The existing folder wide names, as a path that 8-bit calls can open (itself when the code
// page writes every letter of it, else its short name), or false.
bool AnsiFolderPath(const wchar_t* wide, char (&path)[MAX_PATH]);

// How a path goes to that code page: the conversion's flags, and whether it asks which
// characters were lost.
struct AnsiRule {
    DWORD flags;
    bool reportsLoss;
};
AnsiRule AnsiRuleFor(UINT codePage);

// The path in that code page, only when every character survives the conversion.
bool ExactAnsi(UINT codePage, const wchar_t* wide, char (&path)[MAX_PATH]);
