// The Win32 clipboard as another program sees it, and ways to drive or disturb a capture.
#include "probe.h"

#include "win/scoped_win.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

// The program may hold the clipboard for a moment: retry the open for a while.
bool OpenSoon(std::optional<ScopedClipboard>& clip)
{
    return PollFor(10000, [&] {
        clip.emplace(nullptr);
        return clip->open();
    });
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A BMP file around a packed DIB whose pixels start pixelOffset bytes into it.
std::string BmpFile(const std::string& dib, DWORD pixelOffset)
{
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfSize = static_cast<DWORD>(sizeof fh + dib.size());
    fh.bfOffBits = static_cast<DWORD>(sizeof fh) + pixelOffset;
    return std::string(reinterpret_cast<const char*>(&fh), sizeof fh) + dib;
}

DWORD DibPixelOffset(const BITMAPINFOHEADER& bi)
{
    DWORD colours = bi.biClrUsed;
    if (colours == 0 && bi.biBitCount <= 8)
        colours = 1u << bi.biBitCount;
    const DWORD masks = (bi.biCompression == BI_BITFIELDS && bi.biSize == sizeof bi) ? 12 : 0;
    return bi.biSize + masks + colours * static_cast<DWORD>(sizeof(RGBQUAD));
}

// CF_BITMAP as 32-bit bottom-up rows, read the way a pasting program reads it.
bool BitmapAsDib(HBITMAP bmp, std::string& dib)
{
    BITMAP bm = {};
    if (!GetObjectA(bmp, sizeof bm, &bm))
        return false;
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = bm.bmWidth;
    bi.biHeight = bm.bmHeight;
    bi.biPlanes = 1;
    bi.biBitCount = 32;
    bi.biCompression = BI_RGB;
    std::string pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight * 4, '\0');
    ScopedGetDC screen(nullptr);
    const int rows = GetDIBits(screen.get(), bmp, 0, static_cast<UINT>(bm.bmHeight), &pixels[0],
                               reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    if (rows != bm.bmHeight)
        return false;
    bi.biClrUsed = 0;
    dib = std::string(reinterpret_cast<const char*>(&bi), sizeof bi) + pixels;
    return true;
}

// clipboard-info: the formats on the clipboard (ids), then CF_BITMAP's and CF_DIB's
// width x height x depth when present.
int ClipboardInfo(const ProbeArgs& a)
{
    if (!a.empty())
        return 2;
    std::optional<ScopedClipboard> clip;
    if (!OpenSoon(clip))
        return 1;
    printf("formats=");
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f))
        printf("%u,", f);
    printf("\n");
    if (IsClipboardFormatAvailable(CF_BITMAP)) {
        BITMAP bm = {};
        GetObjectA(GetClipboardData(CF_BITMAP), sizeof bm, &bm);
        printf("bitmap=%ldx%ldx%u\n", bm.bmWidth, bm.bmHeight, bm.bmBitsPixel);
    }
    if (IsClipboardFormatAvailable(CF_DIB)) {
        const HGLOBAL mem = GetClipboardData(CF_DIB);
        ScopedGlobalLock dib(mem);
        if (dib.get() && GlobalSize(mem) >= sizeof(BITMAPINFOHEADER)) {
            const BITMAPINFOHEADER* bi = static_cast<const BITMAPINFOHEADER*>(dib.get());
            printf("dib=%ldx%ldx%u\n", bi->biWidth, bi->biHeight, bi->biBitCount);
        }
    }
    return 0;
}

