// Checks that a BMP file's bytes describe an image that lies wholly inside them.
#pragma once
#include <windows.h>

#include <cstddef>

struct BmpLayout {
    LONG width;
    LONG height;         // rows, always positive
    WORD bits;           // 1, 4, 8, 16, 24 or 32
    DWORD pixelOffset;   // where the rows start
    DWORD pixelBytes;    // padded rows, all inside the file
};

// Largest image the library takes, as bytes of 24-bit rows: keeps every size in 32 bits and
// the memory of a 32-bit process in reach.
constexpr unsigned long long kMaxImageBytes = 256ull << 20;

// True when data[0..size) is an uncompressed (or bit-field) BMP whose headers, colour table
// and pixel rows all fit inside it; fills layout then. Reads nothing outside the bytes given.
bool ParseBmp(const BYTE* data, size_t size, BmpLayout& layout);
