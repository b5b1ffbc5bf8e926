// The frozen screen: the picture of the virtual screen taken at a press, where it lies, and the
// monitors and windows of that same moment. The overlay shows it, the grab copies from it.
#pragma once
#include "capture/region.h"

#include <windows.h>

#include <vector>

// left/top = anchor of the drag, right/bottom = pointer, on the virtual screen (whose origin is
// the primary monitor's corner, so left of or above it is negative).
extern RECT rect;

// Every monitor, and what lies between them, in physical pixels (the program is aware of
// each monitor's scale, so nothing here is scaled).
RECT VirtualScreen();
// The monitors as they are now, on the virtual screen.
std::vector<RECT> Monitors();

// Copies the virtual screen and notes its monitors. Drops what an earlier freeze held.
void FreezeScreen();
// Lists the windows a click can snap to, from the top of the z-order down, once per freeze.
// Asking every window costs more than the copy itself under some systems: the overlay lists
// them right after its first paint, before any input is handled.
void ListFrozenWindows();
// Drops the picture and the lists.
void ThawScreen();

// The picture in a memory DC, its pixel (0, 0) at FrozenArea()'s corner; null when none.
HDC FrozenScreen();
// Where the picture lies on the virtual screen.
RECT FrozenArea();
const std::vector<RECT>& FrozenMonitors();
const SnapList& FrozenWindows();
