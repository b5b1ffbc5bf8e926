#include "png_writer.h"

#include "image.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr BYTE kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIdatBytes = 64 * 1024;  // compressed bytes per IDAT chunk
constexpr DWORD kMaxPalette = 256;
// zlib's default level, its matching made a little less patient (lazy matches stop at 8 bytes
// instead of 16): a fifth faster on text screens for files 0.5 % larger. The lower levels made
// them a quarter larger.
constexpr int kLevel = 6;
constexpr int kGoodLength = 4;
constexpr int kMaxLazy = 8;
constexpr int kNiceLength = 128;
constexpr int kMaxChain = 128;

// PNG's row filters that the writer uses.
constexpr BYTE kFilterNone = 0;
constexpr BYTE kFilterUp = 2;

void PutU32(BYTE* p, uint32_t v)
{
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

// The colours of an image of few colours, each with its index: an open-addressed table that
// gives up past kMaxPalette.
class Palette {
public:
    // The index of bgr, added if new; -1 once the image has more colours than a palette holds.
    // Screens are mostly runs of one colour: the last answer is kept.
    int IndexOf(uint32_t bgr)
    {
        if (bgr != lastColour_ || lastIndex_ < 0) {
            lastColour_ = bgr;
            lastIndex_ = Find(bgr);
        }
        return lastIndex_;
    }
    DWORD count() const { return count_; }
    uint32_t colour(DWORD i) const { return colours_[i]; }

private:
    int Find(uint32_t bgr)
    {
        size_t slot = (bgr * 2654435761u) >> 23;  // 9 bits: twice the largest palette
        for (;; slot = (slot + 1) % kSlots) {
            if (index_[slot] == 0) {
                if (count_ == kMaxPalette)
                    return -1;
                colours_[count_] = bgr;
                key_[slot] = bgr;
                index_[slot] = static_cast<uint16_t>(++count_);
                return static_cast<int>(count_ - 1);
            }
            if (key_[slot] == bgr)
                return index_[slot] - 1;
        }
    }

    static constexpr size_t kSlots = 512;
    uint32_t key_[kSlots] = {};
    uint16_t index_[kSlots] = {};  // index + 1; 0 = empty
    uint32_t colours_[kMaxPalette] = {};
    DWORD count_ = 0;
    uint32_t lastColour_ = 0;
    int lastIndex_ = -1;
};

uint32_t PixelAt(const BYTE* p) { return p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16; }

// Calls fn(row) for each row of the image, top first, until fn answers anything but S_OK
// (S_FALSE: enough rows seen).
template <class Fn>
HRESULT ForEachRow(UINT width, UINT height, const ReadBand& readBand, Fn fn)
{
    return ForEachBand(width, height, readBand, [&](BYTE* band, UINT count, UINT stride) {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count && hr == S_OK; ++i)
            hr = fn(band + static_cast<size_t>(i) * stride);
        return hr;
    });
}

// The deflate stream of the filtered rows, handed out as IDAT chunks.
class IdatWriter {
public:
    explicit IdatWriter(const PngSink& sink) : sink_(sink) {}
    ~IdatWriter()
    {
        if (open_)
            deflateEnd(&z_);
    }
    IdatWriter(const IdatWriter&) = delete;
    IdatWriter& operator=(const IdatWriter&) = delete;

    HRESULT Open()
    {
        if (deflateInit2(&z_, kLevel, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            return E_OUTOFMEMORY;
        open_ = true;
        return deflateTune(&z_, kGoodLength, kMaxLazy, kNiceLength, kMaxChain) == Z_OK ? S_OK
                                                                                        : E_FAIL;
    }
    HRESULT Write(const BYTE* data, size_t size) { return Deflate(data, size, Z_NO_FLUSH); }
    HRESULT Finish() { return Deflate(nullptr, 0, Z_FINISH); }

private:
    HRESULT Deflate(const BYTE* data, size_t size, int flush)
    {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);
        for (;;) {
            z_.next_out = out_ + filled_;
            z_.avail_out = static_cast<uInt>(sizeof out_ - filled_);
            const int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR)
                return E_FAIL;
            filled_ = sizeof out_ - z_.avail_out;
            const bool full = filled_ == sizeof out_;
            if (full && !Emit())
                return E_FAIL;
            if (flush == Z_FINISH && rc == Z_STREAM_END)
                return filled_ == 0 || Emit() ? S_OK : E_FAIL;
            if (flush != Z_FINISH && z_.avail_in == 0 && !full)
                return S_OK;
        }
    }
    bool Emit()
    {
        std::string chunk;
        AppendPngChunk(chunk, "IDAT", out_, filled_);
        filled_ = 0;
        return sink_(reinterpret_cast<const BYTE*>(chunk.data()), chunk.size());
    }

    const PngSink& sink_;
    z_stream z_ = {};
    bool open_ = false;
    BYTE out_[kIdatBytes] = {};
    size_t filled_ = 0;
};

