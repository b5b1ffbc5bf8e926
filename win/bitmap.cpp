#include "win/bitmap.h"

#include "win/scoped_win.h"

#include <algorithm>
#include <cstring>

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

WORD SectionBits(WORD displayBits, CopyFor use)
{
    if (displayBits != 32)
        return 0;
    return use == CopyFor::Keeping ? 24 : 32;
}

namespace {

// A DIB section's memory comes whole from the system and goes back whole when it is deleted; a
// display bitmap's comes, under Wine, from a heap that keeps large blocks once freed. Wine hands
// out one shared bitmap for an empty one, which the clipboard would free under our feet: hence
// a bitmap of our own.
HBITMAP NewBitmap(HDC display, int w, int h, CopyFor use)
{
    static const WORD black = 0;
    if (w == 0 || h == 0)
        return CreateBitmap(1, 1, 1, 1, &black);
    const WORD bits = SectionBits(
        static_cast<WORD>(GetDeviceCaps(display, BITSPIXEL) * GetDeviceCaps(display, PLANES)), use);
    if (bits == 0)
        return CreateCompatibleBitmap(display, w, h);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as a packed DIB, so that one is a plain copy
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    return CreateDIBSection(display, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
}

// Bytes of one band of a kept copy. Wine converts between depths through a scratch block as
// large as the copy, which its C library then keeps for good; in bands it keeps one band at most.
constexpr int kBandBytes = 256 * 1024;

}  // namespace

HBITMAP CopyRegion(HDC display, HDC src, const RECT& area, DWORD rop, CopyFor use)
{
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    ScopedGdiObject<HBITMAP> bmp(NewBitmap(display, w, h, use));
    if (!bmp.get())
        return nullptr;
    ScopedCreatedDC mem(CreateCompatibleDC(display));
    ScopedSelectObject select(mem.get(), bmp.get());
    SetMapMode(mem.get(), GetMapMode(display));
    const int band = use == CopyFor::Keeping ? std::max(1, kBandBytes / std::max(1, 3 * w)) : h;
    for (int y = 0; y < h; y += band)
        BitBlt(mem.get(), 0, y, w, std::min(band, h - y), src, area.left, area.top + y, rop);
    return bmp.release();
}

WORD DibBitsFor(WORD bitmapBits) { return bitmapBits <= 8 ? bitmapBits : 24; }

HGLOBAL PackedDib(HDC dc, HBITMAP bmp, DWORD headroom)
{
    BITMAP bm = {};
    if (!GetObjectA(bmp, sizeof bm, &bm))
        return nullptr;
    const WORD bits = DibBitsFor(bm.bmBitsPixel);
    const DibLayout layout = DibLayoutFor(bm.bmWidth, bm.bmHeight, bits);
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, headroom + layout.totalBytes));
    ScopedGlobalLock lock(mem.get());
    if (!lock.get())
        return nullptr;
    BYTE* dib = static_cast<BYTE*>(lock.get()) + headroom;
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(dib);
    info->bmiHeader = {};
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = bm.bmWidth;
    info->bmiHeader.biHeight = bm.bmHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bits;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = layout.imageBytes;
    info->bmiHeader.biClrUsed = layout.colours;
    BYTE* pixels = dib + layout.totalBytes - layout.imageBytes;
    if (GetDIBits(dc, bmp, 0, static_cast<UINT>(bm.bmHeight), pixels, info, DIB_RGB_COLORS) !=
        bm.bmHeight)
        return nullptr;
    // GetDIBits zeroes the count but the table it filled is there.
    info->bmiHeader.biClrUsed = layout.colours;
    return mem.release();
}

HGLOBAL BmpFileInMemory(HDC dc, HBITMAP bmp)
{
    constexpr DWORD kFileHeader = sizeof(BITMAPFILEHEADER);
    ScopedGlobalMem<void> mem(PackedDib(dc, bmp, kFileHeader));
    ScopedGlobalLock lock(mem.get());
    if (!lock.get())
        return nullptr;
    const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(
        static_cast<const BYTE*>(lock.get()) + kFileHeader);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfSize = static_cast<DWORD>(GlobalSize(mem.get()));
    header.bfOffBits = kFileHeader + info->biSize + info->biClrUsed * DWORD{sizeof(RGBQUAD)};
    memcpy(lock.get(), &header, kFileHeader);
    return mem.release();
}
