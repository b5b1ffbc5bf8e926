#include "capture/grab.h"

#include "app/grabotine.h"
#include "capture/overlay.h"
#include "resources/resource.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <algorithm>
#include <optional>
#include <utility>

HBITMAP hBitmap = nullptr;

bool CutToScreen(RECT& r, const RECT& screen)
{
    const bool hadArea = r.left < r.right && r.top < r.bottom;
    r.left = std::clamp(r.left, screen.left, screen.right);
    r.right = std::clamp(r.right, screen.left, screen.right);
    r.top = std::clamp(r.top, screen.top, screen.bottom);
    r.bottom = std::clamp(r.bottom, screen.top, screen.bottom);
    return !hadArea || (r.left < r.right && r.top < r.bottom);
}

void OrderRect(RECT& r)
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
}

WORD DibBitsFor(WORD bitmapBits)
{
    return bitmapBits <= 8 ? bitmapBits : 24;
}

namespace {

// How long the release waits for a clipboard that another program has open.
constexpr DWORD kClipboardWaitMs = 1000;

// The rectangle of the last capture, ordered, on the virtual screen.
bool hasLastRegion = false;
RECT lastRegion = {0, 0, 0, 0};

// What the user saw: the overlay's frozen picture, or the live display when there is none;
// r is on the virtual screen. Layered windows are part of what the user sees, hence CAPTUREBLT.
HBITMAP GrabRegion(HDC display, const RECT& r)
{
    const HDC frozen = FrozenScreen();
    if (!frozen)
        return CopyRegion(display, display, r, SRCCOPY | CAPTUREBLT);
    const POINT origin = FrozenOrigin();
    RECT inPicture = r;
    OffsetRect(&inPicture, -origin.x, -origin.y);
    return CopyRegion(display, frozen, inPicture, SRCCOPY);
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

// Another program (a clipboard manager, a remote-desktop session) may hold the clipboard
// open for a moment: the release waits for it, a little. Nothing is dispatched meanwhile,
// since the release is half done.
bool OpenClipboardPatiently(std::optional<ScopedClipboard>& clipboard)
{
    const DWORD start = GetTickCount();
    for (;;) {
        clipboard.emplace(hWndMain);
        if (clipboard->open())
            return true;
        if (GetTickCount() - start >= kClipboardWaitMs)
            return false;
        Sleep(10);
    }
}

// The clipboard gets data that needs no rendering, so readers find it whatever becomes of this
// program (ended, killed, or busy with a save): the packed DIB, from which the system makes
// CF_BITMAP at the display's depth for whoever asks. A capture of another depth (the 1 x 1
// monochrome bitmap of an empty selection) goes as a bitmap of its own too, so that readers
// of CF_BITMAP get it as it is. The clipboard must be open and emptied.
bool OfferToClipboard(HDC display, HBITMAP capture)
{
    ScopedGlobalMem<void> dib(PackedDib(display, capture));
    if (!dib.get() || !SetClipboardData(CF_DIB, dib.get()))
        return false;
    dib.release();
    BITMAP bm = {};
    if (!GetObjectA(capture, sizeof bm, &bm))
        return false;
    const int displayBits = GetDeviceCaps(display, BITSPIXEL) * GetDeviceCaps(display, PLANES);
    if (bm.bmBitsPixel * bm.bmPlanes == displayBits)
        return true;
    ScopedGdiObject<HBITMAP> copy(CopyBitmap(capture));
    if (!copy.get() || !SetClipboardData(CF_BITMAP, copy.get()))
        return false;
    copy.release();
    return true;
}

// What the user learns when the clipboard could not take the capture.
void TellClipboardMissed()
{
    TaskBarBalloon(IDI_GRABOTINE, "Capture not on the clipboard",
                   "The clipboard could not take this capture: another program may be holding "
                   "it. Pasting will not give this capture.");
}

}  // namespace

bool HasLastRegion() { return hasLastRegion; }

bool CaptureLastRegion()
{
    RECT region = lastRegion;
    if (!CutToScreen(region, VirtualScreen())) {
        TaskBarBalloon(IDI_GRABOTINE, "Last region not on the screen",
                       "The last region lies on no monitor now: nothing was captured.");
        return false;
    }
    rect = region;
    SetBitmapClipBoard();
    return true;
}

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

bool SetBitmapClipBoard()
{
    OrderRect(rect);
    hasLastRegion = true;
    lastRegion = rect;
    bool offered = false;
    {
        ScopedGetDC hdc(nullptr);  // not CreateDC("DISPLAY"): see CopyScreen
        ScopedGdiObject<HBITMAP> capture(GrabRegion(hdc.get(), rect));
        // The clipboard is taken after the grab, for as short a time as can be.
        std::optional<ScopedClipboard> clipboard;
        if (capture.get() && OpenClipboardPatiently(clipboard))
            offered = EmptyClipboard() && OfferToClipboard(hdc.get(), capture.get());
        if (hBitmap)
            DeleteObject(hBitmap);
        hBitmap = capture.release();
    }
    if (!offered)
        TellClipboardMissed();
    return offered;
}
