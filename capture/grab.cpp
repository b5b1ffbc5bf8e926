#include "capture/grab.h"

#include "app/grabotine.h"
#include "capture/frozen.h"
#include "resources/resource.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <nviewlib.h>

#include <utility>

HBITMAP hBitmap = nullptr;

namespace {

// The capture whose "PNG" the clipboard was promised, until that is made or the clipboard
// drops the promise. Usually hBitmap itself; an older capture when a later one could not reach
// the clipboard, kept here until then.
HBITMAP hPromised = nullptr;

UINT PngFormat()
{
    static const UINT format = RegisterClipboardFormatA("PNG");
    return format;
}

// The capture as a PNG file in movable memory, made by the image library; null on failure.
HGLOBAL MakePng(HBITMAP capture)
{
    ScopedGetDC dc(nullptr);
    ScopedGlobalMem<void> bmp(BmpFileInMemory(dc.get(), capture));
    ScopedGlobalLock lock(bmp.get());
    if (!lock.get() || !NViewLibLoadMemory(lock.get(), static_cast<DWORD>(GlobalSize(bmp.get()))))
        return nullptr;
    return NViewLibCopyAsPNG();
}

// The promised PNG onto the clipboard, which is open; the promise is kept when it cannot be
// made, for a later reader to ask again.
void HandOverPng(ScopedGlobalMem<void>& png)
{
    if (!png.get() || !SetClipboardData(PngFormat(), png.get()))
        return;
    png.release();
    DropPngPromise();
}

}  // namespace

void DropPngPromise()
{
    if (hPromised && hPromised != hBitmap)
        DeleteObject(hPromised);
    hPromised = nullptr;
}

void RenderFormat(UINT format)
{
    if (format != PngFormat() || !hPromised)
        return;
    ScopedGlobalMem<void> png(MakePng(hPromised));
    HandOverPng(png);
}

void RenderPromisedPng()
{
    if (!hPromised)
        return;
    // Made before the clipboard is opened: readers find it taken only for the hand-over.
    ScopedGlobalMem<void> png(MakePng(hPromised));
    ScopedClipboard clipboard(hWndMain);
    if (clipboard.open() && GetClipboardOwner() == hWndMain)
        HandOverPng(png);
}

namespace {

// The rectangle of the last capture, ordered, on the virtual screen.
bool hasLastRegion = false;
RECT lastRegion = {0, 0, 0, 0};
// Where hBitmap was taken: the last region as cut to the monitors.
RECT captureRegion = {0, 0, 0, 0};

// What the user saw: the overlay's frozen picture, or the live display when there is none;
// r is on the virtual screen. Layered windows are part of what the user sees, hence CAPTUREBLT.
HBITMAP GrabRegion(HDC display, const RECT& r)
{
    const HDC frozen = FrozenScreen();
    if (!frozen)
        return CopyRegion(display, display, r, SRCCOPY | CAPTUREBLT, CopyFor::Keeping);
    const RECT area = FrozenArea();
    RECT inPicture = r;
    OffsetRect(&inPicture, -area.left, -area.top);
    return CopyRegion(display, frozen, inPicture, SRCCOPY, CopyFor::Keeping);
}

// The clipboard gets data that needs no rendering, so readers find it whatever becomes of this
// program (ended, killed, or busy with a save): the packed DIB, from which the system makes
// CF_BITMAP at the display's depth for whoever asks (a capture kept at 24 bits from a 32-bit
// display comes back with the same pixels). A capture of 8 bits or fewer on a deeper display
// (the 1 x 1 monochrome bitmap of an empty selection) goes as a bitmap of its own too, so that
// readers of CF_BITMAP get it as it is. "PNG" takes longer to make than the whole release: it is only
// promised here, and made right after the release (WM_RENDERPNG), before a save or the
// shutter can keep a reader waiting. The clipboard must be open and emptied.
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
    const int bits = bm.bmBitsPixel * bm.bmPlanes;
    if (bits <= 8 && bits != displayBits) {
        ScopedGdiObject<HBITMAP> copy(CopyBitmap(capture));
        if (!copy.get() || !SetClipboardData(CF_BITMAP, copy.get()))
            return false;
        copy.release();
    }
    // Without the promise readers still have the capture: a PNG is one more form of it.
    SetClipboardData(PngFormat(), nullptr);
    return true;
}

