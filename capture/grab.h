// Copies the selected region to the clipboard and keeps it as the current capture.
#pragma once
#include <windows.h>

// The current capture. The program owns it (the clipboard gets copies of its own, since
// any program may empty the clipboard and free what is there); it is replaced by the next
// capture and is never left selected into a device context.
extern HBITMAP hBitmap;

// Copies rect (ordered in place) from the picture the overlay shows, or from the display
// while no overlay is up, into a new hBitmap; offers it as CF_BITMAP and CF_DIB.
void SetBitmapClipBoard();

// A copy of bmp in its own format, for the caller to own; null when bmp is null or the copy
// cannot be made.
HBITMAP CopyBitmap(HBITMAP bmp);

// Swaps the edges of r where needed so that left <= right and top <= bottom.
void OrderRect(RECT& r);

// The depth the clipboard's DIB gets for a bitmap of the given depth: low depths keep their
// colour table, 32 stays 32, and 16 or 24 become 24 so that no colour bit is lost.
WORD DibBitsFor(WORD bitmapBits);
