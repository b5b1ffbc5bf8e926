// The Options and About dialog procedures.
#pragma once
#include <windows.h>

INT_PTR CALLBACK BoiteOpt(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);
extern "C" INT_PTR CALLBACK AboutProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);  // exported

// The dialogs, modal to owner.
void ShowAboutDialog(HWND owner);
void ShowOptionsDialog(HWND owner);

// Runs the shell's folder browser owned by the Options dialog.
void ChangeFolder(HWND hwnd);
