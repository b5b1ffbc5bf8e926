#include "app/hotkey.h"

#include "app/grabotine.h"
#include "app/settings.h"
#include "resources/resource.h"
#include "win/scoped_win.h"

#include <memory>

namespace {

bool registered = false;
bool told = false;
bool toldWorks = false;
const char* refusal = nullptr;

constexpr char kSnipping[] =
    "Windows keeps Print Screen for its own screen capture: turn off Settings > Accessibility > "
    "Keyboard > \"Use the Print screen key to open screen capture\" to use it here. The icon "
    "still starts a capture.";
constexpr char kTaken[] =
    "Another program holds Print Screen (on Windows 11 perhaps Settings > Accessibility > "
    "Keyboard > \"Use the Print screen key to open screen capture\"). The icon still starts a "
    "capture.";

constexpr char kKeyboardKey[] = "Control Panel\\Keyboard";

// Nothing tells when another program lets the key go: while it holds it, the key is tried
// again this often.
constexpr UINT_PTR kRetryKeyTimer = 29;
constexpr UINT kRetryKeyMs = 5000;

// While the key is refused, the keyboard's settings are watched (Windows' snip is switched
// there): the key, and the event a change of its values sets.
struct KeyboardWatch {
    ScopedRegKey key;
    ScopedHandle changed{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};
std::unique_ptr<KeyboardWatch> watch;

// Windows 11 hands Print Screen to its own snip before any program registered for it sees it.
bool SnippingOwnsPrintScreen()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, kKeyboardKey, "PrintScreenKeyForSnippingEnabled",
                        RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS &&
           value == 1;
}

// Asks to be told of the next change (each notice is for one change).
bool Arm(const KeyboardWatch& w)
{
    return w.key && w.changed.valid() &&
           RegNotifyChangeKeyValue(w.key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                   w.changed.get(), TRUE) == ERROR_SUCCESS;
}

void WatchKeyboardSettings()
{
    if (watch)
        return;
    auto w = std::make_unique<KeyboardWatch>();
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyboardKey, 0, nullptr, 0, KEY_NOTIFY, nullptr,
                        &key, nullptr) == ERROR_SUCCESS)
        w->key.reset(key);
    if (Arm(*w))
        watch = std::move(w);
}

void StopRetrying()
{
    watch.reset();
    KillTimer(hWndMain, kRetryKeyTimer);
}

void CALLBACK RetryKey(HWND, UINT, UINT_PTR, DWORD) { ApplyHotkeySetting(); }

void Refused(const char* why)
{
    refusal = why;
    WatchKeyboardSettings();
    if (why == kTaken)
        SetTimer(hWndMain, kRetryKeyTimer, kRetryKeyMs, RetryKey);
    else
        KillTimer(hWndMain, kRetryKeyTimer);
    if (!told) {
        TaskBarBalloon(IDI_GRABOTINE, "Print Screen is not available", refusal);
        told = true;
    }
}

// Print Screen is ours: Shift+Print Screen comes with it, and a user told it was refused learns
// that it works now, once.
void Taken()
{
    registered = true;
    RegisterHotKey(hWndMain, kLastRegionHotkeyId, MOD_SHIFT | MOD_NOREPEAT, VK_SNAPSHOT);
    RegisterHotKey(hWndMain, kDelayHotkeyId, MOD_CONTROL | MOD_NOREPEAT, VK_SNAPSHOT);
    StopRetrying();
    if (refusal && !toldWorks) {
        TaskBarBalloon(IDI_GRABOTINE, "Print Screen works now",
                       "Print Screen now starts a capture.", NIIF_INFO);
        toldWorks = true;
    }
    refusal = nullptr;
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
    const char* why = SnippingOwnsPrintScreen() ? kSnipping : nullptr;
    if (!why && !RegisterHotKey(hWndMain, kHotkeyId, MOD_NOREPEAT, VK_SNAPSHOT))
        why = kTaken;
    if (why)
        Refused(why);
    else
        Taken();
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
    StopRetrying();
}

const char* HotkeyRefusal() { return refusal; }

HANDLE KeyboardSettingsEvent() { return watch ? watch->changed.get() : nullptr; }

void KeyboardSettingsChanged()
{
    // Armed again before the retry, so that no later change goes unseen.
    if (watch && !Arm(*watch))
        watch.reset();
    RetryRefusedHotkey();
}

void RetryRefusedHotkey()
{
    if (refusal)
        ApplyHotkeySetting();
}