enum class Missed { Nothing, Held, NotMade, NotPlaced };

// What the user learns when the capture is not on the clipboard: another program is blamed
// only when it held the clipboard past the wait.
void TellClipboardMissed(Missed why)
{
    const char* text = nullptr;
    switch (why) {
    case Missed::Nothing: return;
    case Missed::Held:
        text = "The clipboard could not take this capture: another program may be holding it. "
               "Pasting will not give this capture.";
        break;
    case Missed::NotMade:
        text = "This capture could not be made (too little memory for its size?). The "
               "clipboard keeps what it had.";
        break;
    case Missed::NotPlaced:
        text = "This capture could not be placed on the clipboard (too little memory for its "
               "size?), and what the clipboard had is gone. Pasting will not give this capture.";
        break;
    }
    TaskBarBalloon(IDI_GRABOTINE, "Capture not on the clipboard", text);
}

// The capture onto the clipboard in place of what it held, taken after the grab for as short
// a time as can be (a clipboard another program holds is waited for, a little, without
// dispatching anything: the release is half done); what went wrong, if anything.
Missed HandOver(HDC display, HBITMAP capture)
{
    if (!capture)
        return Missed::NotMade;
    ScopedClipboard clipboard(hWndMain, kClipboardWaitMs);
    if (!clipboard.open())
        return Missed::Held;
    const bool emptied = EmptyClipboard();
    // Emptied: whatever was promised before is gone, as WM_DESTROYCLIPBOARD says too.
    DropPngPromise();
    return emptied && OfferToClipboard(display, capture) ? Missed::Nothing : Missed::NotPlaced;
}

// After a hand-over: the user learns what went wrong, or the "PNG" of promised is made next.
bool Promise(Missed missed, HBITMAP promised)
{
    if (missed != Missed::Nothing) {
        TellClipboardMissed(missed);
        return false;
    }
    hPromised = promised;
    PostMessageA(hWndMain, WM_RENDERPNG, 0, 0);
    return true;
}

}  // namespace

bool HasLastRegion() { return hasLastRegion; }

RECT CaptureRegion() { return captureRegion; }

bool CaptureLastRegion()
{
    RECT region = lastRegion;
    const Shown shown = region.left < region.right && region.top < region.bottom
                            ? CutToMonitors(region, Monitors())
                            : Shown::Whole;
    if (shown == Shown::Nothing) {
        TaskBarBalloon(IDI_GRABOTINE, "Last region not on the screen",
                       "The last region lies on no monitor now: nothing was captured.");
        return false;
    }
    // The region stays as the user drew it, for when the monitor is back.
    const RECT drawn = lastRegion;
    rect = region;
    const bool placed = SetBitmapClipBoard();
    lastRegion = drawn;
    if (shown == Shown::Part && placed)
        TaskBarBalloon(IDI_GRABOTINE, "Last region not on the screen",
                       "Part of the last region lies on no monitor now: the capture holds what "
                       "the monitors show of it.");
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
    captureRegion = rect;
    ScopedGetDC hdc(nullptr);  // not CreateDC("DISPLAY"): see CopyScreen
    ScopedGdiObject<HBITMAP> capture(GrabRegion(hdc.get(), rect));
    const Missed missed = HandOver(hdc.get(), capture.get());
    // A promise not yet made still needs the capture it was made of.
    if (hBitmap && hBitmap != hPromised)
        DeleteObject(hBitmap);
    hBitmap = capture.release();
    return Promise(missed, hBitmap);
}

bool PutBitmapOnClipboard(HBITMAP bmp)
{
    // The promise keeps a copy of its own: the bitmap's owner may free it before "PNG" is made.
    ScopedGdiObject<HBITMAP> copy(CopyBitmap(bmp));
    ScopedGetDC hdc(nullptr);
    const Missed missed = HandOver(hdc.get(), copy.get());
    return Promise(missed, missed == Missed::Nothing ? copy.release() : nullptr);
}
