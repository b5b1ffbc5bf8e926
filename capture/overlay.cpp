#include "capture/overlay.h"

#include "app/grabotine.h"

RECT rect = {0, 0, 0, 0};
int bEtat = 0;
HPEN hPen = nullptr;

void DrawRectangle() {}
void ShowOverlay() { ShowWindow(hWndMain, SW_SHOWMAXIMIZED); }
void HideOverlay() { ShowWindow(hWndMain, SW_HIDE); }
void PaintOverlay(HWND hwnd) { ValidateRect(hwnd, nullptr); }
void StartDrag(int, int) {}
void DragTo(int, int) {}
