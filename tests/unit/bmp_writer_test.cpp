#include "output/bmp_writer.h"

#include "output_test_util.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using outtest::KnownBitmap;
using outtest::Rgb;

namespace {

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
    EXPECT_EQ(bih.biPlanes, 1);
    EXPECT_EQ(bih.biBitCount, bits);
    EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(ReadAt<DWORD>(blob, 6), 0u) << "reserved words";
    EXPECT_EQ(bfOffBits, 54 + 4 * bih.biClrUsed);
    EXPECT_EQ(bfOffBits + bih.biSizeImage, bfSize);
    EXPECT_EQ(bih.biClrUsed, bits <= 8 ? 1u << bits : 0u);
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

// Every WriteFile this program makes goes through record() while the hook lives: it is
// swapped into the program's own import table, which is where the writer's calls go.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
WriteFileFn realWriteFile = nullptr;
std::vector<DWORD> writes;
size_t failingWrite = 0;  // 1-based; 0 = none fails

BOOL WINAPI RecordingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done,
                               LPOVERLAPPED overlapped)
{
    writes.push_back(size);
    if (writes.size() == failingWrite) {
        *done = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return realWriteFile(file, data, size, done, overlapped);
}

class WriteFileHook {
public:
    WriteFileHook()
    {
        const auto base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const FARPROC real = GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile");
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             d->Name && !slot_; ++d)
            for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
                 t->u1.Function && !slot_; ++t)
                if (t->u1.Function == reinterpret_cast<ULONG_PTR>(real))
                    slot_ = &t->u1.Function;
        if (!slot_)
            return;
        memcpy(&realWriteFile, &real, sizeof real);
        Set(reinterpret_cast<ULONG_PTR>(&RecordingWriteFile));
        writes.clear();
        failingWrite = 0;
    }
    ~WriteFileHook()
    {
        if (slot_)
            Set(reinterpret_cast<ULONG_PTR>(realWriteFile));
    }
    WriteFileHook(const WriteFileHook&) = delete;
    WriteFileHook& operator=(const WriteFileHook&) = delete;
    bool ok() const { return slot_ != nullptr; }

private:
    void Set(ULONG_PTR value)
    {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, old, &old);
    }
    ULONG_PTR* slot_ = nullptr;
};

}  // namespace

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

// Headers, then the rows in pieces of at most 256 bytes; a write that fails ends the save and
// takes the file with it (a full disk), and the next save writes it whole.
TEST(BmpFile, RowsGoOutInPiecesAndAFailedWriteLeavesNoFile)
{
    KnownBitmap src;
    outtest::MakeDibSection(32, 9, 8, src);  // 288 bytes of rows
    TempDir dir;
    const std::string path = dir.file("pieces.bmp");
    WriteFileHook hook;
    ASSERT_TRUE(hook.ok());
    CreateBMPFile(nullptr, path.c_str(), src.bmp);
    EXPECT_EQ(writes, (std::vector<DWORD>{14, 40, 256, 32}));
    ExpectConsistentFile(ReadWholeFile(path), 32, 9, 8);

    for (const size_t failing : {2u, 3u, 4u}) {
        SCOPED_TRACE(failing);
        writes.clear();
        failingWrite = failing;
        CreateBMPFile(nullptr, path.c_str(), src.bmp);
        EXPECT_EQ(writes.size(), failing) << "writes went on after one failed";
        EXPECT_FALSE(FileExists(path));
    }
}
