// What the About and Options dialogs do alike.
#pragma once
#include <windows.h>

// The message switch of both: init fills the dialog, command answers a control, and the
// caption's close box ends it as a cancel.
INT_PTR DialogMessage(HWND hwnd, UINT iMsg, WPARAM wParam, void (*init)(HWND),
                      INT_PTR (*command)(HWND, WORD));

// Runs the dialog template id with proc, modal to owner.
void RunModal(int id, HWND owner, DLGPROC proc);
