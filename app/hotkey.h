// Print Screen as a key that starts a selection from any program, as a left press on the
// icon does.
#pragma once
#include <windows.h>

constexpr int kHotkeyId = 1;

// Takes or releases the key as the setting says. The first time in a run that the key cannot
// be had, a balloon from the icon says why.
void ApplyHotkeySetting();
void ReleaseHotkey();

// Why the key could not be had at the last try, or null when nothing stands in the way.
const char* HotkeyRefusal();
