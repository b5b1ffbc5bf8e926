// Times a capture the way the program makes one, driving the real window procedure: a left
// press on the icon until the overlay is painted, and a button release until the clipboard
// holds the capture; beside them their floors: one bare BitBlt of the virtual screen (every
// monitor), and for the release one bare BitBlt of the region plus one bare SetClipboardData
// of its pixels. With two monitors the region spans both. Then a pointer move during a drag,
// with the magnifier and without, and the press with the magnifier on. Then snapping, among 40
// windows of another program: the press with it on against off, and a move that changes the
// highlighted window against a move of the rubber band.
#include "app/grabotine.h"
#include "app/settings.h"
#include "bench_report.h"
#include "capture/frozen.h"
#include "capture/grab.h"
#include "capture/overlay.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kRuns = 9;

LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Stamps the moment another thread is told that the clipboard changed.
std::atomic<LONGLONG> clipboardChangedAt{0};
HANDLE clipboardChanged = nullptr;

LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLIPBOARDUPDATE) {
        clipboardChangedAt = Now().QuadPart;
        SetEvent(clipboardChanged);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

DWORD WINAPI ListenerThread(LPVOID ready)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ListenerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CaptureBenchListener";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    AddClipboardFormatListener(hwnd);
    SetEvent(static_cast<HANDLE>(ready));
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    RemoveClipboardFormatListener(hwnd);
    DestroyWindow(hwnd);
    return 0;
}

// Lets the display finish what earlier steps left it to do: GDI's queued calls, then one
// read of a pixel from the screen, which waits for the display to catch up, then a pause in
// which it draws what the read did not wait for (windows hidden, exposed areas). Every timed
// step starts from here, so no step pays for its predecessor's drawing, whatever the order.
void Settle()
{
    GdiFlush();
    ScopedGetDC display(nullptr);
    ScopedCreatedDC mem(CreateCompatibleDC(display.get()));
    ScopedGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(display.get(), 1, 1));
    ScopedSelectObject select(mem.get(), bmp.get());
    BitBlt(mem.get(), 0, 0, 1, 1, display.get(), 0, 0, SRCCOPY);
    Sleep(50);
}

// The screen's own context, as the program copies through: a CreateDC("DISPLAY") one ignores
// monitors left of or above the primary under Wine.
double BareBitBlt(const RECT& area)
{
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    ScopedGetDC display(nullptr);
    ScopedGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(display.get(), w, h));
    ScopedCreatedDC mem(CreateCompatibleDC(display.get()));
    ScopedSelectObject select(mem.get(), bmp.get());
    Settle();
    const LARGE_INTEGER t0 = Now();
    BitBlt(mem.get(), 0, 0, w, h, display.get(), area.left, area.top, SRCCOPY);
    GdiFlush();
    return Ms(t0, Now());
}

// The region's pixels as the packed DIB the program hands the clipboard, made once.
std::vector<BYTE> RegionDib(int w, int h)
{
    ScopedGetDC screen(nullptr);
    ScopedGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(screen.get(), w, h));
    {
        ScopedCreatedDC mem(CreateCompatibleDC(screen.get()));
        ScopedSelectObject select(mem.get(), bmp.get());
        BitBlt(mem.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
    }
    BITMAP bm = {};
    GetObjectA(bmp.get(), sizeof bm, &bm);
    const DibLayout layout = DibLayoutFor(w, h, DibBitsFor(bm.bmBitsPixel));
    std::vector<BYTE> dib(layout.totalBytes);
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(dib.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = w;
    info->bmiHeader.biHeight = h;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = DibBitsFor(bm.bmBitsPixel);
    info->bmiHeader.biCompression = BI_RGB;
    GetDIBits(screen.get(), bmp.get(), 0, static_cast<UINT>(h),
              dib.data() + layout.totalBytes - layout.imageBytes, info, DIB_RGB_COLORS);
    info->bmiHeader.biClrUsed = layout.colours;
    return dib;
}

// One SetClipboardData of those pixels, and nothing else: the memory is filled, and the
// clipboard opened and emptied, before the clock starts.
double BareSetClipboardData(const std::vector<BYTE>& dib)
{
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, dib.size()));
    {
        ScopedGlobalLock lock(mem.get());
        memcpy(lock.get(), dib.data(), dib.size());
    }
    ScopedClipboard clipboard(nullptr);
    EmptyClipboard();
    Settle();
    const LARGE_INTEGER t0 = Now();
    if (SetClipboardData(CF_DIB, mem.get()))
        mem.release();
    return Ms(t0, Now());
}

