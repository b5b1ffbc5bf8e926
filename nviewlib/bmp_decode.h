// Turning the rows of a BMP file into 24-bit BGR rows.
#pragma once
#include "bmp_layout.h"
#include "image.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The rows of a BMP file whose layout ParseBmp has checked, read where they are.
class BmpRows {
public:
    // True when ParseBmp accepts data[0..size); those bytes are read again by Convert, so
    // they must stay as they are for as long as this is used.
    bool Open(const BYTE* data, size_t size);

    // True when ParseBmpHead accepts the first size bytes of a file of fileSize bytes; only
    // ConvertStored may be used then, with rows the caller read from the file.
    bool OpenHead(const BYTE* data, size_t size, uint64_t fileSize);

    UINT width() const { return static_cast<UINT>(layout_.width); }
    UINT height() const { return static_cast<UINT>(layout_.height); }

    // Rows first .. first + count - 1, counted from the top, as 24-bit BGR rows stride bytes
    // apart (at least 3 * width, padded with zeros).
    void Convert(UINT first, UINT count, BYTE* dst, UINT stride) const;

    // Where the rows first .. first + count - 1 lie in the file, in one piece: from offset,
    // bytes long.
    void StoredSpan(UINT first, UINT count, uint64_t& offset, size_t& bytes) const;
    // Convert for rows given as that piece of the file holds them.
    void ConvertStored(UINT count, const BYTE* stored, BYTE* dst, UINT stride) const;

private:
    // One colour channel of a 16- or 32-bit pixel, as 8 bits.
    class Channel {
    public:
        void Set(DWORD mask);
        BYTE operator()(DWORD pixel) const
        {
            const DWORD v = (pixel >> shift_) & mask_;
            return width_ > 8 ? static_cast<BYTE>(v >> (width_ - 8)) : widened_[v];
        }

    private:
        DWORD shift_ = 0;
        DWORD width_ = 0;
        DWORD mask_ = 0;
        BYTE widened_[256] = {};
    };

    void ConvertRow(const BYTE* src, BYTE* dst) const;

    const BYTE* data_ = nullptr;
    BmpLayout layout_ = {};
    BYTE table_[256][3] = {};  // BGR; indices past the file's table stay black
    Channel red_, green_, blue_;
    bool bgrx_ = false;        // 32 bits whose channels are whole bytes in BGR order
};

// Decodes the BMP file held in data[0..size) into image, after checking (ParseBmp) that
// everything it describes lies inside those bytes: the pixels come straight from the rows
// just checked. Fails, leaving image alone, on anything ParseBmp rejects or when memory runs
// out.
HRESULT DecodeBmp(const BYTE* data, size_t size, Image& image);
