#include <nviewlib.h>

#include "bmp_decode.h"
#include "bmp_layout.h"
#include "png_writer.h"
#include "output/bmp_writer.h"
#include "wic_codec.h"

#include "output_test_util.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using outtest::KnownBitmap;
using outtest::Rgb;

namespace {

// A smooth picture, as a photograph or a screen would be, so JPEG keeps it close.
void MakeGradient(LONG width, LONG height, KnownBitmap& out)
{
    BITMAPINFO info = TopDownInfo(width, height, 24);
    void* raw = nullptr;
    out.bmp = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(out.bmp, nullptr);
    out.width = width;
    out.height = height;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x) {
            const Rgb c = {static_cast<BYTE>(x * 255 / width), static_cast<BYTE>(y * 255 / height),
                           static_cast<BYTE>(128 + 100 * std::sin((x + y) / 20.0))};
            BYTE* p = static_cast<BYTE*>(raw) + stride * static_cast<size_t>(y) + x * 3;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            out.expected.push_back(c);
        }
    GdiFlush();
}

double Psnr(const std::vector<Rgb>& a, const std::vector<Rgb>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double dr = a[i].r - b[i].r, dg = a[i].g - b[i].g, db = a[i].b - b[i].b;
        sum += dr * dr + dg * dg + db * db;
    }
    const double mse = sum / (3.0 * static_cast<double>(a.size()));
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    ScopedHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f.valid());
    DWORD written = 0;
    WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A BMP file made by our writer, as the bytes of the file.
std::string BmpBytes(WORD bits, LONG width, LONG height)
{
    KnownBitmap src;
    outtest::MakeDibSection(bits, width, height, src);
    TempDir dir;
    const std::string path = dir.file("base.bmp");
    CreateBMPFile(nullptr, path.c_str(), src.bmp);
    return ReadWholeFile(path);
}

void Put32(std::string& blob, size_t offset, uint32_t value)
{
    if (offset + 4 <= blob.size())
        memcpy(&blob[offset], &value, 4);
}

// Bytes placed right before an inaccessible page: reading one byte too far faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::string& bytes)
    {
        const SIZE_T page = 4096;
        const SIZE_T span = (bytes.size() + page - 1) / page * page;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, span + page, MEM_COMMIT | MEM_RESERVE,
                                                PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + span, page, PAGE_NOACCESS, &old);
        data_ = base_ + span - bytes.size();
        memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    const BYTE* data() const { return data_; }

private:
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
};

// The library's own decode of a BMP file's bytes, as top-down RGB.
std::vector<Rgb> LibraryPixels(const std::string& blob, UINT& width, UINT& height)
{
    Image image;
    GuardedBytes guarded(blob);
    EXPECT_HRESULT_SUCCEEDED(DecodeBmp(guarded.data(), blob.size(), image));
    width = image.width;
    height = image.height;
    std::vector<Rgb> px;
    for (UINT y = 0; y < image.height; ++y)
        for (UINT x = 0; x < image.width; ++x) {
            const BYTE* p = image.pixels.get() + static_cast<size_t>(y) * image.stride + 3 * x;
            px.push_back({p[2], p[1], p[0]});
        }
    for (UINT y = 0; y < image.height; ++y)
        for (UINT x = 3 * image.width; x < image.stride; ++x)
            EXPECT_EQ(image.pixels[static_cast<size_t>(y) * image.stride + x], 0) << "padding";
    return px;
}

