// The selection overlay: the main window shown over a frozen picture of the screen.
#pragma once
#include <windows.h>

extern RECT rect;   // left/top = anchor of the drag, right/bottom = pointer
extern int bEtat;   // 1 while a drag is in progress

// The pen of the outline, made when the main window is created and deleted when it goes.
void CreateOverlayPen();
void DeleteOverlayPen();

// XORs the outline of rect onto the overlay; a second call erases it.
void DrawRectangle();

// Freezes the screen and shows the overlay over the whole monitor (no-op when already shown).
void ShowOverlay();
// Hides the overlay and drops the frozen picture.
void HideOverlay();
// Repaints the frozen picture (and the outline while dragging).
void PaintOverlay(HWND hwnd);

// A drag: started at a press, moved with the pointer (nothing without a drag), ended by the
// release, which copies the region to the clipboard, or cancelled; both hide the overlay.
void StartDrag(int x, int y);
void DragTo(int x, int y);
void EndDrag();
void CancelDrag();

// The screen as it was when the overlay appeared, in the overlay's client coordinates;
// null while the overlay is hidden.
HBITMAP FrozenScreen();
