#include "win/bitmap.h"

#include "win/scoped_win.h"

uint64_t DibStride(uint64_t width, WORD bits) { return (width * bits + 31) / 32 * 4; }

DWORD ColorTableLength(WORD bits) { return bits <= 8 ? DWORD{1} << bits : 0; }

DibLayout DibLayoutFor(LONG width, LONG height, WORD bitsPerPixel)
{
    DibLayout d = {};
    d.colours = ColorTableLength(bitsPerPixel);
    d.stride = static_cast<DWORD>(DibStride(static_cast<DWORD>(width), bitsPerPixel));
    d.imageBytes = d.stride * static_cast<DWORD>(height);
    d.totalBytes = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + d.colours * sizeof(RGBQUAD)) +
                   d.imageBytes;
    return d;
}

namespace {

// Wine hands out one shared bitmap for an empty one, which the clipboard would free under our
// feet: hence a bitmap of our own.
HBITMAP NewCompatibleBitmap(HDC display, int w, int h)
{
    static const WORD black = 0;
    if (w == 0 || h == 0)
        return CreateBitmap(1, 1, 1, 1, &black);
    return CreateCompatibleBitmap(display, w, h);
}

}  // namespace

HBITMAP CopyRegion(HDC display, HDC src, const RECT& area, DWORD rop)
{
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    ScopedGdiObject<HBITMAP> bmp(NewCompatibleBitmap(display, w, h));
    if (!bmp.get())
        return nullptr;
    ScopedCreatedDC mem(CreateCompatibleDC(display));
    ScopedSelectObject select(mem.get(), bmp.get());
    SetMapMode(mem.get(), GetMapMode(display));
    BitBlt(mem.get(), 0, 0, w, h, src, area.left, area.top, rop);
    return bmp.release();
}