// From the shell's report of a left press on the icon until the overlay has painted.
double PressToPainted()
{
    Settle();
    const LARGE_INTEGER t0 = Now();
    SendMessageA(hWndMain, WM_TRAYICON, 32000, WM_LBUTTONDOWN);
    // One message at a time: what the paint posts for later is not the press's.
    for (MSG msg; !IsWindowVisible(hWndMain) || GetUpdateRect(hWndMain, nullptr, FALSE);) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    GdiFlush();
    return Ms(t0, Now());
}

// A drag over region (on the virtual screen) in the overlay's client coordinates, the button
// still down.
void DragOver(const RECT& region)
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    SendMessageA(hWndMain, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(region.left - x, region.top - y));
    SendMessageA(hWndMain, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(region.right - x, region.bottom - y));
}

// Handles what a release posted, the making of its "PNG", and waits until the clipboard has
// told of that too, so that no late notice is taken for the next release's; its time.
double RenderPosted()
{
    ResetEvent(clipboardChanged);
    const LARGE_INTEGER t0 = Now();
    Pump();
    const double ms = Ms(t0, Now());
    WaitForSingleObject(clipboardChanged, 10000);
    return ms;
}

// From the button release over region until the clipboard tells of the capture, with "PNG"
// promised; then how long the making of that PNG, posted by the release, takes (pngMs).
double ReleaseToClipboard(const RECT& region, double& pngMs)
{
    PressToPainted();
    DragOver(region);
    ResetEvent(clipboardChanged);
    Settle();
    const LARGE_INTEGER t0 = Now();
    SendMessageA(hWndMain, WM_LBUTTONUP, 0, 0);
    WaitForSingleObject(clipboardChanged, 10000);
    LARGE_INTEGER t1;
    t1.QuadPart = clipboardChangedAt;
    pngMs = RenderPosted();
    return Ms(t0, t1);
}

// The parts of a release on their own, with the overlay up: erasing the outline, the grab.
void ReleaseParts(const RECT& region, double& eraseMs, double& grabMs)
{
    PressToPainted();
    DragOver(region);
    Settle();
    LARGE_INTEGER t0 = Now();
    DrawRectangle();
    GdiFlush();
    eraseMs = Ms(t0, Now());
    bEtat = 0;
    t0 = Now();
    SetBitmapClipBoard();
    grabMs = Ms(t0, Now());
    SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
    RenderPosted();  // the PNG the grab posted for, outside every measure
}

// Mid-drag pointer moves of a pixel or two (a mouse's usual step) over region, each one
// until it is drawn, on average; the overlay is cancelled afterwards.
double PointerMove(const RECT& region, bool magnifier)
{
    constexpr int kMoves = 20;
    AppliState.EtatMagnifier = magnifier ? 1 : 0;
    PressToPainted();
    DragOver(region);
    const int x = region.right - GetSystemMetrics(SM_XVIRTUALSCREEN) - 300;
    const int y = region.bottom - GetSystemMetrics(SM_YVIRTUALSCREEN) - 300;
    const LARGE_INTEGER t0 = Now();
    for (int i = 0; i < kMoves; ++i) {
        SendMessageA(hWndMain, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + i, y + i / 2));
        GdiFlush();
    }
    const double ms = Ms(t0, Now()) / kMoves;
    SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
    AppliState.EtatMagnifier = 0;
    return ms;
}

// Another process (this program again) shows kOtherWindows top-level windows of three buttons
// each, in a grid from (40, 40), until it is ended: what snapping lists at each press.
constexpr int kOtherWindows = 40;
constexpr char kWindowsShown[] = "GrabotineBenchWindowsShown";

POINT OtherWindowCorner(int i) { return {40 + (i % 8) * 200, 40 + (i / 8) * 180}; }

int ShowOtherWindows()
{
    const HINSTANCE inst = GetModuleHandleA(nullptr);
    for (int i = 0; i < kOtherWindows; ++i) {
        const POINT at = OtherWindowCorner(i);
        const HWND top = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_BORDER | WS_VISIBLE, at.x,
                                         at.y, 180, 160, nullptr, nullptr, inst, nullptr);
        for (int j = 0; j < 3; ++j)
            CreateWindowExA(0, "BUTTON", "button", WS_CHILD | WS_VISIBLE, 10, 10 + j * 48, 150,
                            40, top, nullptr, inst, nullptr);
    }
    ScopedHandle shown(OpenEventA(EVENT_MODIFY_STATE, FALSE, kWindowsShown));
    SetEvent(shown.get());
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// The other process, once its windows show; null when it could not be started.
HANDLE StartOtherWindows()
{
    ScopedHandle shown(CreateEventA(nullptr, TRUE, FALSE, kWindowsShown));
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    char line[MAX_PATH + 16] = {};
    snprintf(line, sizeof line, "\"%s\" windows", exe);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    WaitForSingleObject(shown.get(), 30000);
    return pi.hProcess;
}

