// Copies the selected region to the clipboard and keeps it as the current capture.
#pragma once
#include <windows.h>

// The current capture. The program owns it (the clipboard gets copies of its own, since
// any program may empty the clipboard and free what is there); it is replaced by the next
// capture and is never left selected into a device context.
extern HBITMAP hBitmap;

// Copies rect (ordered in place) from the picture the overlay shows, or from the display
// while no overlay is up, into a new hBitmap, and offers it as CF_DIB and CF_BITMAP. Only
// the DIB's pixels go to the clipboard now; the bitmap is promised (delayed rendering) and
// copied from the capture when a reader first asks for it.
void SetBitmapClipBoard();

// The clipboard's messages to its owner, the main window, about the promised bitmap.
// WM_RENDERFORMAT: a reader, who has the clipboard open, wants format now.
void RenderClipboardFormat(UINT format);
// WM_RENDERALLFORMATS, and the program's own shutdown (it ends without destroying its
// window): puts whatever is still promised on the clipboard, so that readers find it after
// the program has gone. Waits a moment for a reader who has the clipboard open.
void RenderAllClipboardFormats();
// WM_DESTROYCLIPBOARD: the clipboard has been emptied, so nothing is promised any more.
void ForgetClipboardFormats();

// A copy of bmp in its own format, for the caller to own; null when bmp is null or the copy
// cannot be made.
HBITMAP CopyBitmap(HBITMAP bmp);

// Swaps the edges of r where needed so that left <= right and top <= bottom.
void OrderRect(RECT& r);

// The depth the clipboard's DIB gets for a bitmap of the given depth: low depths keep their
// colour table, 32 stays 32, and 16 or 24 become 24 so that no colour bit is lost.
WORD DibBitsFor(WORD bitmapBits);
