// Print Screen as a key that starts a selection from any program, as a left press on the
// icon does; Shift+Print Screen captures the last region again, as the menu item does, and
// Ctrl+Print Screen starts (or cancels) a delayed capture.
#pragma once
#include <windows.h>

constexpr int kHotkeyId = 1;
constexpr int kLastRegionHotkeyId = 2;
constexpr int kDelayHotkeyId = 3;

// Takes or releases the key as the setting says. The first time in a run that the key cannot
// be had, a balloon from the icon says why; while it cannot, it is tried again when the
// keyboard's settings change and, while another program holds it, every 5 s. Taken after a
// refusal, a balloon says so, once a run. Shift+ and Ctrl+Print Screen come and go with it;
// held by another program, each is only missing (Print Screen still works).
void ApplyHotkeySetting();
void ReleaseHotkey();

// Why the key could not be had at the last try, or null when nothing stands in the way.
const char* HotkeyRefusal();

// While the key is refused, the event set when the keyboard's settings change, for the message
// loop to wait on; null when nothing is watched. KeyboardSettingsChanged is its handler.
HANDLE KeyboardSettingsEvent();
void KeyboardSettingsChanged();

// The key tried again, if it was refused: the system's settings changed (WM_SETTINGCHANGE).
void RetryRefusedHotkey();
