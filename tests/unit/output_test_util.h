// Helpers of the image output tests: bitmaps with known pixels, an independent WIC decoder,
// and a watcher that reads and answers the message boxes this process shows.
#pragma once
#include "win/scoped_win.h"

#include <windows.h>
#include <wincodec.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace outtest {

struct Rgb {
    BYTE r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A bitmap the test owns, with the colour every pixel must show (top-down rows).
struct KnownBitmap {
    HBITMAP bmp = nullptr;
    LONG width = 0;
    LONG height = 0;
    std::vector<Rgb> expected;
    ~KnownBitmap()
    {
        if (bmp)
            DeleteObject(bmp);
    }
};

inline Rgb TableColour(unsigned i)
{
    return {static_cast<BYTE>(i * 37 + 5), static_cast<BYTE>(i * 91 + 17), static_cast<BYTE>(i * 53 + 101)};
}

inline BYTE Expand5(unsigned v) { return static_cast<BYTE>((v << 3) | (v >> 2)); }

// A DIB section at the given depth whose pixels differ from their neighbours.
inline void MakeDibSection(WORD bits, LONG width, LONG height, KnownBitmap& out)
{
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD table[256];
    } info = {};
    info.h.biSize = sizeof info.h;
    info.h.biWidth = width;
    info.h.biHeight = height;
    info.h.biPlanes = 1;
    info.h.biBitCount = bits;
    info.h.biCompression = BI_RGB;
    const unsigned entries = bits <= 8 ? 1u << bits : 0;
    for (unsigned i = 0; i < entries; ++i) {
        const Rgb c = TableColour(i);
        info.table[i] = {c.b, c.g, c.r, 0};
    }
    void* raw = nullptr;
    out.bmp = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw,
                               nullptr, 0);
    if (!out.bmp)
        return;
    out.width = width;
    out.height = height;
    out.expected.assign(static_cast<size_t>(width * height), Rgb{});
    BYTE* bits0 = static_cast<BYTE*>(raw);
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    for (LONG y = 0; y < height; ++y) {
        BYTE* row = bits0 + stride * static_cast<size_t>(height - 1 - y);  // bottom-up
        for (LONG x = 0; x < width; ++x) {
            const unsigned v = static_cast<unsigned>(x * 7 + y * 13 + x * y);
            Rgb& want = out.expected[static_cast<size_t>(y * width + x)];
            if (bits <= 8) {
                const unsigned index = v % entries;
                const unsigned shift = 8 - bits - (static_cast<unsigned>(x) * bits) % 8;
                row[static_cast<unsigned>(x) * bits / 8] |= static_cast<BYTE>(index << shift);
                want = TableColour(index);
            } else if (bits == 16) {
                const unsigned r = v % 32, g = (v * 3 + 7) % 32, b = (v * 5 + 1) % 32;
                const unsigned px = r << 10 | g << 5 | b;
                row[x * 2] = static_cast<BYTE>(px);
                row[x * 2 + 1] = static_cast<BYTE>(px >> 8);
                want = {Expand5(r), Expand5(g), Expand5(b)};
            } else {
                want = {static_cast<BYTE>(v), static_cast<BYTE>(v * 3 + 40), static_cast<BYTE>(v * 11 + 7)};
                BYTE* p = row + x * (bits / 8);
                p[0] = want.b;
                p[1] = want.g;
                p[2] = want.r;
            }
        }
    }
    GdiFlush();
}

// A file decoded by WIC itself, as top-down RGB.
struct Decoded {
    HRESULT hr = E_FAIL;
    UINT width = 0;
    UINT height = 0;
    GUID container = {};
    std::vector<Rgb> pixels;
};

inline Decoded DecodeWithWic(const std::string& path)
{
    Decoded d;
    ScopedCom com;
    ScopedComPtr<IWICImagingFactory> factory;
    d.hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()));
    if (FAILED(d.hr))
        return d;
    const std::wstring wide(path.begin(), path.end());
    ScopedComPtr<IWICBitmapDecoder> decoder;
    d.hr = factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                              WICDecodeMetadataCacheOnDemand, decoder.put());
    if (FAILED(d.hr))
        return d;
    decoder->GetContainerFormat(&d.container);
    ScopedComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(d.hr = decoder->GetFrame(0, frame.put())) ||
        FAILED(d.hr = frame->GetSize(&d.width, &d.height)))
        return d;
    ScopedComPtr<IWICFormatConverter> conv;
    if (FAILED(d.hr = factory->CreateFormatConverter(conv.put())) ||
        FAILED(d.hr = conv->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                       WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom)))
        return d;
    std::vector<BYTE> bgra(static_cast<size_t>(d.width) * d.height * 4);
    d.hr = conv->CopyPixels(nullptr, d.width * 4, static_cast<UINT>(bgra.size()), bgra.data());
    for (size_t i = 0; i + 3 < bgra.size(); i += 4)
        d.pixels.push_back({bgra[i + 2], bgra[i + 1], bgra[i]});
    return d;
}

// One message box as the user saw it.
struct BoxSeen {
    std::string caption;
    std::string text;
    std::string icon;  // "information", "error", "other" or "none"
    bool operator==(const BoxSeen& o) const
    {
        return caption == o.caption && text == o.text && icon == o.icon;
    }
};

// Watches for the message boxes of this process from a thread of its own, records each one
// and presses its OK button, for as long as it lives. onBox, when given, is called with each
// box's number (from 0) just before its OK is pressed.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(std::function<void(size_t)> onBox = nullptr)
        : onBox_(std::move(onBox)), thread_([this] { Run(); })
    {
    }
    ~MessageBoxWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<BoxSeen> seen()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    static BOOL CALLBACK FindBox(HWND hwnd, LPARAM param)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        char cls[32] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (pid == GetCurrentProcessId() && strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) {
            *reinterpret_cast<HWND*>(param) = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    static BOOL CALLBACK ReadStatic(HWND child, LPARAM param)
    {
        BoxSeen& box = *reinterpret_cast<BoxSeen*>(param);
        char cls[32] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (_stricmp(cls, "Static") != 0)
            return TRUE;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            const HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
            if (!icon)
                box.icon = "none";
            else if (icon == LoadIconA(nullptr, IDI_ASTERISK))
                box.icon = "information";
            else if (icon == LoadIconA(nullptr, IDI_HAND))
                box.icon = "error";
            else
                box.icon = "other";
        } else {
            char text[256] = {};
            GetWindowTextA(child, text, sizeof text);
            if (text[0])
                box.text = text;
        }
        return TRUE;
    }

    void Run()
    {
        while (!stop_) {
            HWND box = nullptr;
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
            if (!box) {
                Sleep(10);
                continue;
            }
            BoxSeen seen;
            seen.icon = "none";
            char caption[256] = {};
            GetWindowTextA(box, caption, sizeof caption);
            seen.caption = caption;
            EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(&seen));
            size_t number = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                number = seen_.size();
                seen_.push_back(seen);
            }
            if (onBox_)
                onBox_(number);
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            const DWORD start = GetTickCount();
            while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < 10000)
                Sleep(10);
        }
    }

    std::function<void(size_t)> onBox_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<BoxSeen> seen_;
    std::thread thread_;
};

const BoxSeen kInfoBox = {"Information", "Warning! Will create JPG file!", "information"};
const BoxSeen kRetryBox = {"Error Handled", "Error: cannot create JPG file\n\tRetry", "error"};
const BoxSeen kFailBox = {"Error Handled", "Error: cannot create JPG file", "error"};

}  // namespace outtest
