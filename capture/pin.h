// Pins: captures shown above the other windows where they were taken, to compare against or
// copy from. Each pin holds a copy of its own, freed when it closes.
#pragma once
#include <windows.h>

// The zoom steps of the wheel, in percent; 100 is where a pin starts.
constexpr int kPinZooms[] = {25, 50, 100, 200, 300, 400, 600, 800};

// The step the wheel leads to from zoom: notches up (positive) or down, kept within the steps.
int NextPinZoom(int zoom, int notches);

// The window rectangle of a pin of an image of size at zoom (percent) whose client area keeps
// the image point under the pointer (client coordinates at the old zoom) under it; the frame
// is frame pixels wide on every side.
RECT ZoomedPinRect(const RECT& window, POINT pointer, int oldZoom, int newZoom, SIZE image,
                   int frame);

// Where a pin's image of that size goes: its region's corner when the region still touches a
// monitor (onScreen), else moved whole into monitor (the nearest one), at its top-left edge
// where it does not fit.
POINT PinCorner(const RECT& region, SIZE image, bool onScreen, const RECT& monitor);

// Shows a copy of capture in a new pin at region (on the virtual screen); false when there is
// no capture or no window could be made.
bool PinCapture(HBITMAP capture, const RECT& region);

// Closes every pin: at Exit and at the session's end.
void CloseAllPins();
