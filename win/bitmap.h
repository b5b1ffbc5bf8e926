// Device-independent bitmap arithmetic and the screen-to-bitmap copy that the capture and the
// BMP writer share.
#pragma once
#include <windows.h>

#include <cstdint>

// Bytes of one DIB row of width pixels at bits per pixel, padded to a multiple of 4.
uint64_t DibStride(uint64_t width, WORD bits);

// Entries of the colour table a DIB of that depth carries: 2^bits up to 8 bits, none above.
DWORD ColorTableLength(WORD bits);

// Sizes of a packed DIB (header, colour table, bottom-up rows padded to 4 bytes).
struct DibLayout {
    DWORD colours;     // entries in the colour table
    DWORD stride;      // bytes per row
    DWORD imageBytes;  // all rows
    DWORD totalBytes;  // header, table and rows
};
DibLayout DibLayoutFor(LONG width, LONG height, WORD bitsPerPixel);

// What a copy of the display is for: shown again (in the display's own format, so that painting
// it is a plain copy), or kept (in the smallest form that gives the same pixels back).
enum class CopyFor { Showing, Keeping };

// The depth of the DIB section a copy from a display of displayBits is made in: on a 32-bit
// display (plain 8-bit blue, green, red and an unused byte) 32 to show and 24 to keep; 0 on
// others, where the copy is a display bitmap (16 bits have masks of their own, 8 and fewer a
// palette), already as small as its pixels.
WORD SectionBits(WORD displayBits, CopyFor use);

// A new bitmap holding the w x h area of src at (x, y), copied with rop, made for `use`. An
// empty area gets the documented 1 x 1 monochrome bitmap, a fresh one each time.
HBITMAP CopyRegion(HDC display, HDC src, const RECT& area, DWORD rop,
                   CopyFor use = CopyFor::Showing);

// The depth a DIB made of a bitmap of the given depth gets: low depths keep their colour
// table, and the rest become 24, which loses no colour bit and which every reader keeps (a
// 32-bit DIB's unused alpha bytes are zero, and some readers take that as transparent).
WORD DibBitsFor(WORD bitmapBits);

// bmp as a packed DIB at DibBitsFor its depth, in movable memory after headroom bytes left
// for the caller; null when it cannot be made.
HGLOBAL PackedDib(HDC dc, HBITMAP bmp, DWORD headroom = 0);

// bmp as the bytes of a BMP file, in movable memory; null when it cannot be made.
HGLOBAL BmpFileInMemory(HDC dc, HBITMAP bmp);
