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
