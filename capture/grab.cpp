#include "capture/grab.h"

HBITMAP hBitmap = nullptr;

void SetBitmapClipBoard() {}
