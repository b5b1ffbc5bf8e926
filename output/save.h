// Saving the current capture under a name made from the local time.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the current capture in the chosen format, then plays the shutter sound if on and
// the save did what was asked.
void SaveCapture(HWND hwnd);

// The full path of the last file a save wrote in this run, wide and in its long form (the
// output folder may be the short name of a folder the code page cannot write); empty before.
const std::wstring& LastSavedFile();

// The file extension of a SaveAs value: 0 BMP, 1 JPEG, 3 PNG; null for the values that write
// no file (2, and any the program does not know).
const char* CaptureExtension(int32_t format);

// Writes the current capture as the settings say, named from time t; no sound. False only
// when a file was asked for (BMP, JPEG or PNG) and none was written; a format that asks for
// no file counts as done.
bool SaveCaptureAt(HWND hwnd, const SYSTEMTIME& t);

// "<dir>\<hour><minute><second>_<day><month>" then, from copy 2 on, " (<copy>)", then
// ".<ext>". False when it does not fit in size characters with its terminator.
bool FormatCaptureName(char* out, size_t size, const char* dir, const SYSTEMTIME& t,
                       const char* ext, int copy);

// The first of those names that names no existing file. False when none fits.
bool PickCaptureName(char* out, size_t size, const char* dir, const SYSTEMTIME& t, const char* ext);
