// The image the library holds between a load and a save.
#pragma once
#include "win/bitmap.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>

// An image as 24-bit BGR rows, top-down, each padded to 4 bytes.
struct Image {
    UINT width = 0;
    UINT height = 0;
    UINT stride = 0;
    std::unique_ptr<BYTE[]> pixels;
};

// Largest image the library takes, as bytes of 24-bit rows (what a capture is handed over as).
// The 64-bit program takes a capture of the largest virtual screen Windows lays out, 32768
// pixels each way: 3 GB, every size still in 32 bits as a BMP file has them. The 32-bit one
// stops at 256 MB, which keeps its memory in reach.
#ifdef _WIN64
constexpr unsigned long long kMaxImageBytes = 32768ull * 32768 * 3;
#else
constexpr unsigned long long kMaxImageBytes = 256ull << 20;
#endif

// fn's result, or the failure of any exception it throws: none may leave the library, whose
// callers are C and would end.
template <class Fn>
HRESULT CatchAll(Fn fn) noexcept
{
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

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