// A BMP file built field by field, for the layouts our writer never makes.
struct HandMade {
    DWORD infoSize = 40;
    LONG width = 0;
    LONG height = 0;  // negative: top-down
    WORD bits = 24;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};  // for BI_BITFIELDS
    std::vector<RGBQUAD> table;   // written as is, declared in biClrUsed
    // The stored value of the pixel at (x, y) from the top: an index, a 16- or 32-bit
    // word, or 0x00RRGGBB at 24 bits.
    std::function<uint32_t(LONG, LONG)> value;

    std::string Bytes() const
    {
        const LONG rows = height < 0 ? -height : height;
        const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
        std::string info(infoSize, '\0');
        const auto put32 = [&info](size_t at, uint32_t v) { memcpy(&info[at], &v, 4); };
        put32(0, infoSize);
        put32(4, static_cast<uint32_t>(width));
        put32(8, static_cast<uint32_t>(height));
        put32(12, 1u | static_cast<uint32_t>(bits) << 16);
        put32(16, compression);
        put32(32, static_cast<uint32_t>(table.size()));
        std::string extra;
        if (compression == BI_BITFIELDS) {
            std::string m(12, '\0');
            for (int i = 0; i < 3; ++i)
                memcpy(&m[4 * i], &masks[i], 4);
            if (infoSize == 40)
                extra = m;
            else
                info.replace(40, 12, m);
        }
        for (const RGBQUAD& q : table)
            extra.append(reinterpret_cast<const char*>(&q), 4);
        std::string pixels(stride * static_cast<size_t>(rows), '\0');
        for (LONG y = 0; y < rows; ++y) {
            char* row = &pixels[stride * static_cast<size_t>(height < 0 ? y : rows - 1 - y)];
            for (LONG x = 0; x < width; ++x) {
                const uint32_t v = value(x, y);
                if (bits <= 8)
                    row[x * bits / 8] = static_cast<char>(
                        row[x * bits / 8] | static_cast<char>(v << (8 - bits - x * bits % 8)));
                else
                    memcpy(row + x * (bits / 8), &v, bits / 8);
            }
        }
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfOffBits = static_cast<DWORD>(sizeof fh + info.size() + extra.size());
        fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
        return std::string(reinterpret_cast<const char*>(&fh), sizeof fh) + info + extra + pixels;
    }
};

Rgb FromRgb(uint32_t v)
{
    return {static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v)};
}

class NViewLibTest : public ::testing::Test {
protected:
    // Every test starts and ends with the library holding nothing (and so no file open).
    void SetUp() override { NViewLibSaveAsJPG(0, nullptr); }
    void TearDown() override { NViewLibSaveAsJPG(0, nullptr); }
    TempDir dir;
};

}  // namespace

// ---------------------------------------------------------------- load and save

TEST_F(NViewLibTest, LoadedBmpIsSavedAsAJpegCloseToIt)
{
    KnownBitmap src;
    MakeGradient(203, 150, src);
    const std::string bmp = dir.file("in.bmp");
    const std::string jpg = dir.file("out.jpg");
    CreateBMPFile(nullptr, bmp.c_str(), src.bmp);

    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    ASSERT_NE(NViewLibSaveAsJPG(90, jpg.c_str()), 0);
    const outtest::Decoded d = outtest::DecodeWithWic(jpg);
    ASSERT_HRESULT_SUCCEEDED(d.hr);
    EXPECT_TRUE(IsEqualGUID(d.container, GUID_ContainerFormatJpeg));
    ASSERT_EQ(d.width, 203u);
    ASSERT_EQ(d.height, 150u);
    EXPECT_GT(Psnr(d.pixels, src.expected), 30.0);
}

TEST_F(NViewLibTest, NothingIsSavedWithoutACurrentImage)
{
    KnownBitmap src;
    MakeGradient(16, 16, src);
    const std::string bmp = dir.file("in.bmp");
    CreateBMPFile(nullptr, bmp.c_str(), src.bmp);
    const std::string jpg = dir.file("out.jpg");

    EXPECT_EQ(NViewLibSaveAsJPG(90, jpg.c_str()), 0) << "saved with nothing loaded";
    EXPECT_FALSE(FileExists(jpg));

    // A successful save drops the image.
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    ASSERT_NE(NViewLibSaveAsJPG(90, jpg.c_str()), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("again.jpg").c_str()), 0);
    EXPECT_FALSE(FileExists(dir.file("again.jpg")));

    // So does a failed one: an export must never find an older image.
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("no such dir\\x.jpg").c_str()), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("late.jpg").c_str()), 0);
    EXPECT_FALSE(FileExists(dir.file("late.jpg")));

    // And a load that fails drops the image loaded before it.
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    EXPECT_EQ(NViewLibLoad(dir.file("missing.bmp").c_str(), 0), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("stale.jpg").c_str()), 0);
    EXPECT_FALSE(FileExists(dir.file("stale.jpg")));
}

// ---------------------------------------------------------------- the library's pixels

