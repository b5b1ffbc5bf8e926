// Writing a captured bitmap as a BMP file, and the header arithmetic behind it.
#pragma once
#include <windows.h>

// Writes hBMP (not selected into any DC) as a BMP file, replacing pszFile; silent on failure.
void CreateBMPFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);

// Planes x bits per pixel rounded to a standard DIB depth (1, 4, 8, 16, 24 or 32).
WORD RoundDepth(WORD product);

// The information header as filled before the conversion. False when the image is too large
// for the sizes to be represented.
bool FillInfoHeader(const BITMAP& bmp, WORD cClrBits, BITMAPINFOHEADER& bih);

// Bytes of the padded DIB rows of a width x height image at the given depth (0 on overflow).
DWORD PaddedRowsSize(LONG width, LONG height, WORD bits);

// Size of the pixel buffer: the header's biSizeImage, or the padded rows when those are
// larger (at depth 1). 0 when it cannot be represented.
DWORD PixelBufferSize(const BITMAPINFOHEADER& bih, WORD cClrBits);

// Brings the header back to what the file needs after the conversion rewrote it: a declared
// colour table for depths up to 8 (at most tableEntries, the ones reserved), and a
// biSizeImage that covers the padded rows and stays inside the buffer. False when the
// converted header cannot be written consistently.
bool SettleConvertedHeader(BITMAPINFOHEADER& bih, DWORD tableEntries, DWORD bufferSize);

// The file header for an information header in its final state.
BITMAPFILEHEADER MakeFileHeader(const BITMAPINFOHEADER& bih);

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
