// Copies the selected region to the clipboard and keeps it as the current capture.
#pragma once
#include <windows.h>

// The current capture. The program owns it (the clipboard gets copies of its own, since
// any program may empty the clipboard and free what is there); it is replaced by the next
// capture and is never left selected into a device context.
extern HBITMAP hBitmap;

// Copies rect (ordered in place) from the picture the overlay shows, or from the display
// while no overlay is up, into a new hBitmap, and puts it on the clipboard as a packed CF_DIB
// (and as CF_BITMAP too when its depth is not the display's), waiting a moment for a clipboard
// that another program has open. When the clipboard did not take it, a balloon from the icon
// says so; the result says whether it did.
bool SetBitmapClipBoard();

// Whether a capture was made in this run, and so there is a last region to capture again.
bool HasLastRegion();

// The last capture's rectangle again, from the screen as it is now (no overlay), as a release
// grabs it; cut to the virtual screen first. When nothing of it is left (its monitor is gone),
// a balloon from the icon says so, nothing changes and the result is false.
bool CaptureLastRegion();

// Cuts r (ordered, on the virtual screen) to screen; false when r had an area and nothing of
// it is left. A region without area stays one, at the nearest edge.
bool CutToScreen(RECT& r, const RECT& screen);

// A copy of bmp in its own format, for the caller to own; null when bmp is null or the copy
// cannot be made.
HBITMAP CopyBitmap(HBITMAP bmp);

// Swaps the edges of r where needed so that left <= right and top <= bottom.
void OrderRect(RECT& r);

// The depth the clipboard's DIB gets for a bitmap of the given depth: low depths keep their
// colour table, and the rest become 24, which loses no colour bit and which every reader keeps
// (a 32-bit DIB's unused alpha bytes are zero, and some readers take that as transparent).
WORD DibBitsFor(WORD bitmapBits);