// Pointer moves, no button down, each onto a button of another of the other program's windows,
// so that each changes the highlight; the average until drawn.
double SnapMove(double& listMs)
{
    constexpr int kMoves = 20;
    AppliState.EtatSnap = 1;
    PressToPainted();
    const LARGE_INTEGER listed = Now();
    Pump();  // the windows are listed after the first paint
    listMs = Ms(listed, Now());
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const LARGE_INTEGER t0 = Now();
    for (int i = 0; i < kMoves; ++i) {
        const POINT corner = OtherWindowCorner(i % 2);
        SendMessageA(hWndMain, WM_MOUSEMOVE, 0,
                     MAKELPARAM(corner.x + 60 - vx + i / 2, corner.y + 30 - vy));
        GdiFlush();
    }
    const double ms = Ms(t0, Now()) / kMoves;
    SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
    AppliState.EtatSnap = 0;
    return ms;
}

// Every format, as a reader gets them: the DIB, "PNG", and the bitmap the system makes from the
// DIB for the first reader who asks, who waits for that (renderMs).
bool ClipboardHoldsCapture(int w, int h, double& renderMs)
{
    ScopedClipboard clipboard(nullptr);
    if (!clipboard.open())
        return false;
    bool ok = false;
    {
        ScopedGlobalLock lock(GetClipboardData(CF_DIB));
        const auto* bi = static_cast<const BITMAPINFOHEADER*>(lock.get());
        ok = bi && bi->biWidth == w && bi->biHeight == h;
    }
    {
        const HGLOBAL png = GetClipboardData(RegisterClipboardFormatA("PNG"));
        ScopedGlobalLock lock(png);
        ok = ok && lock.get() && GlobalSize(png) > 8 &&
             memcmp(lock.get(), "\x89PNG", 4) == 0;
    }
    BITMAP bm = {};
    const LARGE_INTEGER t0 = Now();
    const HANDLE bmp = GetClipboardData(CF_BITMAP);
    renderMs = Ms(t0, Now());
    return ok && bmp && GetObjectA(bmp, sizeof bm, &bm) && bm.bmWidth == w && bm.bmHeight == h;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "windows") == 0)
        return ShowOtherWindows();
    ScopedHandle others(StartOtherWindows());
    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndMainProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32515));
    wc.lpszClassName = szAppName;
    RegisterClassExA(&wc);
    hWndMain = CreateWindowExA(0, szAppName, szAppName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               inst, nullptr);
    hInst = inst;

    clipboardChanged = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ScopedHandle changed(clipboardChanged);
    ScopedHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle listener(CreateThread(nullptr, 0, ListenerThread, ready.get(), 0, nullptr));
    WaitForSingleObject(ready.get(), INFINITE);

    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const RECT screen = {vx, vy, vx + w, vy + h};
    const int rw = std::min(w, 1920);
    const int rh = std::min(h, 1080);
    // With more than one monitor, the region straddles the primary's left edge where it can.
    const bool two = GetSystemMetrics(SM_CMONITORS) > 1;
    const int rx = two ? std::max(vx, std::min(-rw / 2, vx + w - rw)) : vx;
    const RECT region = {rx, vy, rx + rw, vy + rh};
    const char* const where = two ? ", two monitors" : "";

    const std::vector<BYTE> dib = RegionDib(rw, rh);
    std::vector<double> bareRegion, bareFull, bareSet, press, release, erase, grab, png;
    std::vector<double> pressVsFull, releaseVsFloor, releaseVsRegion;
    std::vector<double> moveOn, moveOff, moveVsOff, pressOn, pressOnVsFull;
    std::vector<double> pressSnap, pressNoSnap, snapVsNoSnap, snapMove, snapMoveVsBand, snapList;
    for (int i = 0; i < kRuns; ++i) {
        bareRegion.push_back(BareBitBlt(region));
        bareSet.push_back(BareSetClipboardData(dib));
        // The press and its floor: which of the two goes first turns each round.
        for (int k = 0; k < 2; ++k) {
            if (k == i % 2) {
                bareFull.push_back(BareBitBlt(screen));
                continue;
            }
            press.push_back(PressToPainted());
            SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
        }
        double pngMs = 0;
        release.push_back(ReleaseToClipboard(region, pngMs));
        png.push_back(pngMs);
        double eraseMs = 0;
        double grabMs = 0;
        ReleaseParts(region, eraseMs, grabMs);
        erase.push_back(eraseMs);
        grab.push_back(grabMs);
        pressVsFull.push_back(press.back() / bareFull.back());
        releaseVsFloor.push_back(release.back() / (bareRegion.back() + bareSet.back()));
        releaseVsRegion.push_back(release.back() / bareRegion.back());
        moveOff.push_back(PointerMove(region, false));
        moveOn.push_back(PointerMove(region, true));
        moveVsOff.push_back(moveOn.back() / moveOff.back());
        AppliState.EtatMagnifier = 1;
        pressOn.push_back(PressToPainted());
        SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
        AppliState.EtatMagnifier = 0;
        pressOnVsFull.push_back(pressOn.back() / bareFull.back());
        // Which of the two goes first turns each round.
        for (int k = 0; k < 2; ++k) {
            const bool snap = k == i % 2;
            AppliState.EtatSnap = snap ? 1 : 0;
            (snap ? pressSnap : pressNoSnap).push_back(PressToPainted());
            SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
        }
        AppliState.EtatSnap = 0;
        snapVsNoSnap.push_back(pressSnap.back() / pressNoSnap.back());
        double listMs = 0;
        snapMove.push_back(SnapMove(listMs));
        snapList.push_back(listMs);
        snapMoveVsBand.push_back(snapMove.back() / moveOff.back());
    }
    double renderMs = 0;
    const bool held = ClipboardHoldsCapture(rw, rh, renderMs);

    std::vector<double> floorMs;
    for (int i = 0; i < kRuns; ++i)
        floorMs.push_back(bareRegion[i] + bareSet[i]);
    printf("%d monitor(s), virtual screen %d x %d at (%d, %d), region %d x %d at (%d, %d), "
           "medians of %d rounds, each ratio taken within its round\n",
           GetSystemMetrics(SM_CMONITORS), w, h, vx, vy, rw, rh, rx, vy, kRuns);
    char pressLine[64];
    char releaseLine[64];
    snprintf(pressLine, sizeof pressLine, "press on the icon -> overlay painted%s", where);
    snprintf(releaseLine, sizeof releaseLine, "release -> clipboard holds the capture%s", where);
    printf("bare BitBlt of the region from the screen %8.2f ms\n", Median(bareRegion));
    printf("bare SetClipboardData of its pixels (DIB) %8.2f ms\n", Median(bareSet));
    printf("bare BitBlt of the full virtual screen    %8.2f ms\n", Median(bareFull));
    // Two full copies are the floor of the press: the snapshot and the first paint.
    PrintTarget(pressLine, Median(press), "a bare BitBlt of the same area", Median(bareFull),
                Median(pressVsFull), 2.2);
    PrintTarget(releaseLine, Median(release),
                "the floor (bare BitBlt of the region + bare SetClipboardData)", Median(floorMs),
                Median(releaseVsFloor), 1.3);
    PrintTarget(releaseLine, Median(release), "a bare BitBlt of the region", Median(bareRegion),
                Median(releaseVsRegion), 2);
    printf("  of which erasing the outline            %8.2f ms\n", Median(erase));
    printf("  of which the grab to the clipboard      %8.2f ms\n", Median(grab));
    printf("  then \"PNG\" made and put on the clipboard %8.2f ms (posted by the release, before "
           "any save)\n", Median(png));
    printf("clipboard holds the %d x %d DIB and PNG, and gives the bitmap, afterwards: %s\n", rw,
           rh, held ? "yes" : "NO");
    printf("  the first reader of the bitmap waits    %8.2f ms (the system makes it from the DIB)\n",
           renderMs);
    snprintf(pressLine, sizeof pressLine, "press -> overlay painted, magnifier on%s", where);
    PrintTarget(pressLine, Median(pressOn), "a bare BitBlt of the same area", Median(bareFull),
                Median(pressOnVsFull), 2.2);
    PrintTarget("pointer move mid-drag, magnifier on", Median(moveOn), "the same move without it",
                Median(moveOff), Median(moveVsOff), 3);
    PrintTarget("pointer move mid-drag, magnifier on", Median(moveOn), "the budget",
                2.0, Median(moveOn) / 2.0, 1);

    snprintf(pressLine, sizeof pressLine, "press -> overlay painted, snapping on%s", where);
    PrintTarget(pressLine, Median(pressSnap), "the same press with it off", Median(pressNoSnap),
                Median(snapVsNoSnap), 1.1);
    printf("  then the %d windows listed, after the paint %8.2f ms\n", kOtherWindows * 4,
           Median(snapList));
    PrintTarget("pointer move changing the snapped window", Median(snapMove),
                "a move of the rubber band", Median(moveOff), Median(snapMoveVsBand), 2);
    if (others.get())
        TerminateProcess(others.get(), 0);

    PostThreadMessageA(GetThreadId(listener.get()), WM_QUIT, 0, 0);
    WaitForSingleObject(listener.get(), 5000);
    return held ? 0 : 1;
}
