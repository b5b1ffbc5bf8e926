// Saving the current capture under a name made from the local time.
#pragma once
#include <windows.h>

extern SYSTEMTIME st;  // local time of the latest save

// Writes the current capture in the chosen format, then plays the shutter sound if on.
void SaveCapture(HWND hwnd);
