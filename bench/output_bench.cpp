// Saving a 1920 x 1080 capture: the BMP writer against bare writes of the same bytes, the
// JPEG export against its floor, the temporary BMP it must write plus WIC encoding the same
// pixels from memory, and the PNG save against the BMP save, on the bench picture and on a
// text-heavy window, beside WIC's own PNG encoder. The PNG files stay for output_bench.sh,
// which weighs them against ImageMagick's.
#include "win/scoped_win.h"
#include "bench_report.h"
#include "output/bmp_writer.h"
#include "output/jpeg_export.h"
#include "wic_codec.h"

#include <nviewlib.h>
#include <wincodec.h>

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
const char kPngFile[] = "output_bench.png";
const char kTextPngFile[] = "output_bench_text.png";
const char kTextPpmFile[] = "output_bench_text.ppm";
const char kTextBmpFile[] = "output_bench_text.bmp";
const wchar_t kWicPngFile[] = L"output_bench_wic.png";
const wchar_t kTextWicPngFile[] = L"output_bench_text_wic.png";

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// A full-HD picture of 24-bit rows, its pixels not yet set; bytes is their size.
Image NewPicture(UINT& bytes)
{
    Image image;
    ImageSizes(kWidth, kHeight, image.stride, bytes);
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.reset(new BYTE[bytes]);
    return image;
}

// Something like a desktop: smooth areas, edges and fine detail.
Image MakePicture()
{
    UINT bytes = 0;
    Image image = NewPicture(bytes);
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

// The header of the bench pictures: 24-bit rows, top first.
BITMAPINFO TopDown24()
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    return info;
}

// A text-heavy window as GDI draws it: caption, menu bar, a gutter of line numbers and full
// lines of smoothed text, black with blue words, on white.
Image MakeTextPicture()
{
    ScopedGetDC screen(nullptr);
    BITMAPINFO info = TopDown24();
    void* bits = nullptr;
    ScopedGdiObject<HBITMAP> dib(
        CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    {
        ScopedCreatedDC dc(CreateCompatibleDC(screen.get()));
        ScopedSelectObject select(dc.get(), dib.get());
        ScopedGdiObject<HFONT> font(CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET,
                                                0, 0, CLEARTYPE_QUALITY, 0, "DejaVu Sans"));
        ScopedSelectObject selectFont(dc.get(), font.get());
        const RECT all = {0, 0, kWidth, kHeight};
        FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        const RECT caption = {0, 0, kWidth, 24};
        ScopedGdiObject<HBRUSH> blue(CreateSolidBrush(RGB(0, 84, 166)));
        FillRect(dc.get(), &caption, blue.get());
        const RECT bars[] = {{0, 24, kWidth, 46}, {0, 46, 56, kHeight}};
        for (const RECT& bar : bars)
            FillRect(dc.get(), &bar, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        SetBkMode(dc.get(), TRANSPARENT);
        SetTextColor(dc.get(), RGB(255, 255, 255));
        TextOutA(dc.get(), 8, 4, "notes.txt - Editor", 18);
        SetTextColor(dc.get(), RGB(0, 0, 0));
        TextOutA(dc.get(), 8, 27, "File   Edit   Search   View   Help", 34);
        static const char* const words[] = {
            "the", "capture", "window", "of", "pixels", "and", "a", "file", "saved", "to",
            "clipboard", "format", "when", "is", "with", "region", "overlay", "tray", "icon",
            "program", "message", "options", "folder", "every", "screen", "text"};
        unsigned seed = 12345;
        int lineNumber = 1;
        for (int y = 50; y + 18 <= kHeight; y += 18, ++lineNumber) {
            char number[8];
            const int n = snprintf(number, sizeof number, "%4d", lineNumber);
            SetTextColor(dc.get(), RGB(96, 96, 96));
            TextOutA(dc.get(), 6, y, number, n);
            int x = 64;
            while (x < kWidth - 120) {
                seed = seed * 1103515245u + 12345u;
                const char* word = words[(seed >> 16) % (sizeof words / sizeof *words)];
                const int len = static_cast<int>(strlen(word));
                SetTextColor(dc.get(), (seed >> 8) % 7 == 0 ? RGB(0, 0, 200) : RGB(0, 0, 0));
                TextOutA(dc.get(), x, y, word, len);
                SIZE size = {};
                GetTextExtentPoint32A(dc.get(), word, len, &size);
                x += size.cx + 5;
            }
        }
        GdiFlush();
    }
    UINT bytes = 0;
    Image image = NewPicture(bytes);
    memcpy(image.pixels.get(), bits, bytes);
    return image;
}

// WIC's PNG encoder on the same pixels from memory, for comparison.
void EncodeWicPng(const Image& image, const wchar_t* path)
{
    ScopedCom com;
    ScopedComPtr<IWICImagingFactory> factory;
    ScopedComPtr<IWICStream> stream;
    ScopedComPtr<IWICBitmapEncoder> encoder;
    ScopedComPtr<IWICBitmapFrameEncode> frame;
    ScopedComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(ComCreateInstance(CLSID_WICImagingFactory, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(factory.put()))) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromFilename(path, GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), options.put())) ||
        FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(kWidth, kHeight)) ||
        FAILED(frame->SetPixelFormat(&format)) ||
        FAILED(frame->WritePixels(kHeight, image.stride, image.stride * kHeight,
                                  image.pixels.get())))
        return;
    frame->Commit();
    encoder->Commit();
}

