// The Options and About dialog procedures.
#pragma once
#include <windows.h>

INT_PTR CALLBACK BoiteOpt(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);
extern "C" INT_PTR CALLBACK AboutProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);  // exported

// The dialogs, modal to owner, whole on the monitor of the point at.
void ShowAboutDialog(HWND owner, POINT at);
void ShowOptionsDialog(HWND owner, POINT at);

// Runs the shell's folder browser owned by the Options dialog.
void ChangeFolder(HWND hwnd);
