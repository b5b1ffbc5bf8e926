// Checks that a BMP file's bytes describe an image that lies wholly inside them, and says
// where each part of it is.
#pragma once
#include "image.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct BmpLayout {
    LONG width;
    LONG height;         // rows, always positive
    bool topDown;        // the first row stored is the top one (a negative height in the file)
    WORD bits;           // 1, 4, 8, 16, 24 or 32
    DWORD pixelOffset;   // where the rows start
    DWORD stride;        // bytes of one stored row, padded to 4
    DWORD pixelBytes;    // padded rows, all inside the file
    DWORD masks[3];      // red, green and blue bits of a 16- or 32-bit pixel
    DWORD tableOffset;   // where the colour table starts, for depths up to 8
    DWORD tableEntries;  // colours in it, up to 1 << bits; other indices are black
};

// True when data[0..size) is an uncompressed (or bit-field) BMP whose headers, colour table
// and pixel rows all fit inside it; fills layout then. Reads nothing outside the bytes given.
bool ParseBmp(const BYTE* data, size_t size, BmpLayout& layout);

// The same for a file of fileSize bytes of which only the first size are given in data: the
// headers and the colour table must lie inside those, the rows inside the file.
bool ParseBmpHead(const BYTE* data, size_t size, uint64_t fileSize, BmpLayout& layout);
