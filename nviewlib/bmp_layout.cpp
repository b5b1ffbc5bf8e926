#include "bmp_layout.h"

#include "win/bitmap.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr DWORD kInfoHeaderSize = 40;

DWORD ReadU32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

WORD ReadU16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }

LONG ReadS32(const BYTE* p)
{
    const DWORD u = ReadU32(p);
    LONG s;
    memcpy(&s, &u, sizeof s);
    return s;
}

// The information header sizes of the versions that share the 40-byte layout.
bool KnownInfoSize(DWORD size)
{
    return size == kInfoHeaderSize || size == 52 || size == 56 || size == 108 || size == 124;
}

bool KnownDepth(WORD bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool ParseBmp(const BYTE* data, size_t size, BmpLayout& layout)
{
    return ParseBmpHead(data, size, size, layout);
}

bool ParseBmpHead(const BYTE* data, size_t size, uint64_t fileSize, BmpLayout& layout)
{
    if (!data || size < kFileHeaderSize + 4 || size > fileSize || data[0] != 'B' || data[1] != 'M')
        return false;
    const DWORD offBits = ReadU32(data + 10);
    const DWORD infoSize = ReadU32(data + 14);
    if (!KnownInfoSize(infoSize) || kFileHeaderSize + infoSize > size)
        return false;
    const BYTE* bih = data + kFileHeaderSize;
    const LONG width = ReadS32(bih + 4);
    const LONG rawHeight = ReadS32(bih + 8);
    const WORD planes = ReadU16(bih + 12);
    const WORD bits = ReadU16(bih + 14);
    const DWORD compression = ReadU32(bih + 16);
    const DWORD clrUsed = ReadU32(bih + 32);

    if (width <= 0 || rawHeight == 0 || rawHeight < -0x7FFFFFFF || planes != 1 || !KnownDepth(bits))
        return false;
    const uint64_t height = rawHeight < 0 ? -static_cast<int64_t>(rawHeight) : rawHeight;
    const uint64_t decodedStride = DibStride(static_cast<uint64_t>(width), 24);
    if (decodedStride * height > kMaxImageBytes)
        return false;

    uint64_t maskBytes = 0;
    DWORD masks[3] = {0, 0, 0};
    if (compression == BI_BITFIELDS) {
        if (bits != 16 && bits != 32)
            return false;
        // After a 40-byte header the three masks follow it; the later headers hold them.
        if (infoSize == kInfoHeaderSize)
            maskBytes = 12;
    } else if (compression != BI_RGB) {
        return false;
    } else if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bits == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }

    const uint64_t fullTable = bits <= 8 ? ColorTableLength(bits) : 256;
    if (clrUsed > fullTable)
        return false;
    const uint64_t entries = bits <= 8 && clrUsed == 0 ? fullTable : clrUsed;
    const uint64_t tableOffset = kFileHeaderSize + infoSize + maskBytes;
    const uint64_t headersEnd = tableOffset + 4 * entries;
    if (headersEnd > offBits || headersEnd > size)
        return false;
    const uint64_t stride = DibStride(static_cast<uint64_t>(width), bits);
    const uint64_t pixelBytes = stride * height;
    if (offBits + pixelBytes > fileSize)
        return false;
    // Only now known to lie inside the bytes given: the masks end before the table, which
    // ends before the rows.
    if (compression == BI_BITFIELDS)
        for (int i = 0; i < 3; ++i)
            masks[i] = ReadU32(bih + kInfoHeaderSize + 4 * i);

    layout.width = width;
    layout.height = static_cast<LONG>(height);
    layout.topDown = rawHeight < 0;
    layout.bits = bits;
    layout.pixelOffset = offBits;
    layout.stride = static_cast<DWORD>(stride);
    layout.pixelBytes = static_cast<DWORD>(pixelBytes);
    for (int i = 0; i < 3; ++i)
        layout.masks[i] = masks[i];
    layout.tableOffset = static_cast<DWORD>(tableOffset);
    layout.tableEntries = bits <= 8 ? static_cast<DWORD>(entries) : 0;
    return true;
}
