// The image the library holds between a load and a save.
#pragma once
#include "win/bitmap.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// An image as 24-bit BGR rows, top-down, each padded to 4 bytes.
struct Image {
    UINT width = 0;
    UINT height = 0;
    UINT stride = 0;
    std::unique_ptr<BYTE[]> pixels;
};

// Largest image the library takes, as bytes of 24-bit rows: keeps every size in 32 bits and
// the memory of a 32-bit process in reach.
constexpr unsigned long long kMaxImageBytes = 256ull << 20;

// Row stride and total size of a 24-bit image; false when they would not fit in 32 bits or
// exceed what the library takes.
inline bool ImageSizes(UINT width, UINT height, UINT& stride, UINT& size)
{
    const uint64_t rowBytes = DibStride(width, 24);
    const uint64_t total = rowBytes * height;
    if (width == 0 || height == 0 || total > kMaxImageBytes)
        return false;
    stride = static_cast<UINT>(rowBytes);
    size = static_cast<UINT>(total);
    return true;
}