// The library takes the pixels from the rows it has checked: every file our writer makes
// decodes to the pixels it was made from, and to what WIC's own decoder makes of it.
TEST_F(NViewLibTest, WriterFilesDecodeToTheirPixelsAsWicDecodesThem)
{
    const struct {
        WORD bits;
        LONG width, height;
    } cases[] = {{1, 13, 7}, {1, 33, 2}, {4, 9, 5}, {8, 17, 8}, {16, 7, 7}, {24, 17, 8},
                 {24, 4, 3}, {32, 5, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.width << " x " << c.height);
        KnownBitmap src;
        outtest::MakeDibSection(c.bits, c.width, c.height, src);
        const std::string path = dir.file("writer.bmp");
        CreateBMPFile(nullptr, path.c_str(), src.bmp);
        UINT w = 0, h = 0;
        const std::vector<Rgb> mine = LibraryPixels(ReadWholeFile(path), w, h);
        EXPECT_EQ(w, static_cast<UINT>(c.width));
        EXPECT_EQ(h, static_cast<UINT>(c.height));
        EXPECT_TRUE(mine == src.expected);
        const outtest::Decoded wic = outtest::DecodeWithWic(path);
        ASSERT_HRESULT_SUCCEEDED(wic.hr);
        EXPECT_TRUE(mine == wic.pixels);
    }
}

