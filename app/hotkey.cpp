#include "app/hotkey.h"

#include "app/grabotine.h"
#include "app/settings.h"
#include "resources/resource.h"

namespace {

bool registered = false;
bool told = false;
const char* refusal = nullptr;

constexpr char kSnipping[] =
    "Windows keeps Print Screen for its own screen capture: turn off Settings > Accessibility > "
    "Keyboard > \"Use the Print screen key to open screen capture\" to use it here. The icon "
    "still starts a capture.";
constexpr char kTaken[] =
    "Another program holds Print Screen (on Windows 11 perhaps Settings > Accessibility > "
    "Keyboard > \"Use the Print screen key to open screen capture\"). The icon still starts a "
    "capture.";

// Windows 11 hands Print Screen to its own snip before any program registered for it sees it.
bool SnippingOwnsPrintScreen()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Keyboard",
                        "PrintScreenKeyForSnippingEnabled", RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS &&
           value == 1;
}

}  // namespace

void ApplyHotkeySetting()
{
    if (AppliState.EtatHotkey != 1) {
        ReleaseHotkey();
        return;
    }
    if (registered)
        return;
    refusal = SnippingOwnsPrintScreen() ? kSnipping : nullptr;
    if (!refusal && RegisterHotKey(hWndMain, kHotkeyId, MOD_NOREPEAT, VK_SNAPSHOT)) {
        registered = true;
        RegisterHotKey(hWndMain, kLastRegionHotkeyId, MOD_SHIFT | MOD_NOREPEAT, VK_SNAPSHOT);
        RegisterHotKey(hWndMain, kDelayHotkeyId, MOD_CONTROL | MOD_NOREPEAT, VK_SNAPSHOT);
    } else if (!refusal) {
        refusal = kTaken;
    }
    if (refusal && !told) {
        TaskBarBalloon(IDI_GRABOTINE, "Print Screen is not available", refusal);
        told = true;
    }
}

void ReleaseHotkey()
{
    if (registered) {
        UnregisterHotKey(hWndMain, kHotkeyId);
        UnregisterHotKey(hWndMain, kLastRegionHotkeyId);
        UnregisterHotKey(hWndMain, kDelayHotkeyId);
    }
    registered = false;
    refusal = nullptr;
}

const char* HotkeyRefusal() { return refusal; }