// clipboard-save bitmap|dib|png PATH: writes that clipboard format as a BMP file, or the
// registered "PNG" as it is.
int ClipboardSave(const ProbeArgs& a)
{
    if (a.size() != 2 || (a[0] != "bitmap" && a[0] != "dib" && a[0] != "png"))
        return 2;
    std::optional<ScopedClipboard> clip;
    if (!OpenSoon(clip))
        return 1;
    std::string dib;
    if (a[0] == "png") {
        const HGLOBAL mem = GetClipboardData(RegisterClipboardFormatA("PNG"));
        ScopedGlobalLock lock(mem);
        return lock.get() && WriteFileBytes(a[1], std::string(static_cast<const char*>(lock.get()),
                                                              GlobalSize(mem)))
                   ? 0
                   : 1;
    }
    if (a[0] == "bitmap") {
        const HANDLE bmp = GetClipboardData(CF_BITMAP);
        if (!bmp || !BitmapAsDib(static_cast<HBITMAP>(bmp), dib))
            return 1;
    } else {
        const HGLOBAL mem = GetClipboardData(CF_DIB);
        ScopedGlobalLock lock(mem);
        if (!lock.get() || GlobalSize(mem) < sizeof(BITMAPINFOHEADER))
            return 1;
        dib.assign(static_cast<const char*>(lock.get()), GlobalSize(mem));
    }
    const BITMAPINFOHEADER* bi = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    return WriteFileBytes(a[1], BmpFile(dib, DibPixelOffset(*bi))) ? 0 : 1;
}

// screen-save X Y W H PATH: that part of the screen, read the way any program can, as a
// 32-bit BMP file.
int ScreenSave(const ProbeArgs& a)
{
    if (a.size() != 5)
        return 2;
    const int x = atoi(a[0].c_str()), y = atoi(a[1].c_str());
    const int w = atoi(a[2].c_str()), h = atoi(a[3].c_str());
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 32;
    void* bits = nullptr;
    ScopedGetDC screen(nullptr);
    ScopedGdiObject<HBITMAP> dib(CreateDIBSection(screen.get(), reinterpret_cast<BITMAPINFO*>(&bi),
                                                  DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.get())
        return 1;
    ScopedCreatedDC mem(CreateCompatibleDC(screen.get()));
    ScopedSelectObject select(mem.get(), dib.get());
    if (!BitBlt(mem.get(), 0, 0, w, h, screen.get(), x, y, SRCCOPY))
        return 1;
    GdiFlush();
    const std::string dibBytes = std::string(reinterpret_cast<const char*>(&bi), sizeof bi) +
                                 std::string(static_cast<const char*>(bits), static_cast<size_t>(w) * h * 4);
    return WriteFileBytes(a[4], BmpFile(dibBytes, sizeof bi)) ? 0 : 1;
}

// clipboard-set-text TEXT: another program takes the clipboard with some text.
int ClipboardSetText(const ProbeArgs& a)
{
    if (a.size() != 1)
        return 2;
    std::optional<ScopedClipboard> clip;
    if (!OpenSoon(clip))
        return 1;
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, a[0].size() + 1));
    {
        ScopedGlobalLock lock(mem.get());
        if (!lock.get())
            return 1;
        memcpy(lock.get(), a[0].c_str(), a[0].size() + 1);
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, mem.get()))
        return 1;
    mem.release();
    return 0;
}

// clipboard-text: prints CF_TEXT, or fails when there is none.
int ClipboardText(const ProbeArgs& a)
{
    if (!a.empty())
        return 2;
    std::optional<ScopedClipboard> clip;
    if (!OpenSoon(clip) || !IsClipboardFormatAvailable(CF_TEXT))
        return 1;
    ScopedGlobalLock text(GetClipboardData(CF_TEXT));
    if (!text.get())
        return 1;
    printf("%s\n", reinterpret_cast<const char*>(text.get()));
    return 0;
}

// clipboard-files: prints the names of CF_HDROP, one a line in UTF-8, or fails when there is
// no file list.
int ClipboardFiles(const ProbeArgs& a)
{
    std::optional<ScopedClipboard> clip;
    if (!a.empty() || !OpenSoon(clip) || !IsClipboardFormatAvailable(CF_HDROP))
        return 1;
    const HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH] = {};
        char utf8[4 * MAX_PATH] = {};
        DragQueryFileW(drop, i, name, MAX_PATH);
        WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
        printf("%s\n", utf8);
    }
    return count ? 0 : 1;
}