// Layouts only other programs write: top-down rows, bit fields, later headers, short colour
// tables. Each decodes to the colours its values stand for; where WIC reads the layout the
// same way on Windows and under Wine, to WIC's pixels too.
TEST_F(NViewLibTest, OtherLayoutsDecodeToTheColoursTheyHold)
{
    const auto rgb = [](LONG x, LONG y) {
        return static_cast<uint32_t>((x * 37 + y * 11) & 0xFF) << 16 |
               static_cast<uint32_t>((x * 5 + y * 71 + 9) & 0xFF) << 8 |
               static_cast<uint32_t>((x * y * 13 + 200) & 0xFF);
    };
    const auto r5 = [](LONG x, LONG y) { return static_cast<uint32_t>(x * 3 + y) % 32; };
    const auto g6 = [](LONG x, LONG y) { return static_cast<uint32_t>(x + y * 7) % 64; };
    const auto b5 = [](LONG x, LONG y) { return static_cast<uint32_t>(x * y + 5) % 32; };
    const auto expand = [](uint32_t v, int bits) {
        return static_cast<BYTE>(bits == 5 ? (v << 3 | v >> 2) : (v << 2 | v >> 4));
    };
    std::vector<RGBQUAD> twenty;
    for (unsigned i = 0; i < 20; ++i) {
        const Rgb c = outtest::TableColour(i);
        twenty.push_back({c.b, c.g, c.r, 0});
    }
    const std::vector<RGBQUAD> blackWhite = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const std::vector<RGBQUAD> sixteen(twenty.begin(), twenty.begin() + 16);

    struct Case {
        const char* what;
        HandMade file;
        std::function<Rgb(LONG, LONG)> colour;
        bool wic;
    };
    const Case cases[] = {
        {"24 bits, top-down",
         {40, 7, -5, 24, BI_RGB, {}, {}, rgb},
         [&](LONG x, LONG y) { return FromRgb(rgb(x, y)); }, true},
        {"32 bits, top-down, the fourth byte set",
         {40, 6, -4, 32, BI_RGB, {}, {}, [&](LONG x, LONG y) { return 0x80000000u | rgb(x, y); }},
         [&](LONG x, LONG y) { return FromRgb(rgb(x, y)); }, true},
        {"16 bits, 5-6-5 fields",
         {40, 9, 6, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, {},
          [&](LONG x, LONG y) { return r5(x, y) << 11 | g6(x, y) << 5 | b5(x, y); }},
         [&](LONG x, LONG y) {
             return Rgb{expand(r5(x, y), 5), expand(g6(x, y), 6), expand(b5(x, y), 5)};
         }, true},
        {"16 bits, 5-5-5 fields in a version 5 header",
         {124, 9, 6, 16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}, {},
          [&](LONG x, LONG y) { return r5(x, y) << 10 | (g6(x, y) % 32) << 5 | b5(x, y); }},
         [&](LONG x, LONG y) {
             return Rgb{expand(r5(x, y), 5), expand(g6(x, y) % 32, 5), expand(b5(x, y), 5)};
         }, true},
        {"32 bits, byte fields in a version 4 header",
         {108, 5, 5, 32, BI_BITFIELDS, {0xFF0000, 0x00FF00, 0x0000FF}, {}, rgb},
         [&](LONG x, LONG y) { return FromRgb(rgb(x, y)); }, true},
        {"32 bits, red in the low byte",
         {40, 5, 3, 32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}, {}, rgb},
         [&](LONG x, LONG y) {
             const Rgb c = FromRgb(rgb(x, y));
             return Rgb{c.b, c.g, c.r};
         }, false},
        {"16 bits, 4-4-4 fields in a version 2 header",
         {52, 6, 4, 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, {},
          [](LONG x, LONG y) { return static_cast<uint32_t>(x * 0x123 + y * 0x351) & 0xFFF; }},
         [](LONG x, LONG y) {
             const uint32_t v = static_cast<uint32_t>(x * 0x123 + y * 0x351) & 0xFFF;
             return Rgb{static_cast<BYTE>((v >> 8) * 17), static_cast<BYTE>((v >> 4 & 15) * 17),
                        static_cast<BYTE>((v & 15) * 17)};
         }, false},
        {"32 bits, 10-10-10 fields",
         {40, 4, 4, 32, BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF}, {},
          [](LONG x, LONG y) {
              return static_cast<uint32_t>(x * 100 + 3) << 20 |
                     static_cast<uint32_t>(y * 200 + 1) << 10 | static_cast<uint32_t>(x * y * 60);
          }},
         [](LONG x, LONG y) {
             return Rgb{static_cast<BYTE>((x * 100 + 3) >> 2), static_cast<BYTE>((y * 200 + 1) >> 2),
                        static_cast<BYTE>((x * y * 60) >> 2)};
         }, false},
        {"32 bits, no bits in any field",
         {40, 3, 2, 32, BI_BITFIELDS, {0, 0, 0}, {}, rgb},
         [](LONG, LONG) { return Rgb{0, 0, 0}; }, false},
        {"8 bits, a table of 20 colours",
         {40, 11, 5, 8, BI_RGB, {}, twenty,
          [](LONG x, LONG y) { return static_cast<uint32_t>(x + 3 * y) % 20; }},
         [](LONG x, LONG y) { return outtest::TableColour(static_cast<unsigned>(x + 3 * y) % 20); },
         true},
        {"8 bits, indices past a table of 20",
         {40, 6, 2, 8, BI_RGB, {}, twenty,
          [](LONG x, LONG y) { return static_cast<uint32_t>(x * 50 + y); }},
         [](LONG x, LONG y) {
             const unsigned i = static_cast<unsigned>(x * 50 + y);
             return i < 20 ? outtest::TableColour(i) : Rgb{0, 0, 0};
         }, false},
        {"4 bits, top-down",
         {40, 9, -3, 4, BI_RGB, {}, sixteen,
          [](LONG x, LONG y) { return static_cast<uint32_t>(x * 5 + y) % 16; }},
         [](LONG x, LONG y) { return outtest::TableColour(static_cast<unsigned>(x * 5 + y) % 16); },
         true},
        {"1 bit, 33 wide, top-down",
         {40, 33, -3, 1, BI_RGB, {}, blackWhite,
          [](LONG x, LONG y) { return static_cast<uint32_t>(x * 7 + y) / 3 % 2; }},
         [](LONG x, LONG y) {
             const BYTE v = (x * 7 + y) / 3 % 2 ? 255 : 0;
             return Rgb{v, v, v};
         }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string blob = c.file.Bytes();
        UINT w = 0, h = 0;
        const std::vector<Rgb> mine = LibraryPixels(blob, w, h);
        const LONG rows = c.file.height < 0 ? -c.file.height : c.file.height;
        ASSERT_EQ(w, static_cast<UINT>(c.file.width));
        ASSERT_EQ(h, static_cast<UINT>(rows));
        std::vector<Rgb> want;
        for (LONG y = 0; y < rows; ++y)
            for (LONG x = 0; x < c.file.width; ++x)
                want.push_back(c.colour(x, y));
        EXPECT_TRUE(mine == want);
        if (!c.wic)
            continue;
        const std::string path = dir.file("layout.bmp");
        WriteBytes(path, blob);
        const outtest::Decoded wic = outtest::DecodeWithWic(path);
        ASSERT_HRESULT_SUCCEEDED(wic.hr);
        EXPECT_TRUE(mine == wic.pixels);
    }
}

