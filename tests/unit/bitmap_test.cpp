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
    const int w = 1024, h = 200;
    BITMAPINFO bi = TopDownInfo(w, h, 32);
    void* bits = nullptr;
    ScopedGdiObject<HBITMAP> src(
        CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_NE(src.get(), nullptr);
    DWORD* px = static_cast<DWORD*>(bits);
    for (int i = 0; i < w * h; ++i)
        px[i] = static_cast<DWORD>(i) * 0x010305u;
    ScopedCreatedDC mem(CreateCompatibleDC(screen.get()));
    ScopedSelectObject select(mem.get(), src.get());

    // Kept copies are made in bands of rows (the whole picture spans three), at 24 bits on a
    // 32-bit display; where the area leaves the picture they stay black.
    struct Case {
        RECT area;
        CopyFor use;
    };
    const Case cases[] = {{{2, 1, 5, 4}, CopyFor::Showing},
                          {{2, 1, 5, 4}, CopyFor::Keeping},
                          {{w - 2, h - 2, w + 1, h + 1}, CopyFor::Keeping},
                          {{0, 0, w, h}, CopyFor::Keeping}};
    BITMAP bm = {};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.area.left << "," << c.area.top << " keeping "
                                        << (c.use == CopyFor::Keeping));
        const int cw = c.area.right - c.area.left, ch = c.area.bottom - c.area.top;
        ScopedGdiObject<HBITMAP> copy(CopyRegion(screen.get(), mem.get(), c.area, SRCCOPY, c.use));
        ASSERT_NE(copy.get(), nullptr);
        GetObjectA(copy.get(), sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, cw);
        EXPECT_EQ(bm.bmHeight, ch);
        std::vector<DWORD> got(static_cast<size_t>(cw * ch));
        BITMAPINFO out = TopDownInfo(cw, ch, 32);
        ASSERT_EQ(GetDIBits(screen.get(), copy.get(), 0, ch, got.data(), &out, DIB_RGB_COLORS), ch);
        int wrong = 0;
        for (int y = 0; y < ch; ++y) {
            for (int x = 0; x < cw; ++x) {
                const int sx = c.area.left + x, sy = c.area.top + y;
                const DWORD want = sx < w && sy < h ? px[sy * w + sx] & 0xFFFFFF : 0;
                if ((got[y * cw + x] & 0xFFFFFF) != want && wrong++ == 0)
                    ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
            }
        }
        EXPECT_EQ(wrong, 0);
    }

    const RECT empty = {4, 4, 4, 4};
    ScopedGdiObject<HBITMAP> a(CopyRegion(screen.get(), mem.get(), empty, SRCCOPY));
    ScopedGdiObject<HBITMAP> b(CopyRegion(screen.get(), mem.get(), empty, SRCCOPY));
    ASSERT_NE(a.get(), nullptr);
    EXPECT_NE(a.get(), b.get());
    GetObjectA(a.get(), sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth * bm.bmHeight * bm.bmBitsPixel, 1);
}

}  // namespace
