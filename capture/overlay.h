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

// Freezes the virtual screen and shows the overlay over all of it, every monitor and the gaps
// between them (no-op when already shown).
void ShowOverlay();
// Puts the shown overlay back over the frozen area, wherever a scale change or the shell
// moved or resized it.
void KeepOverlayPlace();
// Hides the overlay and drops the frozen picture.
void HideOverlay();
// Repaints the frozen picture (and the outline while dragging).
void PaintOverlay(HWND hwnd);

// A drag: started at a press, moved with the pointer (nothing without a drag), ended by the
// release, which copies the region to the clipboard, or cancelled; both hide the overlay.
// x and y are the overlay's client coordinates, signed.
void StartDrag(int x, int y);
void DragTo(int x, int y);
void EndDrag();
void CancelDrag();

// The virtual screen as it was when the overlay appeared, in the overlay's client
// coordinates; null while the overlay is hidden.
HBITMAP FrozenScreen();
// The virtual-screen point at the frozen picture's top-left corner.
POINT FrozenOrigin();