// The library encodes the rows as it converts them, a band at a time: the JPEG is byte for
// byte the one the encoder makes of the whole decoded image at once.
TEST_F(NViewLibTest, RowsConvertedInBandsMakeTheSameJpegAsTheWholeImage)
{
    const struct {
        WORD bits;
        LONG width, height;
    } cases[] = {{32, 1000, 301}, {24, 997, 260}, {8, 3000, 40}, {16, 70, 90}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.width << " x " << c.height);
        const std::string blob = BmpBytes(c.bits, c.width, c.height);
        const std::string bmp = dir.file("bands.bmp");
        WriteBytes(bmp, blob);
        BmpRows rows;
        ASSERT_TRUE(rows.Open(reinterpret_cast<const BYTE*>(blob.data()), blob.size()));
        Image image;
        ASSERT_HRESULT_SUCCEEDED(
            DecodeBmp(reinterpret_cast<const BYTE*>(blob.data()), blob.size(), image));
        const std::string banded = dir.file("banded.jpg"), whole = dir.file("whole.jpg");
        const std::wstring bandedW(banded.begin(), banded.end()), wholeW(whole.begin(), whole.end());
        const auto convert = [&rows](UINT first, UINT count, BYTE* dst, UINT stride) {
            rows.Convert(first, count, dst, stride);
            return S_OK;
        };
        ASSERT_HRESULT_SUCCEEDED(
            EncodeJpeg(rows.width(), rows.height(), convert, bandedW.c_str(), 0.9f));
        ASSERT_HRESULT_SUCCEEDED(EncodeJpeg(image, wholeW.c_str(), 0.9f));
        EXPECT_TRUE(ReadWholeFile(banded) == ReadWholeFile(whole));
        // And through the library, which reads the file where it lies.
        const std::string library = dir.file("library.jpg");
        ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
        ASSERT_NE(NViewLibSaveAsJPG(90, library.c_str()), 0);
        EXPECT_TRUE(ReadWholeFile(library) == ReadWholeFile(whole));
    }
}

