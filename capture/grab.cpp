#include "capture/grab.h"

#include "app/grabotine.h"
#include "capture/overlay.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <utility>

HBITMAP hBitmap = nullptr;

void OrderRect(RECT& r)
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
}

WORD DibBitsFor(WORD bitmapBits)
{
    if (bitmapBits <= 8 || bitmapBits == 32)
        return bitmapBits;
    return 24;
}

namespace {

// What the user saw: the overlay's frozen picture, or the live display when there is none;
// r is on the virtual screen.
HBITMAP GrabRegion(HDC display, const RECT& r)
{
    const HBITMAP frozen = FrozenScreen();
    if (!frozen)
        return CopyRegion(display, display, r, SRCCOPY);
    ScopedCreatedDC src(CreateCompatibleDC(display));
    ScopedSelectObject select(src.get(), frozen);
    const POINT origin = FrozenOrigin();
    RECT inPicture = r;
    OffsetRect(&inPicture, -origin.x, -origin.y);
    return CopyRegion(display, src.get(), inPicture, SRCCOPY);
}

// The bitmap as a packed DIB in movable memory, the form the clipboard takes for CF_DIB.
HGLOBAL PackedDib(HDC display, HBITMAP bmp)
{
    BITMAP bm = {};
    if (!GetObjectA(bmp, sizeof bm, &bm))
        return nullptr;
    const WORD bits = DibBitsFor(bm.bmBitsPixel);
    const DibLayout layout = DibLayoutFor(bm.bmWidth, bm.bmHeight, bits);
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, layout.totalBytes));
    ScopedGlobalLock lock(mem.get());
    if (!lock.get())
        return nullptr;
    BITMAPINFO* info = static_cast<BITMAPINFO*>(lock.get());
    info->bmiHeader = {};
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = bm.bmWidth;
    info->bmiHeader.biHeight = bm.bmHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bits;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = layout.imageBytes;
    info->bmiHeader.biClrUsed = layout.colours;
    BYTE* pixels = static_cast<BYTE*>(lock.get()) + layout.totalBytes - layout.imageBytes;
    if (GetDIBits(display, bmp, 0, static_cast<UINT>(bm.bmHeight), pixels, info,
                  DIB_RGB_COLORS) != bm.bmHeight)
        return nullptr;
    // GetDIBits zeroes the count but the table it filled is there.
    info->bmiHeader.biClrUsed = layout.colours;
    return mem.release();
}

// The capture the clipboard promises as CF_BITMAP, until the promise is kept or the clipboard
// emptied: hBitmap, or an earlier capture kept alive for the promise alone when a later one
// could not reach the clipboard (it was open elsewhere) and replaced it.
HBITMAP promised = nullptr;

void DropPromise()
{
    if (promised && promised != hBitmap)
        DeleteObject(promised);
    promised = nullptr;
}

// The clipboard takes the pixels of one format, the DIB, now: under Wine every format set
// with its data is copied into the server, and the DIB is what the X side exports. The
// bitmap is promised and rendered, from the same capture, when it is first asked for.
void OfferToClipboard(HDC display, HBITMAP capture)
{
    ScopedGlobalMem<void> dib(PackedDib(display, capture));
    if (dib.get() && SetClipboardData(CF_DIB, dib.get()))
        dib.release();
    // A promise returns no handle, failed or not: only the error code tells.
    SetLastError(ERROR_SUCCESS);
    SetClipboardData(CF_BITMAP, nullptr);
    if (GetLastError() == ERROR_SUCCESS)
        promised = capture;
}

// Opens the clipboard for the main window, waiting up to a second for whoever has it open;
// messages sent meanwhile (a reader's WM_RENDERFORMAT) are handled.
bool OpenClipboardPatiently()
{
    const DWORD start = GetTickCount();
    while (!OpenClipboard(hWndMain)) {
        if (GetTickCount() - start >= 1000)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return true;
}

}  // namespace

HBITMAP CopyBitmap(HBITMAP bmp)
{
    BITMAP bm = {};
    if (!bmp || !GetObjectA(bmp, sizeof bm, &bm))
        return nullptr;
    // A bitmap made for a memory DC holding bmp has bmp's format (a DIB section's too).
    ScopedCreatedDC src(CreateCompatibleDC(nullptr));
    ScopedSelectObject selectSrc(src.get(), bmp);
    ScopedGdiObject<HBITMAP> copy(CreateCompatibleBitmap(src.get(), bm.bmWidth, bm.bmHeight));
    if (!copy.get())
        return nullptr;
    ScopedCreatedDC dst(CreateCompatibleDC(nullptr));
    ScopedSelectObject selectDst(dst.get(), copy.get());
    if (!BitBlt(dst.get(), 0, 0, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCCOPY))
        return nullptr;
    return copy.release();
}

void SetBitmapClipBoard()
{
    OrderRect(rect);
    const HBITMAP previous = hBitmap;
    {
        ScopedClipboard clipboard(hWndMain);
        if (clipboard.open() && EmptyClipboard())
            DropPromise();  // WM_DESTROYCLIPBOARD has done so already, where it was sent
        ScopedGetDC hdc(nullptr);  // not CreateDC("DISPLAY"): see CopyScreen
        ScopedGdiObject<HBITMAP> capture(GrabRegion(hdc.get(), rect));
        if (clipboard.open() && capture.get())
            OfferToClipboard(hdc.get(), capture.get());
        hBitmap = capture.release();
    }
    // Readers have the capture from the close on; the one it replaces goes afterwards.
    if (previous && previous != promised)
        DeleteObject(previous);
}

void RenderClipboardFormat(UINT format)
{
    if (format != CF_BITMAP || !promised)
        return;
    // The clipboard gets a bitmap of its own: whoever empties it frees that, not ours.
    ScopedGdiObject<HBITMAP> copy(CopyBitmap(promised));
    if (copy.get() && SetClipboardData(CF_BITMAP, copy.get()))
        copy.release();
    DropPromise();
}

void RenderAllClipboardFormats()
{
    if (!promised || !OpenClipboardPatiently())
        return;
    // Another program may have taken the clipboard since.
    if (GetClipboardOwner() == hWndMain)
        RenderClipboardFormat(CF_BITMAP);
    CloseClipboard();
}

void ForgetClipboardFormats() { DropPromise(); }
