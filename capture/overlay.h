// The selection overlay: the main window shown over a frozen picture of the screen.
#pragma once
#include <windows.h>

extern int bEtat;   // 1 while a drag is in progress

// The pen of the outline, made when the main window is created and deleted when it goes.
void CreateOverlayPen();
void DeleteOverlayPen();

// XORs the outline shown (the rubber band, or the window snapping would take) onto the
// overlay once more, as a repaint needs it; a second call restores it.
void DrawRectangle();

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

// A drag: started at a press, moved with the pointer, ended by the release, which settles rect
// (ordered, reaching the screen's last column and row) and erases the outline, so the caller
// grabs it and hides the overlay; or cancelled, which hides the overlay. x and y are the
// overlay's client coordinates, signed. With the option on (read as the overlay shows), a
// magnifier follows the pointer, drag or not; the grab never sees it.
// With snapping on (read as the overlay shows), the window or control under the pointer is
// outlined while no drag is under way, and a press released short of the drag threshold takes
// that rectangle (over no window, the monitor).
void StartDrag(int x, int y);
void StartDragAtPointer();
// During a drag the moving corner follows the pointer, stopping at the overlay's edge.
void PointerMoved(int x, int y);
void EndDrag();
void CancelDrag();
// Posted by the overlay's first paint with snapping on: the windows are listed then, and the
// highlight drawn.
constexpr UINT WM_LISTWINDOWS = WM_APP + 16;
void ListSnapWindows();
// Tab and Shift+Tab: the highlight one step out to the window holding it (steps > 0), up to the
// top-level window, or back in toward the innermost one.
void WidenSnap(int steps);

// Moves the pointer by (dx, dy) physical pixels, kept on the virtual screen, as the mouse
// would.
void NudgePointer(int dx, int dy);
