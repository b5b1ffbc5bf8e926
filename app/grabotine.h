// Identity and handles of the one program window, shared by every subsystem.
#pragma once
#include <windows.h>

extern const char szAppName[];
extern HWND hWndMain;
extern HINSTANCE hInst;

// Callback message of the notification icon (a plain number, not WM_USER based).
constexpr UINT WM_TRAYICON = 2001;

// Exported by name, so unmangled.
extern "C" LRESULT CALLBACK WndMainProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam);

// Adds the notification icon; says whether it is there. When not, it is tried again every
// two seconds until it is. Balloons that waited for it show then.
BOOL TaskBarAdd(HICON hIcon, int idIcon);
BOOL TaskBarDel(int idIcon);
// Shows a warning balloon with title and text (cut to the shell's lengths) from the icon, or
// once the icon is there again when it is missing.
void TaskBarBalloon(int idIcon, const char* title, const char* text);
