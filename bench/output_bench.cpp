// Saving a 1920 x 1080 capture: the BMP writer against bare writes of the same bytes, and the
// JPEG export against its floor, the temporary BMP it must write plus WIC encoding the same
// pixels from memory.
#include "win/scoped_win.h"
#include "bench_report.h"
#include "output/bmp_writer.h"
#include "output/jpeg_export.h"
#include "wic_codec.h"

#include <nviewlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr LONG kWidth = 1920;
constexpr LONG kHeight = 1080;
constexpr int kRuns = 11;

const char kBmpFile[] = "output_bench.bmp";
const char kBareFile[] = "output_bench_bare.bmp";
const char kJpgFile[] = "output_bench.jpg";
const wchar_t kFloorFile[] = L"output_bench_floor.jpg";
const char kPpmFile[] = "output_bench.ppm";
const char kResults[] = "output_bench_results.txt";

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Something like a desktop: smooth areas, edges and fine detail.
Image MakePicture()
{
    Image image;
    UINT bytes = 0;
    ImageSizes(kWidth, kHeight, image.stride, bytes);
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.reset(new BYTE[bytes]);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            BYTE* p = image.pixels.get() + static_cast<size_t>(y) * image.stride + x * 3;
            const bool window = (x / 240 + y / 180) % 3 == 0;
            const bool text = window && (y % 18) < 12 && ((x * 7 + y * 3) % 11) < 5;
            p[0] = static_cast<BYTE>(text ? 20 : window ? 235 : 90 + 60 * std::sin(x / 97.0));
            p[1] = static_cast<BYTE>(text ? 20 : window ? 235 : 110 + y * 100 / kHeight);
            p[2] = static_cast<BYTE>(text ? 20 : window ? 235 : 60 + x * 120 / kWidth);
        }
    return image;
}

// The capture as the grab makes it: a bitmap compatible with the screen.
HBITMAP MakeCapture(const Image& image)
{
    ScopedGetDC screen(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen.get(), kWidth, kHeight);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    SetDIBits(screen.get(), bmp, 0, kHeight, image.pixels.get(), &info, DIB_RGB_COLORS);
    return bmp;
}