// The rows are read when the image is saved: until then nobody may change or delete the
// file, and once the image is dropped the file is free again.
TEST_F(NViewLibTest, TheLoadedFileIsKeptAsItIsUntilTheImageIsDropped)
{
    const std::string bmp = dir.file("held.bmp");
    WriteBytes(bmp, BmpBytes(24, 16, 8));
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    EXPECT_FALSE(DeleteFileA(bmp.c_str()));
    {
        ScopedHandle writer(CreateFileA(bmp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_FALSE(writer.valid());
    }
    {
        ScopedHandle reader(CreateFileA(bmp.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(reader.valid()) << "others may read it";
    }
    ASSERT_NE(NViewLibSaveAsJPG(90, dir.file("held.jpg").c_str()), 0);
    EXPECT_TRUE(DeleteFileA(bmp.c_str()));

    // A failed save drops the image and frees its file just the same.
    WriteBytes(bmp, BmpBytes(24, 16, 8));
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("no such dir\\x.jpg").c_str()), 0);
    EXPECT_TRUE(DeleteFileA(bmp.c_str()));
}

// The library reads the rows band by band as it encodes: a band that cannot be read (its
// drive gone away) ends the encode with that error and leaves no file half-written.
TEST_F(NViewLibTest, ABandThatCannotBeReadFailsTheEncode)
{
    const std::string jpg = dir.file("unread.jpg");
    const HRESULT gone = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    int bands = 0;
    const auto readBand = [&](UINT, UINT, BYTE*, UINT) { return ++bands == 2 ? gone : S_OK; };
    EXPECT_EQ(EncodeJpeg(64, 4000, readBand, std::wstring(jpg.begin(), jpg.end()).c_str(), 0.9f),
              gone);
    EXPECT_EQ(bands, 2);
    EXPECT_FALSE(FileExists(jpg));
}

// ---------------------------------------------------------------- malformed files

struct Malformed {
    const char* what;
    WORD bits;
    size_t offset;    // where value goes; SIZE_MAX for none
    uint32_t value;
    size_t truncate;  // new length; 0 for none
};

TEST_F(NViewLibTest, MalformedFilesFailCleanly)
{
    const size_t kNone = SIZE_MAX;
    const Malformed cases[] = {
        {"empty", 24, kNone, 0, 1},
        {"file header only", 24, kNone, 0, 14},
        {"cut in the info header", 24, kNone, 0, 30},
        {"headers only", 24, kNone, 0, 54},
        {"last row byte missing", 24, kNone, 0, SIZE_MAX - 1},
        {"cut in the colour table", 8, kNone, 0, 300},
        {"not BM", 24, 0, 0x00005842, 0},
        {"pixels past the end", 24, 10, 0x00001000, 0},
        {"offset near 4 GiB", 24, 10, 0xFFFFFFF0, 0},
        {"offset inside the headers", 24, 10, 20, 0},
        {"offset inside the colour table", 8, 10, 54 + 512, 0},
        {"info header size 0", 24, 14, 0, 0},
        {"info header size larger than the file", 24, 14, 1000, 0},
        {"core header", 24, 14, 12, 0},
        {"width lies", 24, 18, 4000, 0},
        {"height lies", 24, 22, 4000, 0},
        {"huge width", 24, 18, 0x7FFFFFFF, 0},
        {"huge height", 24, 22, 0x7FFFFFFF, 0},
        {"huge both", 24, 18, 100000, 0},
        {"negative width", 24, 18, 0xFFFFFFF0, 0},
        {"zero height", 24, 22, 0, 0},
        {"most negative height", 24, 22, 0x80000000, 0},
        {"two planes", 24, 26, 2 | 24 << 16, 0},
        {"depth 7", 24, 26, 1 | 7 << 16, 0},
        {"depth 64", 24, 26, 1 | 64 << 16, 0},
        {"run-length compression", 8, 30, BI_RLE8, 0},
        {"embedded JPEG", 24, 30, BI_JPEG, 0},
        {"unknown compression", 24, 30, 99, 0},
        {"bit fields on 24 bits", 24, 30, BI_BITFIELDS, 0},
        {"colour table too long", 8, 46, 1000000, 0},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.what);
        std::string blob = BmpBytes(c.bits, 16, 8);
        ASSERT_GT(blob.size(), 400u);
        if (c.offset != kNone)
            Put32(blob, c.offset, c.value);
        if (c.truncate == SIZE_MAX - 1)
            blob.resize(blob.size() - 1);
        else if (c.truncate)
            blob.resize(c.truncate - 1);
        const std::string bmp = dir.file("bad.bmp");
        WriteBytes(bmp, blob);
        DeleteFileA(dir.file("bad.jpg").c_str());

        EXPECT_EQ(NViewLibLoad(bmp.c_str(), 0), 0);
        EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("bad.jpg").c_str()), 0);
        EXPECT_FALSE(FileExists(dir.file("bad.jpg")));
        BmpLayout layout = {};
        GuardedBytes guarded(blob);
        EXPECT_FALSE(ParseBmp(guarded.data(), blob.size(), layout));
    }
}

// The 64-bit program takes a capture of the largest virtual screen, 32768 pixels each way; the
// 32-bit one stops at 256 MB of rows.
TEST(BmpLayoutCap, TheLargestVirtualScreenOnlyIn64Bits)
{
    std::string head = BmpBytes(24, 16, 8).substr(0, 54);
    for (const LONG width : {32768, 32769}) {
        Put32(head, 18, static_cast<uint32_t>(width));
        Put32(head, 22, 32768);
        BmpLayout layout = {};
        const uint64_t fileSize = 54 + DibStride(static_cast<uint64_t>(width), 24) * 32768;
        EXPECT_EQ(ParseBmpHead(reinterpret_cast<const BYTE*>(head.data()), 54, fileSize, layout),
                  sizeof(void*) == 8 && width == 32768) << width;
    }
}

