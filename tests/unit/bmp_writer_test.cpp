#include "output/bmp_writer.h"

#include "output_test_util.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using outtest::KnownBitmap;
using outtest::Rgb;

namespace {

BITMAP Bitmap(LONG width, LONG height, WORD bits)
{
    BITMAP bmp = {};
    bmp.bmWidth = width;
    bmp.bmHeight = height;
    bmp.bmPlanes = 1;
    bmp.bmBitsPixel = bits;
    return bmp;
}

template <class T>
T ReadAt(const std::string& blob, size_t offset)
{
    T value{};
    memcpy(&value, blob.data() + offset, sizeof value);
    return value;
}

// The checks every file the writer makes must pass: its header, sizes and offsets agree, a
// table is declared and present for depths up to 8, and bytes past the rows are zero.
void ExpectConsistentFile(const std::string& blob, WORD bits, LONG width, LONG height)
{
    ASSERT_GE(blob.size(), 54u);
    EXPECT_EQ(blob.substr(0, 2), "BM");
    const auto bfSize = ReadAt<DWORD>(blob, 2);
    const auto bfOffBits = ReadAt<DWORD>(blob, 10);
    const auto bih = ReadAt<BITMAPINFOHEADER>(blob, 14);
    EXPECT_EQ(bfSize, blob.size());
    EXPECT_EQ(bih.biSize, 40u);
    EXPECT_EQ(bih.biWidth, width);
    EXPECT_EQ(bih.biHeight, height);
    EXPECT_EQ(bih.biBitCount, bits);
    EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(bfOffBits, 54 + 4 * bih.biClrUsed);
    EXPECT_EQ(bfOffBits + bih.biSizeImage, bfSize);
    if (bits <= 8) {
        EXPECT_EQ(bih.biClrUsed, 1u << bits);
    }
    const size_t rows = (static_cast<size_t>(width) * bits + 31) / 32 * 4 * height;
    ASSERT_GE(bih.biSizeImage, rows);
    for (size_t i = bfOffBits + rows; i < blob.size(); ++i)
        ASSERT_EQ(blob[i], 0) << "stray byte at " << i;
}

void ExpectPixels(const std::string& path, const KnownBitmap& src)
{
    const outtest::Decoded d = outtest::DecodeWithWic(path);
    ASSERT_HRESULT_SUCCEEDED(d.hr);
    ASSERT_EQ(d.width, static_cast<UINT>(src.width));
    ASSERT_EQ(d.height, static_cast<UINT>(src.height));
    ASSERT_EQ(d.pixels.size(), src.expected.size());
    for (size_t i = 0; i < d.pixels.size(); ++i) {
        const Rgb& got = d.pixels[i];
        const Rgb& want = src.expected[i];
        ASSERT_TRUE(got == want) << "pixel " << i % src.width << "," << i / src.width << ": got "
                                 << int(got.r) << "," << int(got.g) << "," << int(got.b)
                                 << " want " << int(want.r) << "," << int(want.g) << ","
                                 << int(want.b);
    }
}

}  // namespace

// ---------------------------------------------------------------- header arithmetic

