// The selection overlay: the main window shown over a frozen picture of the screen.
#pragma once
#include <windows.h>

extern RECT rect;   // left/top = anchor of the drag, right/bottom = pointer
extern int bEtat;   // 1 while a drag is in progress
extern HPEN hPen;   // dotted white pen of the rubber band

// XORs the outline of rect onto the overlay; a second call erases it.
void DrawRectangle();

// Freezes the screen and shows the overlay over the whole monitor (no-op when already shown).
void ShowOverlay();
// Hides the overlay and drops the frozen picture.
void HideOverlay();
// Repaints the frozen picture (and the outline while dragging).
void PaintOverlay(HWND hwnd);

void StartDrag(int x, int y);
void DragTo(int x, int y);

// The screen as it was when the overlay appeared, in the overlay's client coordinates;
// null while the overlay is hidden.
HBITMAP FrozenScreen();
