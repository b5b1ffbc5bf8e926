// Identity and handles of the one program window, shared by every subsystem.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

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
// Balloons that wait for a missing icon: room for one of each title the program shows ("Print
// Screen is not available", "Print Screen works now", "Capture not on the clipboard", "Last
// region not on the screen").
constexpr size_t kBalloonTitles = 4;
// Puts balloon among the count waiting in queue[0..kBalloonTitles): over the one of the same
// title (the newest text wins), else after the others, the oldest giving way in a full queue.
// Returns the new count.
size_t KeepWaitingBalloon(NOTIFYICONDATAA* queue, size_t count, const NOTIFYICONDATAA& balloon);
// Shows a balloon (a warning unless infoFlags say otherwise) with title and text (cut to the
// shell's lengths) from the icon, or once the icon is there again when it is missing.
void TaskBarBalloon(int idIcon, const char* title, const char* text,
                    DWORD infoFlags = NIIF_WARNING);