std::string ReadAll(const char* path)
{
    std::string bytes;
    FILE* f = fopen(path, "rb");
    if (!f)
        return bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

void WritePpm(const Image& image)
{
    FILE* f = fopen(kPpmFile, "wb");
    if (!f)
        return;
    fprintf(f, "P6 %ld %ld 255\n", kWidth, kHeight);
    std::vector<BYTE> row(static_cast<size_t>(kWidth) * 3);
    for (LONG y = 0; y < kHeight; ++y) {
        const BYTE* p = image.pixels.get() + static_cast<size_t>(y) * image.stride;
        for (LONG x = 0; x < kWidth; ++x) {
            row[x * 3] = p[x * 3 + 2];
            row[x * 3 + 1] = p[x * 3 + 1];
            row[x * 3 + 2] = p[x * 3];
        }
        fwrite(row.data(), 1, row.size(), f);
    }
    fclose(f);
}

// The same bytes as the writer's file, written as the writer does but with nothing else:
// the two headers, then the pixels in pieces of 256 bytes.
void BarePieces(const std::string& bytes, DWORD pixelOffset)
{
    ScopedHandle f(CreateFileA(kBareFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    WriteFile(f.get(), bytes.data(), 14, &done, nullptr);
    WriteFile(f.get(), bytes.data() + 14, pixelOffset - 14, &done, nullptr);
    const BYTE* p = reinterpret_cast<const BYTE*>(bytes.data()) + pixelOffset;
    DWORD left = static_cast<DWORD>(bytes.size()) - pixelOffset;
    while (left > 256) {
        WriteFile(f.get(), p, 256, &done, nullptr);
        p += 256;
        left -= 256;
    }
    WriteFile(f.get(), p, left, &done, nullptr);
}

void SingleWrite(const std::string& bytes)
{
    ScopedHandle f(CreateFileA(kBareFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

}  // namespace

// Every round runs each contender once, in turn, so a neighbour's load hits them alike; the
// ratios are taken within each round and their median reported.
int main()
{
    const Image picture = MakePicture();
    ScopedGdiObject<HBITMAP> capture(MakeCapture(picture));
    BITMAP bmp = {};
    GetObjectA(capture.get(), sizeof bmp, &bmp);

    CreateBMPFile(nullptr, kBmpFile, capture.get());
    const std::string bytes = ReadAll(kBmpFile);
    if (bytes.size() < 54) {
        fprintf(stderr, "the BMP writer wrote nothing\n");
        return 1;
    }
    DWORD pixelOffset = 0;
    memcpy(&pixelOffset, bytes.data() + 10, sizeof pixelOffset);

    int written = 1;
    const std::string temp = TempBmpPath();
    const std::vector<std::function<void()>> steps = {
        [&] { CreateBMPFile(nullptr, kBmpFile, capture.get()); },
        [&] { BarePieces(bytes, pixelOffset); },
        [&] { SingleWrite(bytes); },
        [&] {
            // The export's work without its message boxes: the first attempt, which finds no
            // image, then the temporary BMP, loaded and saved, and removed.
            NViewLibSaveAsJPG(90, kJpgFile);
            CreateBMPFile(nullptr, temp.c_str(), capture.get());
            NViewLibLoad(temp.c_str(), 0);
            written &= NViewLibSaveAsJPG(90, kJpgFile) != 0 ? 1 : 0;
            DeleteFileA(temp.c_str());
        },
        [&] { EncodeJpeg(picture, kFloorFile, 0.90f); },
        [&] { NViewLibLoad(kBmpFile, 0); },
        [&] {
            NViewLibLoad(kBmpFile, 0);
            NViewLibSaveAsJPG(90, kJpgFile);
        },
    };
    enum { kSave, kBare, kSingle, kExport, kFloor, kLoad, kLoadSave, kSteps };
    std::vector<std::vector<double>> ms(kSteps);
    std::vector<double> saveVsBare, saveVsSingle, bareVsSingle, exportVsFloor, exportVsWic;
    std::vector<double> floorMs;
    for (int round = 0; round <= kRuns; ++round) {
        std::vector<double> t(kSteps);
        for (size_t i = 0; i < kSteps; ++i) {
            const double start = Now();
            steps[i]();
            t[i] = Now() - start;
        }
        if (round == 0)
            continue;  // warm-up
        for (size_t i = 0; i < kSteps; ++i)
            ms[i].push_back(t[i]);
        saveVsBare.push_back(t[kSave] / t[kBare]);
        saveVsSingle.push_back(t[kSave] / t[kSingle]);
        bareVsSingle.push_back(t[kBare] / t[kSingle]);
        // The export must write the temporary BMP, as the BMP save does, and encode.
        floorMs.push_back(t[kSave] + t[kFloor]);
        exportVsFloor.push_back(t[kExport] / floorMs.back());
        exportVsWic.push_back(t[kExport] / t[kFloor]);
    }
    WritePpm(picture);

    printf("capture %ldx%ld at %u bits, BMP file %zu bytes; medians of %d rounds, each ratio "
           "taken within its round\n", bmp.bmWidth, bmp.bmHeight, bmp.bmBitsPixel, bytes.size(),
           kRuns);
    PrintTarget("BMP save (256-byte pieces)", Median(ms[kSave]), "a bare loop of 256-byte writes",
                Median(ms[kBare]), Median(saveVsBare), 1.1);
    printf("one single write                          %8.2f ms   save / single write = %.2fx, "
           "bare loop / single = %.2fx\n",
           Median(ms[kSingle]), Median(saveVsSingle), Median(bareVsSingle));
    printf("WIC encode from memory                    %8.2f ms\n", Median(ms[kFloor]));
    PrintTarget("JPEG export (no message boxes)", Median(ms[kExport]),
                "the floor (temporary BMP + bare WIC encode)", Median(floorMs),
                Median(exportVsFloor), 1.15);
    printf("  %s; its steps: temporary BMP ~%.2f ms, load (headers read + check) %.2f ms, save "
           "(rows read and converted as WIC encodes) %.2f ms; export / WIC encode alone = %.2fx\n",
           written ? "JPEG written every time" : "A JPEG WAS NOT WRITTEN", Median(ms[kSave]),
           Median(ms[kLoad]), Median(ms[kLoadSave]) - Median(ms[kLoad]), Median(exportVsWic));

    if (FILE* f = fopen(kResults, "w")) {
        fprintf(f, "export_ms=%.3f\nwic_encode_ms=%.3f\n", Median(ms[kExport]), Median(ms[kFloor]));
        fclose(f);
    }
    DeleteFileA(kBmpFile);
    DeleteFileA(kBareFile);
    DeleteFileA(kJpgFile);
    DeleteFileW(kFloorFile);
    return written ? 0 : 1;
}
