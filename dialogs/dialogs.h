// The Options and About dialog procedures.
#pragma once
#include <windows.h>

INT_PTR CALLBACK BoiteOpt(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);
extern "C" INT_PTR CALLBACK AboutProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);  // exported

// The dialogs, modal to owner, whole on the monitor of the point at. Options shows the Print
// Screen box unavailable, with hotkeyRefusal under it, when that says why the key cannot be had.
void ShowAboutDialog(HWND owner, POINT at);
void ShowOptionsDialog(HWND owner, POINT at, const char* hotkeyRefusal);

// Runs the shell's folder browser owned by the Options dialog.
void ChangeFolder(HWND hwnd);

// The SaveAs value Options stores on OK: stored as it was while both format boxes show what
// they showed on opening (so a value the program does not know survives); otherwise 3 (PNG)
// when the PNG box is checked, else the JPG box's state (0 BMP, 1 JPEG).
int ChosenFormat(int stored, UINT shownJpeg, UINT shownPng, UINT jpeg, UINT png);