TEST(BmpHeader, DepthRounding)
{
    const struct {
        WORD product, bits;
    } cases[] = {{0, 4},  {1, 1},   {2, 4},   {3, 4},   {4, 4},   {5, 8},  {8, 8},
                 {9, 16}, {16, 16}, {17, 24}, {24, 24}, {25, 32}, {32, 32}, {48, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundDepth(c.product), c.bits) << "product " << c.product;
}

struct HeaderCase {
    LONG width, height;
    WORD bits;
    DWORD clrUsed, sizeImage, offBits, fileSize, buffer;
    std::vector<DWORD> pieces;
};

TEST(BmpHeader, FilledHeaderFileHeaderAndPieces)
{
    const HeaderCase cases[] = {
        {10, 10, 24, 0, 480, 54, 534, 480, {256, 224}},
        {10, 10, 8, 256, 160, 1078, 1238, 160, {160}},
        {8, 8, 32, 0, 256, 54, 310, 256, {256}},
        {9, 8, 32, 0, 512, 54, 566, 512, {256, 256}},
        {3, 2, 4, 16, 8, 118, 126, 8, {8}},
        {10, 10, 16, 0, 320, 54, 374, 320, {256, 64}},
        // Depth 1: the product is smaller than the rows the conversion writes.
        {1, 1, 1, 2, 1, 62, 63, 4, {1}},
        {10, 10, 1, 2, 20, 62, 82, 40, {20}},
        {32, 2, 1, 2, 8, 62, 70, 8, {8}},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        const WORD cClrBits = RoundDepth(c.bits);
        BITMAPINFOHEADER bih = {};
        ASSERT_TRUE(FillInfoHeader(Bitmap(c.width, c.height, c.bits), cClrBits, bih));
        EXPECT_EQ(bih.biSize, 40u);
        EXPECT_EQ(bih.biWidth, c.width);
        EXPECT_EQ(bih.biHeight, c.height);
        EXPECT_EQ(bih.biPlanes, 1);
        EXPECT_EQ(bih.biBitCount, c.bits);
        EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(bih.biClrUsed, c.clrUsed);
        EXPECT_EQ(bih.biSizeImage, c.sizeImage);
        EXPECT_EQ(PixelBufferSize(bih, cClrBits), c.buffer);

        const BITMAPFILEHEADER hdr = MakeFileHeader(bih);
        EXPECT_EQ(hdr.bfType, 0x4D42);
        EXPECT_EQ(hdr.bfOffBits, c.offBits);
        EXPECT_EQ(hdr.bfSize, c.fileSize);
        EXPECT_EQ(hdr.bfReserved1 | hdr.bfReserved2, 0);

        std::vector<BYTE> data(bih.biSizeImage);
        std::vector<DWORD> pieces;
        const BYTE* next = data.data();
        EXPECT_TRUE(WriteInPieces(data.data(), bih.biSizeImage, [&](const void* p, DWORD n) {
            EXPECT_EQ(p, next);  // contiguous, in order
            next += n;
            pieces.push_back(n);
            return true;
        }));
        EXPECT_EQ(pieces, c.pieces);
    }
}

TEST(BmpHeader, PiecesStopAtTheFirstFailedWriteAndAnEmptyImageWritesOnceNothing)
{
    std::vector<BYTE> data(1000);
    int calls = 0;
    EXPECT_FALSE(WriteInPieces(data.data(), 1000, [&](const void*, DWORD) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);

    std::vector<DWORD> pieces;
    EXPECT_TRUE(WriteInPieces(data.data(), 0, [&](const void*, DWORD n) {
        pieces.push_back(n);
        return true;
    }));
    EXPECT_EQ(pieces, std::vector<DWORD>{0});
}

TEST(BmpHeader, SizesThatCannotBeRepresentedAreRefused)
{
    BITMAPINFOHEADER bih = {};
    EXPECT_FALSE(FillInfoHeader(Bitmap(0x7FFFFFFF, 0x7FFFFFFF, 32), 32, bih));
    EXPECT_FALSE(FillInfoHeader(Bitmap(70000, 70000, 32), 32, bih));
    EXPECT_FALSE(FillInfoHeader(Bitmap(0, 10, 24), 24, bih));
    EXPECT_EQ(PaddedRowsSize(0x7FFFFFFF, 0x7FFFFFFF, 32), 0u);
    EXPECT_EQ(PaddedRowsSize(5, 3, 24), 48u);
}

TEST(BmpHeader, ConvertedHeaderIsSettledToAConsistentFile)
{
    const struct {
        const char* what;
        LONG width, height;
        WORD bits;
        DWORD clrUsedIn, sizeImageIn, table, buffer;
        bool ok;
        DWORD clrUsedOut, sizeImageOut;
    } cases[] = {
        // The conversion set the table count to 0 and the size to the exact rows.
        {"8-bit table restored", 10, 10, 8, 0, 120, 256, 160, true, 256, 120},
        {"1-bit table restored", 1, 1, 1, 0, 4, 2, 4, true, 2, 4},
        {"header left as filled", 10, 10, 24, 0, 480, 0, 480, true, 0, 480},
        {"size below the rows raised", 10, 10, 1, 2, 20, 2, 40, true, 2, 40},
        {"table larger than reserved clamped", 3, 3, 4, 200, 12, 16, 12, true, 16, 12},
        {"size beyond the buffer refused", 10, 10, 24, 0, 481, 0, 480, false, 0, 0},
        {"rows beyond the buffer refused", 10, 10, 32, 0, 0, 0, 320, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BITMAPINFOHEADER bih = {};
        bih.biSize = 40;
        bih.biWidth = c.width;
        bih.biHeight = c.height;
        bih.biPlanes = 1;
        bih.biBitCount = c.bits;
        bih.biClrUsed = c.clrUsedIn;
        bih.biSizeImage = c.sizeImageIn;
        ASSERT_EQ(SettleConvertedHeader(bih, c.table, c.buffer), c.ok);
        if (c.ok) {
            EXPECT_EQ(bih.biClrUsed, c.clrUsedOut);
            EXPECT_EQ(bih.biSizeImage, c.sizeImageOut);
        }
    }
}

// ---------------------------------------------------------------- real files

struct RoundTrip {
    WORD bits;
    LONG width, height;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.width << "x" << c.height << "x" << c.bits; }

class BmpRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(BmpRoundTrip, WrittenFileDecodesToTheSamePixels)
{
    const RoundTrip c = GetParam();
    KnownBitmap src;
    outtest::MakeDibSection(c.bits, c.width, c.height, src);
    ASSERT_NE(src.bmp, nullptr);
    TempDir dir;
    const std::string path = dir.file("out.bmp");
    CreateBMPFile(nullptr, path.c_str(), src.bmp);
    const std::string blob = ReadWholeFile(path);
    ExpectConsistentFile(blob, c.bits, c.width, c.height);
    ExpectPixels(path, src);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpRoundTrip,
                         ::testing::Values(RoundTrip{1, 13, 7}, RoundTrip{1, 33, 5},
                                           RoundTrip{1, 1, 1}, RoundTrip{4, 13, 7},
                                           RoundTrip{8, 13, 7}, RoundTrip{16, 13, 7},
                                           RoundTrip{24, 13, 7}, RoundTrip{24, 10, 10},
                                           RoundTrip{32, 13, 7}, RoundTrip{32, 9, 8}));

TEST(BmpFile, ScreenCompatibleBitmapKeepsItsColours)
{
    KnownBitmap src;
    src.width = 17;
    src.height = 9;
    {
        ScopedGetDC screen(nullptr);
        src.bmp = CreateCompatibleBitmap(screen.get(), src.width, src.height);
        ASSERT_NE(src.bmp, nullptr);
        ScopedCreatedDC mem(CreateCompatibleDC(screen.get()));
        ScopedSelectObject sel(mem.get(), src.bmp);
        const COLORREF left = RGB(200, 30, 40), right = RGB(10, 220, 90), dot = RGB(1, 2, 250);
        for (LONG y = 0; y < src.height; ++y)
            for (LONG x = 0; x < src.width; ++x) {
                const COLORREF c = (x == 3 && y == 4) ? dot : x < 8 ? left : right;
                SetPixel(mem.get(), x, y, c);
                src.expected.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
            }
    }
    BITMAP bmp = {};
    GetObjectA(src.bmp, sizeof bmp, &bmp);
    TempDir dir;
    const std::string path = dir.file("screen.bmp");
    CreateBMPFile(nullptr, path.c_str(), src.bmp);
    ExpectConsistentFile(ReadWholeFile(path), bmp.bmBitsPixel, src.width, src.height);
    ExpectPixels(path, src);
}

// A one-pixel capture comes from a compatible bitmap of a memory DC, which is monochrome.
TEST(BmpFile, MonochromeBitmapDeclaresAndCarriesItsTable)
{
    KnownBitmap src;
    src.width = 11;
    src.height = 3;
    std::vector<BYTE> rows(2 * 3);  // word-aligned rows of 11 bits, top-down
    for (LONG y = 0; y < src.height; ++y)
        for (LONG x = 0; x < src.width; ++x) {
            const bool white = (x + y) % 3 == 0;
            if (white)
                rows[static_cast<size_t>(y * 2 + x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
            const BYTE v = white ? 255 : 0;
            src.expected.push_back({v, v, v});
        }
    src.bmp = CreateBitmap(src.width, src.height, 1, 1, rows.data());
    ASSERT_NE(src.bmp, nullptr);
    TempDir dir;
    const std::string path = dir.file("mono.bmp");
    CreateBMPFile(nullptr, path.c_str(), src.bmp);
    ExpectConsistentFile(ReadWholeFile(path), 1, src.width, src.height);
    ExpectPixels(path, src);
}

TEST(BmpFile, FailuresWriteNothingAndLeakNothing)
{
    KnownBitmap small;
    outtest::MakeDibSection(24, 10, 10, small);
    KnownBitmap smaller;
    outtest::MakeDibSection(24, 2, 2, smaller);
    TempDir dir;
    const std::string path = dir.file("a.bmp");
    const int gdiBefore = CountGdiObjects();

    CreateBMPFile(nullptr, path.c_str(), nullptr);
    EXPECT_FALSE(FileExists(path)) << "a null bitmap created a file";

    const std::string missing = dir.file("no such dir\\a.bmp");
    CreateBMPFile(nullptr, missing.c_str(), small.bmp);
    EXPECT_FALSE(FileExists(missing));

    // Saving again under the same name replaces the file.
    CreateBMPFile(nullptr, path.c_str(), small.bmp);
    const size_t bigSize = ReadWholeFile(path).size();
    CreateBMPFile(nullptr, path.c_str(), smaller.bmp);
    const std::string replaced = ReadWholeFile(path);
    EXPECT_LT(replaced.size(), bigSize);
    ExpectConsistentFile(replaced, 24, 2, 2);

    // A file that another holder keeps open without sharing is left as it was.
    {
        ScopedHandle locked(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locked.valid());
        CreateBMPFile(nullptr, path.c_str(), small.bmp);
    }
    EXPECT_EQ(ReadWholeFile(path), replaced);

    for (int i = 0; i < 20; ++i)
        CreateBMPFile(nullptr, path.c_str(), small.bmp);
    EXPECT_EQ(CountGdiObjects(), gdiBefore);
    // The file is closed again: it can go at once.
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}
