#include <nviewlib.h>

#include "bmp_layout.h"
#include "output/bmp_writer.h"
#include "wic_codec.h"

#include "output_test_util.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
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

class NViewLibTest : public ::testing::Test {
protected:
    // Every test starts with the library holding nothing.
    void SetUp() override { NViewLibSaveAsJPG(90, dir.file("drop.jpg").c_str()); }
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

// Mutated files: whatever they hold, parsing reads only their bytes, and what parses either
// decodes to the size it declares or fails; through the library, whatever loads saves.
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
            Image image;
            if (SUCCEEDED(DecodeBmp(guarded.data(), blob.size(), image))) {
                ASSERT_EQ(image.width, static_cast<UINT>(layout.width));
                ASSERT_EQ(image.height, static_cast<UINT>(layout.height));
            }
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
