// Copies the selected region to the clipboard and keeps it as the current capture.
#pragma once
#include <windows.h>

extern HBITMAP hBitmap;  // the current capture, owned by the program

void SetBitmapClipBoard();
