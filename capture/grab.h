// Copies the selected region to the clipboard and keeps it as the current capture.
#pragma once
#include "win/bitmap.h"

#include <windows.h>

// The current capture, in the smallest form that gives its pixels back (24 bits from a 32-bit
// display, see CopyFor::Keeping). The program owns it (the clipboard gets copies of its own, since
// any program may empty the clipboard and free what is there); it is replaced by the next
// capture and is never left selected into a device context.
extern HBITMAP hBitmap;

// Posted to the main window by a release whose capture went to the clipboard: "PNG" is made
// then, after the release.
constexpr UINT WM_RENDERPNG = WM_APP + 1;

// Copies rect (ordered in place) from the picture the overlay shows, or from the display
// while no overlay is up, into a new hBitmap, and puts it on the clipboard as a packed CF_DIB
// (and as CF_BITMAP too when it has 8 bits or fewer and the display more), with "PNG" promised
// beside them, waiting a moment for a clipboard that another program has open. When the
// clipboard did not take it, a balloon from the icon says so; the result says whether it did.
bool SetBitmapClipBoard();

// Whether a capture was made in this run, and so there is a last region to capture again.
bool HasLastRegion();
// Where the current capture was taken, ordered, on the virtual screen.
RECT CaptureRegion();

// A copy of bmp onto the clipboard as a release puts a capture there ("PNG" promised and made
// right after), with the same balloon when it cannot; says whether it went there.
bool PutBitmapOnClipboard(HBITMAP bmp);

// The last capture's rectangle again, from the screen as it is now (no overlay), as a release
// grabs it; cut to what the monitors show of it first, and a balloon says when that cut
// something. When no monitor shows any of it, a balloon says so, nothing changes and the
// result is false. The region kept stays as the user drew it.
bool CaptureLastRegion();

// A copy of bmp in its own format, for the caller to own; null when bmp is null or the copy
// cannot be made.
HBITMAP CopyBitmap(HBITMAP bmp);

// The "PNG" promised by the last release, made now and put on the clipboard in place of the
// promise: for WM_RENDERPNG, WM_RENDERALLFORMATS, the exit and the session's end. Nothing
// when no promise is left or the clipboard is no longer ours.
void RenderPromisedPng();

// WM_RENDERFORMAT: a reader asks for a format not made yet (the clipboard is open for it).
void RenderFormat(UINT format);

// WM_DESTROYCLIPBOARD: the clipboard dropped what it held of ours, the promise with it.
void DropPngPromise();
