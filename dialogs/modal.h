// What the About and Options dialogs do alike.
#pragma once
#include <windows.h>

// The message switch of both: init fills the dialog, command answers a control, and the
// caption's close box ends it as a cancel.
INT_PTR DialogMessage(HWND hwnd, UINT iMsg, WPARAM wParam, void (*init)(HWND),
                      INT_PTR (*command)(HWND, WORD));

// Runs the dialog template id with proc, modal to owner, on the monitor of the point at.
void RunModal(int id, HWND owner, DLGPROC proc, POINT at);

// Moves a dialog whole onto a monitor's work area.
void PlaceOnMonitor(HWND hwnd, HMONITOR monitor);

// Where a window of rectangle window, placed by the system within the work area from, goes
// within the work area to: at the same relative place (a centred one stays centred, one in a
// corner stays there), whole. One larger than the area keeps its top-left corner, with the
// caption, inside. With from equal to to it moves only as far as it sticks out.
RECT PlaceInWorkArea(const RECT& window, const RECT& from, const RECT& to);
