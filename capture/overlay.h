// The selection overlay: the main window shown over a frozen picture of the screen.
#pragma once
#include <windows.h>

// left/top = anchor of the drag, right/bottom = pointer, on the virtual screen (whose origin is
// the primary monitor's corner, so left of or above it is negative).
extern RECT rect;
extern int bEtat;   // 1 while a drag is in progress

// The pen of the outline, made when the main window is created and deleted when it goes.
void CreateOverlayPen();
void DeleteOverlayPen();

// XORs the outline of rect onto the overlay; a second call erases it.
void DrawRectangle();

// Every monitor, and what lies between them, in physical pixels (the program is aware of
// each monitor's scale, so nothing here is scaled).
RECT VirtualScreen();

// Freezes the virtual screen and shows the overlay over all of it, every monitor and the gaps
// between them (no-op when already shown).
void ShowOverlay();
// Puts the shown overlay back over the frozen area, wherever a scale change or the shell
// moved or resized it.
void KeepOverlayPlace();
// Hides the overlay and drops the frozen picture.
void HideOverlay();
// Repaints the frozen picture (and the outline while dragging, and the magnifier when on).
void PaintOverlay(HWND hwnd);

// A drag: started at a press, moved with the pointer, ended by the release, which copies the
// region to the clipboard, or cancelled; both hide the overlay. x and y are the overlay's
// client coordinates, signed. With the option on (read as the overlay shows), a magnifier
// follows the pointer, drag or not; the grab never sees it.
void StartDrag(int x, int y);
void StartDragAtPointer();
// During a drag the moving corner follows the pointer, stopping at the overlay's edge.
void PointerMoved(int x, int y);
void EndDrag();
void CancelDrag();

// Moves the pointer by (dx, dy) physical pixels, kept on the virtual screen, as the mouse
// would.
void NudgePointer(int dx, int dy);

// The virtual screen as it was when the overlay appeared, in the overlay's client
// coordinates, in a memory DC; null while the overlay is hidden.
HDC FrozenScreen();
// The virtual-screen point at the frozen picture's top-left corner.
POINT FrozenOrigin();
