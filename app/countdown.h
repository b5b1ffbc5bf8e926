// The countdown of a delayed capture: a timer on the main window, and a small box beside the
// pointer with the seconds left that never takes the keyboard, the focus or a click, so that
// a menu another program has open stays open.
#pragma once
#include <windows.h>

// The main window's timer of the countdown (the icon's retry is timer 1).
constexpr UINT_PTR kCountdownTimer = 2;
// The box leaves the screen this long before the freeze, so that the windows it covered have
// painted again by then and nothing of it is in the picture.
constexpr DWORD kCountdownHideLeadMs = 250;

// Where a countdown of totalMs stands elapsedMs after its start: the whole seconds left (as
// shown), whether the box is still shown, whether the time is up, and when to look again.
struct CountdownStep {
    int secondsLeft;
    bool boxShown;
    bool over;
    UINT nextTickMs;
};
CountdownStep CountdownAt(DWORD elapsedMs, DWORD totalMs);

// Starts a countdown of seconds, the box beside the pointer.
void StartCountdown(int seconds);
// Ends it without a capture.
void CancelCountdown();
bool CountdownRunning();
// Ends it now: the box leaves at once, and the time is up as soon as it is off the screen.
void HurryCountdown();
// For the timer: true once the time is up, and the countdown is then over. While it may not
// end (the tray menu is open), the time is up again a moment later.
bool CountdownTick(bool mayEnd);
// The time is up no sooner than a moment from now: the tray menu, just closed, leaves the
// screen only then.
void PostponeCountdown();