// clipboard-hold MS: holds the clipboard open for MS milliseconds, as a clipboard manager
// does while it reads; prints "held" once it has it.
int ClipboardHold(const ProbeArgs& a)
{
    std::optional<ScopedClipboard> clip;
    if (a.size() != 1 || !OpenSoon(clip))
        return 1;
    printf("held\n");
    fflush(stdout);
    Sleep(ParseNumber(a[0]));
    return 0;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// steal-focus HWND TIMEOUT_MS: shows a window of this process in front and activates it,
// then waits (pumping) for HWND to be hidden.
int StealFocus(const ProbeArgs& a)
{
    if (a.size() != 2)
        return 2;
    HWND target = ParseHwnd(a[0]);
    HWND mine = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "probe focus", WS_POPUP | WS_VISIBLE,
                                400, 300, 80, 40, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
    if (!mine)
        return 1;
    SetForegroundWindow(mine);
    SetActiveWindow(mine);
    SetFocus(mine);
    const bool hidden = PollFor(ParseNumber(a[1]), [&] {
        Pump();
        return !IsWindowVisible(target);
    });
    DestroyWindow(mine);
    return hidden ? 0 : 1;
}

// capture-loop HWND COUNT X1 Y1 X2 Y2: COUNT captures driven by the messages a left press on
// the icon and a drag send; prints how many completed.
int CaptureLoop(const ProbeArgs& a)
{
    if (a.size() != 6)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const int count = atoi(a[1].c_str());
    const RECT region = ParseRect(a, 2);
    int done = 0;
    while (done < count && CaptureOnce(hwnd, region))
        ++done;
    printf("%d\n", done);
    return done == count ? 0 : 1;
}

// command-to-overlay HWND ID TIMEOUT_MS: posts the menu command ID and prints the
// milliseconds until the overlay shows.
int CommandToOverlay(const ProbeArgs& a)
{
    if (a.size() != 3)
        return 2;
    HWND hwnd = ParseHwnd(a[0]);
    const DWORD start = GetTickCount();
    PostMessageA(hwnd, WM_COMMAND, ParseNumber(a[1]), 0);
    if (!PollFor(ParseNumber(a[2]), [&] { return IsWindowVisible(hwnd) != FALSE; }))
        return 1;
    printf("%lu\n", GetTickCount() - start);
    return 0;
}

}  // namespace

bool CaptureOnce(HWND hwnd, const RECT& drag)
{
    // A press posted without user input behind it now and then loses the focus to the window
    // manager the moment the overlay shows, which cancels it: such a press is given again.
    int presses = 0;
    do {
        if (++presses > 3) {
            fprintf(stderr, "capture: the overlay did not stay up after 3 presses\n");
            return false;
        }
        PostMessageA(hwnd, 2001, 32000, WM_LBUTTONDOWN);
    } while (!PollFor(5000, [&] { return IsWindowVisible(hwnd) != FALSE; }));
    const LPARAM to = MAKELPARAM(drag.right, drag.bottom);
    PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(drag.left, drag.top));
    PostMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, to);
    PostMessageA(hwnd, WM_LBUTTONUP, 0, to);
    if (!PollFor(10000, [&] { return !IsWindowVisible(hwnd); })) {
        fprintf(stderr, "capture: the overlay did not hide within 10 s of the release\n");
        return false;
    }
    return true;
}

namespace {

ProbeCommand clipboardInfo("clipboard-info", "", ClipboardInfo);
ProbeCommand clipboardSave("clipboard-save", "bitmap|dib|png PATH", ClipboardSave);
ProbeCommand screenSave("screen-save", "X Y W H PATH", ScreenSave);
ProbeCommand clipboardSetText("clipboard-set-text", "TEXT", ClipboardSetText);
ProbeCommand clipboardText("clipboard-text", "", ClipboardText);
ProbeCommand clipboardFiles("clipboard-files", "", ClipboardFiles);
ProbeCommand clipboardHold("clipboard-hold", "MS", ClipboardHold);
ProbeCommand stealFocus("steal-focus", "HWND TIMEOUT_MS", StealFocus);
ProbeCommand captureLoop("capture-loop", "HWND COUNT X1 Y1 X2 Y2", CaptureLoop);
ProbeCommand commandToOverlay("command-to-overlay", "HWND ID TIMEOUT_MS", CommandToOverlay);

}  // namespace