// Sizes nothing depends on may lie: the rows are all there, so the image loads.
TEST_F(NViewLibTest, SizesThatNothingNeedsMayLie)
{
    std::string blob = BmpBytes(24, 16, 8);
    Put32(blob, 2, 1);            // bfSize
    Put32(blob, 14 + 20, 12345);  // biSizeImage
    const std::string bmp = dir.file("lies.bmp");
    WriteBytes(bmp, blob);
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    ASSERT_NE(NViewLibSaveAsJPG(90, dir.file("lies.jpg").c_str()), 0);
    const outtest::Decoded d = outtest::DecodeWithWic(dir.file("lies.jpg"));
    EXPECT_EQ(d.width, 16u);
    EXPECT_EQ(d.height, 8u);
}

TEST_F(NViewLibTest, LoadRejectsWhatIsNotAFileOrNotAsked)
{
    EXPECT_EQ(NViewLibLoad(nullptr, 0), 0);
    EXPECT_EQ(NViewLibLoad(dir.path().c_str(), 0), 0);
    const std::string bmp = dir.file("ok.bmp");
    WriteBytes(bmp, BmpBytes(24, 4, 4));
    EXPECT_EQ(NViewLibLoad(bmp.c_str(), 1), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, dir.file("x.jpg").c_str()), 0);
    ASSERT_NE(NViewLibLoad(bmp.c_str(), 0), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(0, dir.file("x.jpg").c_str()), 0);
    EXPECT_EQ(NViewLibSaveAsJPG(90, nullptr), 0);
}

// Mutated files: whatever they hold, parsing and decoding read only their bytes, and what
// parses decodes to the size it declares; through the library, whatever loads saves.
TEST_F(NViewLibTest, MutatedFilesNeverReadOutOfBounds)
{
    const std::string bases[] = {BmpBytes(1, 13, 7), BmpBytes(4, 9, 5), BmpBytes(8, 16, 8),
                                 BmpBytes(16, 7, 7), BmpBytes(24, 16, 8), BmpBytes(32, 5, 9)};
    const uint32_t interesting[] = {0, 1, 2, 4, 8, 12, 16, 24, 32, 40, 54, 255, 256, 0x7FFF,
                                    0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    std::mt19937 rng(20260);
    int parsed = 0, loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string blob = bases[rng() % 6];
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 4) {
            case 0:  // any byte of the headers
                blob[rng() % std::min<size_t>(blob.size(), 70)] = static_cast<char>(rng());
                break;
            case 1:  // a header field set to a telling value
                Put32(blob, 2 + 4 * (rng() % 13), interesting[rng() % 19]);
                break;
            case 2:  // a cut anywhere
                blob.resize(rng() % blob.size());
                break;
            default:  // any byte at all
                if (!blob.empty())
                    blob[rng() % blob.size()] = static_cast<char>(rng());
                break;
            }
            if (blob.empty())
                break;
        }
        SCOPED_TRACE(testing::Message() << "mutation " << i << ", " << blob.size() << " bytes");
        GuardedBytes guarded(blob);
        BmpLayout layout = {};
        if (ParseBmp(guarded.data(), blob.size(), layout)) {
            ++parsed;
            ASSERT_LE(uint64_t{layout.pixelOffset} + layout.pixelBytes, blob.size());
            // The decoder reads the rows just checked, and nothing else.
            Image image;
            ASSERT_HRESULT_SUCCEEDED(DecodeBmp(guarded.data(), blob.size(), image));
            ASSERT_EQ(image.width, static_cast<UINT>(layout.width));
            ASSERT_EQ(image.height, static_cast<UINT>(layout.height));
        }
        if (i % 10 == 0) {
            const std::string bmp = dir.file("fuzz.bmp");
            const std::string jpg = dir.file("fuzz.jpg");
            WriteBytes(bmp, blob);
            DeleteFileA(jpg.c_str());
            if (NViewLibLoad(bmp.c_str(), 0)) {
                ++loaded;
                ASSERT_NE(NViewLibSaveAsJPG(90, jpg.c_str()), 0);
                ASSERT_EQ(outtest::DecodeWithWic(jpg).width, static_cast<UINT>(layout.width));
            } else {
                ASSERT_EQ(NViewLibSaveAsJPG(90, jpg.c_str()), 0);
            }
        }
    }
    // The mutations must reach both sides, or the loop tests nothing.
    EXPECT_GT(parsed, 100);
    EXPECT_LT(parsed, 2900);
    EXPECT_GT(loaded, 5);
}

// ---------------------------------------------------------------- PNG

