#include "bmp_decode.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

DWORD ReadPixel(const BYTE* p, WORD bits)
{
    DWORD v = static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8;
    if (bits == 32)
        v |= static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
    return v;
}

// Rows of 32 bits whose channels are whole bytes in BGR order, the fourth byte dropped: what
// a screen capture is. Four pixels (16 bytes) become three words (12 bytes) at a time.
void BgrxRow(const BYTE* src, BYTE* dst, UINT width)
{
    UINT x = 0;
    for (; x + 4 <= width; x += 4) {
        uint32_t p[4];
        memcpy(p, src + 4 * x, sizeof p);
        const uint32_t out[3] = {(p[0] & 0xFFFFFF) | p[1] << 24,
                                 (p[1] >> 8 & 0xFFFF) | p[2] << 16,
                                 (p[2] >> 16 & 0xFF) | p[3] << 8};
        memcpy(dst + 3 * x, out, sizeof out);
    }
    for (; x < width; ++x) {
        dst[3 * x] = src[4 * x];
        dst[3 * x + 1] = src[4 * x + 1];
        dst[3 * x + 2] = src[4 * x + 2];
    }
}

}  // namespace

// The bits under mask, widened or narrowed to 8. Fewer than 8 are repeated to fill the byte
// (5 bits v become v << 3 | v >> 2), as the Windows Imaging Component widens 5-5-5 and
// 5-6-5; more than 8 keep their top 8; no bits at all read as 0.
void BmpRows::Channel::Set(DWORD mask)
{
    *this = Channel();
    if (mask == 0)
        return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift_;
    }
    mask_ = mask;
    for (; mask; mask >>= 1)
        ++width_;
    if (width_ > 8)
        return;
    for (DWORD v = 0; v <= mask_; ++v) {
        DWORD filled = 0;
        DWORD out = 0;
        for (; filled < 8; filled += width_)
            out = out << width_ | v;
        widened_[v] = static_cast<BYTE>(out >> (filled - 8));
    }
}

bool BmpRows::Open(const BYTE* data, size_t size)
{
    if (!OpenHead(data, size, size))
        return false;
    data_ = data;
    return true;
}

bool BmpRows::OpenHead(const BYTE* data, size_t size, uint64_t fileSize)
{
    *this = BmpRows();
    if (!ParseBmpHead(data, size, fileSize, layout_))
        return false;
    for (DWORD i = 0; i < layout_.tableEntries; ++i)
        memcpy(table_[i], data + layout_.tableOffset + 4 * i, 3);
    red_.Set(layout_.masks[0]);
    green_.Set(layout_.masks[1]);
    blue_.Set(layout_.masks[2]);
    bgrx_ = layout_.bits == 32 && layout_.masks[0] == 0xFF0000 &&
            layout_.masks[1] == 0x00FF00 && layout_.masks[2] == 0x0000FF;
    return true;
}

void BmpRows::ConvertRow(const BYTE* src, BYTE* dst) const
{
    const UINT w = width();
    const WORD bits = layout_.bits;
    if (bits == 24) {
        memcpy(dst, src, static_cast<size_t>(w) * 3);
    } else if (bgrx_) {
        BgrxRow(src, dst, w);
    } else if (bits <= 8) {
        // Indices into the colour table, high bits first.
        const unsigned perByte = 8u / bits;
        const unsigned mask = (1u << bits) - 1;
        for (UINT x = 0; x < w; ++x) {
            const unsigned shift = 8 - bits * (x % perByte + 1);
            memcpy(dst + 3 * x, table_[(src[x / perByte] >> shift) & mask], 3);
        }
    } else {
        const unsigned bytes = bits / 8u;
        for (UINT x = 0; x < w; ++x) {
            const DWORD v = ReadPixel(src + bytes * x, bits);
            dst[3 * x] = blue_(v);
            dst[3 * x + 1] = green_(v);
            dst[3 * x + 2] = red_(v);
        }
    }
}

void BmpRows::StoredSpan(UINT first, UINT count, uint64_t& offset, size_t& bytes) const
{
    const UINT lowest = layout_.topDown ? first : height() - first - count;
    offset = layout_.pixelOffset + static_cast<uint64_t>(layout_.stride) * lowest;
    bytes = static_cast<size_t>(layout_.stride) * count;
}

void BmpRows::Convert(UINT first, UINT count, BYTE* dst, UINT stride) const
{
    uint64_t offset = 0;
    size_t bytes = 0;
    StoredSpan(first, count, offset, bytes);
    ConvertStored(count, data_ + offset, dst, stride);
}

void BmpRows::ConvertStored(UINT count, const BYTE* stored, BYTE* dst, UINT stride) const
{
    for (UINT i = 0; i < count; ++i, dst += stride) {
        // Bottom-up files hold the band's last row first.
        const UINT at = layout_.topDown ? i : count - 1 - i;
        ConvertRow(stored + static_cast<size_t>(layout_.stride) * at, dst);
        // The padding is part of the image's bytes: zeros, not stray memory.
        memset(dst + 3 * width(), 0, stride - 3 * width());
    }
}

HRESULT DecodeBmp(const BYTE* data, size_t size, Image& image)
{
    BmpRows rows;
    if (!rows.Open(data, size))
        return E_INVALIDARG;
    Image decoded;
    decoded.width = rows.width();
    decoded.height = rows.height();
    UINT bytes = 0;
    if (!ImageSizes(decoded.width, decoded.height, decoded.stride, bytes))
        return E_INVALIDARG;
    decoded.pixels.reset(new (std::nothrow) BYTE[bytes]);
    if (!decoded.pixels)
        return E_OUTOFMEMORY;
    rows.Convert(0, decoded.height, decoded.pixels.get(), decoded.stride);
    image = std::move(decoded);
    return S_OK;
}