bool WriteHead(const PngSink& sink, UINT width, UINT height, const Palette* palette, BYTE bits)
{
    std::string head(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
    BYTE ihdr[13] = {};
    PutU32(ihdr, width);
    PutU32(ihdr + 4, height);
    ihdr[8] = bits;
    ihdr[9] = palette ? 3 : 2;  // indexed colour, or RGB
    AppendPngChunk(head, "IHDR", ihdr, sizeof ihdr);
    if (palette) {
        BYTE plte[3 * kMaxPalette];
        for (DWORD i = 0; i < palette->count(); ++i) {
            const uint32_t c = palette->colour(i);
            plte[3 * i] = static_cast<BYTE>(c >> 16);
            plte[3 * i + 1] = static_cast<BYTE>(c >> 8);
            plte[3 * i + 2] = static_cast<BYTE>(c);
        }
        AppendPngChunk(head, "PLTE", plte, 3 * palette->count());
    }
    return sink(reinterpret_cast<const BYTE*>(head.data()), head.size());
}

BYTE IndexBits(DWORD colours)
{
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

}  // namespace

void AppendPngChunk(std::string& out, const char (&type)[5], const BYTE* data, size_t size)
{
    BYTE length[4];
    PutU32(length, static_cast<uint32_t>(size));
    out.append(reinterpret_cast<const char*>(length), 4);
    const size_t start = out.size();
    out.append(type, 4);
    if (size)
        out.append(reinterpret_cast<const char*>(data), size);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start),
                            static_cast<uInt>(out.size() - start));
    BYTE crcBytes[4];
    PutU32(crcBytes, static_cast<uint32_t>(crc));
    out.append(reinterpret_cast<const char*>(crcBytes), 4);
}

namespace {

HRESULT EncodeRows(UINT width, UINT height, const ReadBand& readBand, const PngSink& sink)
{
    std::unique_ptr<Palette> palette(new (std::nothrow) Palette);
    if (!palette)
        return E_OUTOFMEMORY;
    bool fewColours = true;
    HRESULT hr = ForEachRow(width, height, readBand, [&](const BYTE* row) {
        for (UINT x = 0; x < width && fewColours; ++x)
            fewColours = palette->IndexOf(PixelAt(row + 3 * x)) >= 0;
        return fewColours ? S_OK : S_FALSE;
    });
    if (FAILED(hr))
        return hr;
    const BYTE bits = fewColours ? IndexBits(palette->count()) : 8;
    if (!WriteHead(sink, width, height, fewColours ? palette.get() : nullptr, bits))
        return E_FAIL;

    const size_t rowBytes = fewColours ? (static_cast<size_t>(width) * bits + 7) / 8
                                       : static_cast<size_t>(width) * 3;
    // The row as PNG wants it after its filter byte, and the one above it.
    std::unique_ptr<BYTE[]> rows(new (std::nothrow) BYTE[2 * (rowBytes + 1)]());
    std::unique_ptr<IdatWriter> idat(new (std::nothrow) IdatWriter(sink));
    if (!rows || !idat)
        return E_OUTOFMEMORY;
    BYTE* out = rows.get();
    BYTE* above = out + rowBytes + 1;
    hr = idat->Open();
    if (FAILED(hr))
        return hr;
    hr = ForEachRow(width, height, readBand, [&](const BYTE* row) {
        if (fewColours) {
            // Indices packed high bits first; unfiltered, which deflates best for them.
            memset(out, 0, rowBytes + 1);
            out[0] = kFilterNone;
            for (UINT x = 0; x < width; ++x) {
                const size_t bit = static_cast<size_t>(x) * bits;
                const int index = palette->IndexOf(PixelAt(row + 3 * x));
                out[1 + bit / 8] |= static_cast<BYTE>(index << (8 - bits - bit % 8));
            }
            return idat->Write(out, rowBytes + 1);
        }
        // RGB under the Up filter: a screen repeats mostly from one row to the next, and
        // choosing a filter per row cost more time than it saved bytes on screens.
        out[0] = kFilterUp;
        for (UINT x = 0; x < width; ++x) {
            const BYTE rgb[3] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
            for (size_t c = 0; c < 3; ++c) {
                const size_t i = 3 * x + c;
                out[1 + i] = static_cast<BYTE>(rgb[c] - above[i]);
                above[i] = rgb[c];
            }
        }
        return idat->Write(out, rowBytes + 1);
    });
    if (FAILED(hr))
        return hr;
    hr = idat->Finish();
    if (FAILED(hr))
        return hr;
    std::string end;
    AppendPngChunk(end, "IEND", nullptr, 0);
    return sink(reinterpret_cast<const BYTE*>(end.data()), end.size()) ? S_OK : E_FAIL;
}

}  // namespace

HRESULT EncodePng(UINT width, UINT height, const ReadBand& readBand, const PngSink& sink)
{
    return CatchAll([&] { return EncodeRows(width, height, readBand, sink); });
}