TEST(PngChunk, IsLengthTypeDataAndTheCrcOfTypeAndData)
{
    std::string out;
    AppendPngChunk(out, "IEND", nullptr, 0);
    EXPECT_EQ(out, std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
}

// Memory running out anywhere in the encode (the clipboard's copy growing, a band, zlib) or
// anything else thrown fails it with a code: nothing may cross the library's C interface.
TEST(PngFailure, AnythingThrownFailsTheEncodeInsteadOfLeavingIt)
{
    const ReadBand grey = [](UINT, UINT count, BYTE* dst, UINT stride) {
        memset(dst, 0x80, static_cast<size_t>(count) * stride);
        return S_OK;
    };
    const ReadBand bandOutOfMemory = [](UINT, UINT, BYTE*, UINT) -> HRESULT {
        throw std::bad_alloc();
    };
    int writes = 0;
    const PngSink fullAfterTheHead = [&writes](const BYTE*, size_t) {
        if (++writes > 1)
            throw std::bad_alloc();
        return true;
    };
    const PngSink broken = [](const BYTE*, size_t) -> bool { throw std::runtime_error("x"); };
    EXPECT_EQ(EncodePng(640, 480, bandOutOfMemory, broken), E_OUTOFMEMORY);
    EXPECT_EQ(EncodePng(640, 480, grey, fullAfterTheHead), E_OUTOFMEMORY);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(EncodePng(640, 480, grey, broken), E_FAIL);
}

// Palettes of every index width (odd widths, so rows end inside a byte) and RGB: the file and
// the copy for the clipboard hold the same bytes, which WIC decodes to exactly the pixels.
TEST_F(NViewLibTest, PngFilesAndCopiesHoldExactlyTheirPixels)
{
    for (const uint32_t colours : {1u, 2u, 3u, 16u, 17u, 256u, 257u, 70000u}) {
        SCOPED_TRACE(colours);
        HandMade made;
        made.width = 203;
        made.height = 41;
        made.value = [colours](LONG x, LONG y) {
            const uint32_t v = static_cast<uint32_t>((x * 7 + y * 31)) % colours;
            return (v & 0xFF) | (v >> 8) << 16 | (v * 37 & 0xFF) << 8;  // distinct below 2^16
        };
        const std::string bmp = made.Bytes();
        const std::string png = dir.file("out.png");
        ASSERT_NE(NViewLibLoadMemory(bmp.data(), static_cast<DWORD>(bmp.size())), 0);
        ASSERT_NE(NViewLibSaveAsPNG(png.c_str()), 0);
        const outtest::Decoded d = outtest::DecodeWithWic(png);
        ASSERT_HRESULT_SUCCEEDED(d.hr);
        EXPECT_TRUE(IsEqualGUID(d.container, GUID_ContainerFormatPng));
        ASSERT_EQ(d.pixels.size(), 203u * 41u);
        for (LONG i = 0; i < 203 * 41; ++i)
            ASSERT_EQ(d.pixels[i], FromRgb(made.value(i % 203, i / 203))) << i;

        ASSERT_NE(NViewLibLoadMemory(bmp.data(), static_cast<DWORD>(bmp.size())), 0);
        ScopedGlobalMem<void> copy(NViewLibCopyAsPNG());
        ScopedGlobalLock lock(copy.get());
        const std::string file = ReadWholeFile(png);
        ASSERT_NE(lock.get(), nullptr);
        ASSERT_GE(GlobalSize(copy.get()), file.size());
        EXPECT_EQ(std::string(static_cast<const char*>(lock.get()), file.size()), file);
    }
    // Nothing loaded, or nowhere to write: no file, and the image is gone either way.
    const std::string bmp = BmpBytes(24, 8, 8);
    EXPECT_EQ(NViewLibSaveAsPNG(dir.file("none.png").c_str()), 0);
    ASSERT_NE(NViewLibLoadMemory(bmp.data(), static_cast<DWORD>(bmp.size())), 0);
    EXPECT_EQ(NViewLibSaveAsPNG(dir.file("no such dir\\x.png").c_str()), 0);
    EXPECT_EQ(NViewLibCopyAsPNG(), nullptr);
    EXPECT_FALSE(FileExists(dir.file("none.png")));
}
