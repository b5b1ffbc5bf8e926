#include "output/bmp_writer.h"

#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <cstdint>

namespace {

constexpr DWORD kInfoSize = sizeof(BITMAPINFOHEADER);
constexpr DWORD kFileHeaderSize = sizeof(BITMAPFILEHEADER);
// Keeps bfSize and every sum of sizes below representable in 32 bits.
constexpr uint64_t kMaxPixelBytes = 0x7FFF0000u;

DWORD Checked(uint64_t size) { return size > kMaxPixelBytes ? 0 : static_cast<DWORD>(size); }

// Largest piece of pixel data handed to one write.
constexpr DWORD kPieceSize = 256;

// Hands cb bytes from hp to write(ptr, count) in pieces of at most kPieceSize bytes, the last
// one being whatever is left (none when cb is 0). Stops at the first failed write.
template <class Write>
bool WriteInPieces(const BYTE* hp, DWORD cb, Write write)
{
    while (cb > kPieceSize) {
        if (!write(hp, kPieceSize))
            return false;
        hp += kPieceSize;
        cb -= kPieceSize;
    }
    return write(hp, cb);
}

// Planes x bits per pixel rounded to a standard DIB depth (1, 4, 8, 16, 24 or 32).
WORD RoundDepth(WORD product)
{
    if (product == 1)
        return 1;
    if (product <= 4)
        return 4;
    if (product <= 8)
        return 8;
    if (product <= 16)
        return 16;
    if (product <= 24)
        return 24;
    return 32;
}

// The information header as filled before the conversion. False when the image is too large
// for the sizes to be represented.
bool FillInfoHeader(const BITMAP& bmp, WORD cClrBits, BITMAPINFOHEADER& bih)
{
    if (bmp.bmWidth <= 0 || bmp.bmHeight <= 0)
        return false;
    const uint64_t product =
        (static_cast<uint64_t>(bmp.bmWidth) + 7) / 8 * static_cast<uint64_t>(bmp.bmHeight) * cClrBits;
    if (product > kMaxPixelBytes)
        return false;
    bih.biSize = kInfoSize;
    bih.biWidth = bmp.bmWidth;
    bih.biHeight = bmp.bmHeight;
    bih.biPlanes = bmp.bmPlanes;
    bih.biBitCount = bmp.bmBitsPixel;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = static_cast<DWORD>(product);
    bih.biXPelsPerMeter = 0;
    bih.biYPelsPerMeter = 0;
    bih.biClrUsed = cClrBits < 24 ? ColorTableLength(cClrBits) : 0;
    bih.biClrImportant = 0;
    return true;
}

// Bytes of the padded DIB rows of a width x height image at the given depth (0 on overflow).
DWORD PaddedRowsSize(LONG width, LONG height, WORD bits)
{
    if (width <= 0 || height <= 0)
        return 0;
    return Checked(DibStride(static_cast<uint64_t>(width), bits) * static_cast<uint64_t>(height));
}

// Size of the pixel buffer: the header's biSizeImage, or the padded rows when those are
// larger (at depth 1). 0 when it cannot be represented.
DWORD PixelBufferSize(const BITMAPINFOHEADER& bih, WORD cClrBits)
{
    const DWORD rows = PaddedRowsSize(bih.biWidth, bih.biHeight, cClrBits);
    if (rows == 0)
        return 0;
    return rows > bih.biSizeImage ? rows : bih.biSizeImage;
}

// Brings the header back to what the file needs after the conversion rewrote it: a declared
// colour table for depths up to 8 (at most tableEntries, the ones reserved), and a
// biSizeImage that covers the padded rows and stays inside the buffer. False when the
// converted header cannot be written consistently.
bool SettleConvertedHeader(BITMAPINFOHEADER& bih, DWORD tableEntries, DWORD bufferSize)
{
    if (bih.biSize != kInfoSize || bih.biCompression != BI_RGB)
        return false;
    if (bih.biBitCount <= 8 && bih.biClrUsed == 0)
        bih.biClrUsed = tableEntries;
    if (bih.biClrUsed > tableEntries)
        bih.biClrUsed = tableEntries;
    const LONG height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    const DWORD rows = PaddedRowsSize(bih.biWidth, height, bih.biBitCount);
    if (rows == 0 || rows > bufferSize)
        return false;
    if (bih.biSizeImage < rows)
        bih.biSizeImage = rows;
    return bih.biSizeImage <= bufferSize;
}

// The file header for an information header in its final state.
BITMAPFILEHEADER MakeFileHeader(const BITMAPINFOHEADER& bih)
{
    BITMAPFILEHEADER hdr = {};
    hdr.bfType = 0x4D42;  // "BM"
    hdr.bfOffBits = kFileHeaderSize + bih.biSize + 4 * bih.biClrUsed;
    hdr.bfSize = hdr.bfOffBits + bih.biSizeImage;
    hdr.bfReserved1 = 0;
    hdr.bfReserved2 = 0;
    return hdr;
}

}  // namespace

bool CreateBMPFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP)
{
    BITMAP bmp = {};
    if (!GetObjectA(hBMP, sizeof bmp, &bmp))
        return false;
    const WORD cClrBits = RoundDepth(static_cast<WORD>(bmp.bmPlanes * bmp.bmBitsPixel));
    const DWORD tableEntries = ColorTableLength(cClrBits);

    ScopedLocalMem<BITMAPINFO> pbi(
        static_cast<BITMAPINFO*>(LocalAlloc(LPTR, kInfoSize + 4 * tableEntries)));
    if (!pbi)
        return false;
    BITMAPINFOHEADER* pbih = &pbi->bmiHeader;
    if (!FillInfoHeader(bmp, cClrBits, *pbih))
        return false;

    // Zero-filled, so bytes the conversion leaves alone never carry stray memory to the file.
    const DWORD bufferSize = PixelBufferSize(*pbih, cClrBits);
    if (bufferSize == 0)
        return false;
    ScopedGlobalMem<BYTE> lpBits(static_cast<BYTE*>(GlobalAlloc(GPTR, bufferSize)));
    if (!lpBits)
        return false;

    {
        ScopedGetDC dc(hwnd);
        if (!dc.get() || !GetDIBits(dc.get(), hBMP, 0, static_cast<WORD>(pbih->biHeight),
                                    lpBits.get(), pbi.get(), DIB_RGB_COLORS))
            return false;
    }
    if (!SettleConvertedHeader(*pbih, tableEntries, bufferSize))
        return false;

    bool written = false;
    {
        ScopedHandle hf(CreateFileA(pszFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hf.valid())
            return false;
        const auto write = [&hf](const void* data, DWORD size) {
            DWORD dwTmp = 0;
            return WriteFile(hf.get(), data, size, &dwTmp, nullptr) && dwTmp == size;
        };
        const BITMAPFILEHEADER hdr = MakeFileHeader(*pbih);
        written = write(&hdr, kFileHeaderSize) &&
                  write(pbi.get(), pbih->biSize + 4 * pbih->biClrUsed) &&
                  WriteInPieces(lpBits.get(), pbih->biSizeImage, write);
    }
    // A file cut short (a full disk) promises more than it holds: better no file at all.
    if (!written)
        DeleteFileA(pszFile);
    return written;
}
