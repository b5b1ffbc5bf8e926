#include "win/bitmap.h"
#include "win/scoped_win.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DibLayout, RowsArePaddedToFourBytesAndLowDepthsCarryTheirTable)
{
    struct Case {
        LONG w, h;
        WORD bits;
        DWORD colours, stride, image;
    };
    const Case cases[] = {
        {1, 1, 1, 2, 4, 4},          // the 1 x 1 monochrome of an empty selection
        {33, 2, 1, 2, 8, 16},        // 33 bits spill into a second word
        {3, 2, 4, 16, 4, 8},
        {5, 1, 8, 256, 8, 8},
        {10, 10, 16, 0, 20, 200},    // 16 bits: no table
        {3, 2, 24, 0, 12, 24},       // 9 bytes padded to 12
        {4, 3, 24, 0, 12, 36},       // already a multiple of 4
        {1920, 1080, 32, 0, 7680, 8294400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bits);
        const DibLayout d = DibLayoutFor(c.w, c.h, c.bits);
        EXPECT_EQ(d.colours, c.colours);
        EXPECT_EQ(ColorTableLength(c.bits), c.colours);
        EXPECT_EQ(d.stride, c.stride);
        EXPECT_EQ(d.imageBytes, c.image);
        EXPECT_EQ(d.totalBytes, 40 + 4 * c.colours + c.image);
    }
    // Wide enough that 32-bit arithmetic would wrap.
    EXPECT_EQ(DibStride(0x7FFFFFFF, 32), 0x1FFFFFFFCull);
}

// A copy is the area of the source, not of its corner; an empty area is a bitmap of its own.
TEST(CopyRegion, CopiesTheAreaAndGivesEveryEmptyAreaItsOwnBitmap)
{
    ScopedGetDC screen(nullptr);
    const int w = 8, h = 6;
    BITMAPINFO bi = TopDownInfo(w, h, 32);
    void* bits = nullptr;
    ScopedGdiObject<HBITMAP> src(
        CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_NE(src.get(), nullptr);
    DWORD* px = static_cast<DWORD*>(bits);
    for (int i = 0; i < w * h; ++i)
        px[i] = static_cast<DWORD>(i * 0x010305);
    ScopedCreatedDC mem(CreateCompatibleDC(screen.get()));
    ScopedSelectObject select(mem.get(), src.get());

    const RECT area = {2, 1, 5, 4};
    ScopedGdiObject<HBITMAP> copy(CopyRegion(screen.get(), mem.get(), area, SRCCOPY));
    ASSERT_NE(copy.get(), nullptr);
    BITMAP bm = {};
    GetObjectA(copy.get(), sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 3);
    std::vector<DWORD> got(9);
    BITMAPINFO out = TopDownInfo(3, 3, 32);
    ASSERT_EQ(GetDIBits(screen.get(), copy.get(), 0, 3, got.data(), &out, DIB_RGB_COLORS), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(got[y * 3 + x] & 0xFFFFFF, px[(y + 1) * w + x + 2] & 0xFFFFFF) << x << "," << y;

    const RECT empty = {4, 4, 4, 4};
    ScopedGdiObject<HBITMAP> a(CopyRegion(screen.get(), mem.get(), empty, SRCCOPY));
    ScopedGdiObject<HBITMAP> b(CopyRegion(screen.get(), mem.get(), empty, SRCCOPY));
    ASSERT_NE(a.get(), nullptr);
    EXPECT_NE(a.get(), b.get());
    GetObjectA(a.get(), sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth * bm.bmHeight * bm.bmBitsPixel, 1);
}

}  // namespace