// The capture as the grab makes it: a bitmap compatible with the screen.
HBITMAP MakeCapture(const Image& image)
{
    ScopedGetDC screen(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen.get(), kWidth, kHeight);
    BITMAPINFO info = TopDown24();
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

void WritePpm(const Image& image, const char* path)
{
    FILE* f = fopen(path, "wb");
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

// The PNG save's work without its message box, as CreatePNGFile does it: the capture's pixels
// in memory, loaded into the library and saved. Nonzero when the file was written.
int SavePng(HBITMAP capture, const char* path)
{
    ScopedGetDC dc(nullptr);
    ScopedGlobalMem<void> bmp(BmpFileInMemory(dc.get(), capture));
    ScopedGlobalLock lock(bmp.get());
    return lock.get() && NViewLibLoadMemory(lock.get(), static_cast<DWORD>(GlobalSize(bmp.get())))
               ? NViewLibSaveAsPNG(path)
               : 0;
}

long FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(path, GetFileExInfoStandard, &data)
               ? static_cast<long>(data.nFileSizeLow)
               : -1;
}

long FileSize(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data)
               ? static_cast<long>(data.nFileSizeLow)
               : -1;
}

}  // namespace

// Every round runs each contender once, in an order that turns by one step a round, so a
// neighbour's load hits them alike; the ratios are taken within each round and their median
// reported.
int main()
{
    const Image picture = MakePicture();
    ScopedGdiObject<HBITMAP> capture(MakeCapture(picture));
    const Image text = MakeTextPicture();
    ScopedGdiObject<HBITMAP> textCapture(MakeCapture(text));
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
        [&] { written &= SavePng(capture.get(), kPngFile); },
        [&] { EncodeWicPng(picture, kWicPngFile); },
        [&] { CreateBMPFile(nullptr, kTextBmpFile, textCapture.get()); },
        [&] { written &= SavePng(textCapture.get(), kTextPngFile); },
        [&] { EncodeWicPng(text, kTextWicPngFile); },
    };
    enum { kSave, kBare, kSingle, kExport, kFloor, kLoad, kLoadSave, kPng, kWicPng, kTextSave,
           kTextPng, kTextWicPng, kSteps };
    std::vector<std::vector<double>> ms(kSteps);
    std::vector<double> saveVsBare, saveVsSingle, bareVsSingle, exportVsFloor, exportVsWic;
    std::vector<double> floorMs, pngVsSave, textPngVsSave;
    for (int round = 0; round <= kRuns; ++round) {
        // Each round starts one step later, so that no step always follows the same one (and
        // pays for what that one left the file system and the cache to do).
        std::vector<double> t(kSteps);
        for (size_t k = 0; k < kSteps; ++k) {
            const size_t i = (k + static_cast<size_t>(round)) % kSteps;
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
        pngVsSave.push_back(t[kPng] / t[kSave]);
        textPngVsSave.push_back(t[kTextPng] / t[kTextSave]);
    }
    WritePpm(picture, kPpmFile);
    WritePpm(text, kTextPpmFile);

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

    PrintTarget("PNG save, bench picture", Median(ms[kPng]), "the BMP save", Median(ms[kSave]),
                Median(pngVsSave), 2);
    PrintTarget("PNG save, text-heavy window", Median(ms[kTextPng]), "the BMP save",
                Median(ms[kTextSave]), Median(textPngVsSave), 2);
    printf("  PNG files: bench picture %ld bytes, text-heavy window %ld bytes; %s\n",
           FileSize(kPngFile), FileSize(kTextPngFile),
           written ? "every PNG written" : "A PNG WAS NOT WRITTEN");
    printf("WIC's PNG encoder from memory, for comparison: bench picture %8.2f ms, %ld bytes; "
           "text-heavy window %8.2f ms, %ld bytes\n",
           Median(ms[kWicPng]), FileSize(kWicPngFile), Median(ms[kTextWicPng]),
           FileSize(kTextWicPngFile));

    if (FILE* f = fopen(kResults, "w")) {
        fprintf(f, "export_ms=%.3f\nwic_encode_ms=%.3f\n", Median(ms[kExport]), Median(ms[kFloor]));
        fclose(f);
    }
    DeleteFileA(kBmpFile);
    DeleteFileA(kBareFile);
    DeleteFileA(kJpgFile);
    DeleteFileW(kFloorFile);
    DeleteFileA(kTextBmpFile);
    DeleteFileW(kWicPngFile);
    DeleteFileW(kTextWicPngFile);
    return written ? 0 : 1;
}
