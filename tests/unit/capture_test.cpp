#include "app/grabotine.h"
#include "app/settings.h"
#include "capture/frozen.h"
#include "capture/grab.h"
#include "capture/magnifier.h"
#include "capture/overlay.h"
#include "capture/pin.h"
#include "win/bitmap.h"
#include "win/scoped_win.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace {

// ------------------------------------------------------------------ pure rules

TEST(OrderRect, PutsEveryDragDirectionInOrderAndKeepsEqualEdges)
{
    struct Case {
        RECT drag;
        RECT ordered;
    };
    const Case cases[] = {
        {{10, 20, 110, 220}, {10, 20, 110, 220}},  // down-right: unchanged
        {{110, 220, 10, 20}, {10, 20, 110, 220}},  // up-left: the mirrored drag
        {{110, 20, 10, 220}, {10, 20, 110, 220}},  // down-left
        {{10, 220, 110, 20}, {10, 20, 110, 220}},  // up-right
        {{50, 60, 50, 60}, {50, 60, 50, 60}},      // a click: 0 x 0
        {{50, 90, 50, 60}, {50, 60, 50, 90}},      // 0 wide, upwards
        {{0, 0, 65535, 65535}, {0, 0, 65535, 65535}},
    };
    for (const Case& c : cases) {
        RECT r = c.drag;
        OrderRect(r);
        EXPECT_TRUE(EqualRect(&r, &c.ordered))
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST(DibBitsFor, LowDepthsStayAndTheRestBecomeTwentyFour)
{
    const WORD depths[][2] = {{1, 1}, {4, 4}, {8, 8}, {15, 24}, {16, 24}, {24, 24}, {32, 24}};
    for (const auto& d : depths)
        EXPECT_EQ(DibBitsFor(d[0]), d[1]) << d[0];
}

// The wheel steps through the zooms, stopping at both ends; an unknown zoom counts as 100 %.
// A zoom keeps the image pixel under the pointer under it, there and back, the frame outside.
TEST(Pin, WheelZoomsStepByStepAroundThePixelUnderThePointer)
{
    for (const auto& c : {std::array<int, 3>{100, 1, 200}, {100, -1, 50}, {400, 2, 800},
                          {800, 3, 800}, {50, -4, 25}, {77, 1, 200}})
        EXPECT_EQ(NextPinZoom(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    const RECT window = {99, 199, 99 + 202, 199 + 102};  // 200 x 100 at (100, 200)
    const RECT doubled = ZoomedPinRect(window, {51, 21}, 100, 200, {200, 100}, 1);
    const RECT want = {49, 179, 49 + 402, 179 + 202};
    EXPECT_TRUE(EqualRect(&doubled, &want));
    const RECT back = ZoomedPinRect(doubled, {101, 41}, 200, 100, {200, 100}, 1);
    EXPECT_TRUE(EqualRect(&back, &window));
    const RECT tiny = ZoomedPinRect({0, 0, 5, 5}, {1, 1}, 100, 25, {3, 3}, 1);
    EXPECT_EQ(tiny.right - tiny.left, 3);
}

// Where it was taken while that touches a monitor; else whole on the nearest one.
TEST(Pin, GoesWhereItWasTakenOrWholeOntoTheNearestMonitor)
{
    const RECT monitor = {0, 0, 1024, 768};
    EXPECT_EQ(PinCorner({-900, 50, -700, 150}, {200, 100}, true, monitor).x, -900);
    const POINT left = PinCorner({-900, 50, -700, 150}, {200, 100}, false, monitor);
    const POINT below = PinCorner({2000, 900, 2200, 1000}, {200, 100}, false, monitor);
    const POINT big = PinCorner({-3000, -10, -1000, 990}, {2000, 1000}, false, monitor);
    EXPECT_EQ(std::make_pair(left.x, left.y), std::make_pair(0L, 50L));
    EXPECT_EQ(std::make_pair(below.x, below.y), std::make_pair(824L, 668L));
    EXPECT_EQ(std::make_pair(big.x, big.y), std::make_pair(0L, 0L));
}

// Right of and below the pointer where it fits, flipped where not, never off the monitor;
// the second monitor lies at negative coordinates.
TEST(MagnifierPlace, StaysBesideThePointerAndOnItsMonitor)
{
    struct Case {
        RECT monitor;
        POINT pointer;
        POINT corner;
    };
    const SIZE box = {100, 50};
    const Case cases[] = {
        {{0, 0, 800, 600}, {10, 10}, {34, 34}},         // top-left corner
        {{0, 0, 800, 600}, {799, 599}, {675, 525}},     // bottom-right corner: both flipped
        {{0, 0, 800, 600}, {790, 300}, {666, 324}},     // right edge
        {{0, 0, 800, 600}, {400, 590}, {424, 516}},     // bottom edge
        {{-1024, 0, 0, 768}, {-1, 5}, {-125, 29}},      // at the primary's edge: stays left
        {{-1024, 0, 0, 768}, {-1024, 767}, {-1000, 693}},
        {{-800, -600, 0, 0}, {-400, -300}, {-376, -276}},
        {{0, 0, 150, 600}, {60, 10}, {0, 34}},          // no room either side: at the edge
        {{0, 0, 80, 40}, {40, 20}, {0, 0}},             // smaller than the box
    };
    for (const Case& c : cases) {
        const POINT got = MagnifierPlace(c.pointer, c.monitor, box);
        EXPECT_EQ(got.x, c.corner.x) << c.pointer.x << "," << c.pointer.y;
        EXPECT_EQ(got.y, c.corner.y) << c.pointer.x << "," << c.pointer.y;
    }
}

// A monitor to the right (x 800 on) was unplugged; the left one is at negative x.
TEST(CutToScreen, KeepsWhatIsLeftAndTellsWhenNothingIs)
{
    const RECT screen = {-1024, 0, 800, 768};
    struct Case {
        RECT region;
        bool left;
        RECT cut;
    };
    const Case cases[] = {
        {{10, 10, 60, 50}, true, {10, 10, 60, 50}},
        {{700, 700, 900, 800}, true, {700, 700, 800, 768}},
        {{-1100, 10, -1000, 50}, true, {-1024, 10, -1000, 50}},
        {{900, 10, 1000, 50}, false, {}},
        {{800, 10, 1000, 50}, false, {}},
        {{900, 10, 900, 10}, true, {800, 10, 800, 10}},  // a click's empty region stays one
    };
    for (const Case& c : cases) {
        RECT r = c.region;
        EXPECT_EQ(CutToScreen(r, screen), c.left) << c.region.left;
        EXPECT_TRUE(!c.left || EqualRect(&r, &c.cut)) << r.left << "," << r.top << "," << r.right;
    }
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b); }

TEST(CutToMonitors, KeepsWhatTheMonitorsShowAndTellsWhatWasLost)
{
    // A 1024 x 768 monitor left of an 800 x 600 primary: below the primary nothing shows.
    const std::vector<RECT> monitors = {{-1024, 0, 0, 768}, {0, 0, 800, 600}};
    struct Case {
        RECT region;
        Shown shown;
        RECT cut;
    };
    const Case cases[] = {
        {{10, 10, 60, 50}, Shown::Whole, {10, 10, 60, 50}},
        {{-100, 10, 100, 50}, Shown::Whole, {-100, 10, 100, 50}},
        {{700, 500, 900, 700}, Shown::Part, {700, 500, 800, 600}},
        // Still a box with a corner no monitor shows: said, since it comes out black.
        {{-100, 500, 100, 700}, Shown::Part, {-100, 500, 100, 700}},
        {{100, 650, 300, 700}, Shown::Nothing, {100, 650, 300, 700}},
        {{900, 10, 1000, 50}, Shown::Nothing, {900, 10, 1000, 50}},
    };
    for (const Case& c : cases) {
        RECT r = c.region;
        EXPECT_EQ(CutToMonitors(r, monitors), c.shown) << c.region.left << "," << c.region.top;
        EXPECT_TRUE(EqualRect(&r, &c.cut)) << r.left << "," << r.top << "," << r.right;
    }
}

TEST(ReachEdges, ADragToTheLastColumnOrRowTakesItInAndAClickStaysEmpty)
{
    const std::vector<RECT> monitors = {{-1024, 0, 0, 768}, {0, 0, 800, 600}};
    struct Case {
        RECT drag;
        RECT got;
    };
    const Case cases[] = {
        {{0, 0, 799, 599}, {0, 0, 800, 600}},                // the whole primary
        {{-1024, 0, 799, 599}, {-1024, 0, 800, 600}},        // both monitors' widths
        {{-1024, 0, -1, 767}, {-1024, 0, 0, 768}},           // nothing right of that corner
        {{-1024, 0, -1, 500}, {-1024, 0, -1, 500}},          // the next column is a monitor
        {{10, 10, 798, 598}, {10, 10, 798, 598}},            // short of the edge
        {{799, 599, 799, 599}, {799, 599, 799, 599}},        // a click stays empty
        {{10, 599, 799, 599}, {10, 599, 800, 599}},          // a line has no height to reach
    };
    for (const Case& c : cases) {
        RECT r = c.drag;
        ReachEdges(r, monitors);
        EXPECT_TRUE(EqualRect(&r, &c.got)) << r.left << "," << r.top << "," << r.right << ","
                                           << r.bottom;
    }
}

TEST(Snap, TakesTheInnermostWindowOnTopCutToItsParentAndSkipsWhatCannotBeSeen)
{
    const auto shown = [](RECT r) {
        WindowFacts f = {};
        f.rect = r;
        f.visible = true;
        return f;
    };
    SnapList list;
    // Left out, with all they hold: what shows nothing or takes no click.
    for (auto skip : {&WindowFacts::minimized, &WindowFacts::cloaked, &WindowFacts::ours,
                      &WindowFacts::shellDesktop, &WindowFacts::clickThrough,
                      &WindowFacts::invisibleLayer}) {
        WindowFacts f = shown({0, 0, 1024, 768});
        f.*skip = true;
        EXPECT_EQ(AddSnapWindow(list, f, -1), -1);
    }
    WindowFacts hidden = shown({0, 0, 1024, 768});
    hidden.visible = false;
    EXPECT_EQ(AddSnapWindow(list, hidden, -1), -1);
    EXPECT_EQ(AddSnapWindow(list, shown({5, 5, 5, 90}), -1), -1);  // no width
    // From the top down: a dialog over a main window holding a panel holding a button, and a
    // control hanging out of the panel, cut to it.
    const int dialog = AddSnapWindow(list, shown({300, 200, 500, 300}), -1);
    const int main = AddSnapWindow(list, shown({100, 100, 700, 500}), -1);
    const int panel = AddSnapWindow(list, shown({150, 150, 450, 450}), main);
    const int button = AddSnapWindow(list, shown({160, 160, 240, 190}), panel);
    const int wide = AddSnapWindow(list, shown({400, 400, 600, 420}), panel);
    EXPECT_EQ(AddSnapWindow(list, shown({460, 160, 480, 190}), panel), -1);  // outside it
    ASSERT_EQ(list.size(), 5u);
    EXPECT_TRUE(SameRect(list[static_cast<size_t>(wide)].rect, {400, 400, 450, 420}));

    EXPECT_EQ(SnapWindowAt(list, {200, 170}), button);
    EXPECT_EQ(SnapWindowAt(list, {350, 250}), dialog) << "what covers a window is on top";
    EXPECT_EQ(SnapWindowAt(list, {449, 410}), wide);
    EXPECT_EQ(SnapWindowAt(list, {600, 450}), main);
    EXPECT_EQ(SnapWindowAt(list, {800, 50}), -1);
    EXPECT_EQ(SnapDepth(list, button), 2);

    // Tab's steps out from the button stop at the top-level window; the virtual screen cuts.
    const std::vector<RECT> monitors = {{0, 0, 1024, 768}, {1024, 0, 1824, 600}};
    const RECT screen = {0, 0, 1824, 768};
    const RECT steps[] = {{160, 160, 240, 190}, {150, 150, 450, 450}, {100, 100, 700, 500},
                          {100, 100, 700, 500}};
    for (int wider = 0; wider < 4; ++wider) {
        const RECT got = SnapRect(list, monitors, {200, 170}, wider, screen);
        EXPECT_TRUE(EqualRect(&got, &steps[wider])) << wider;
    }
    // Over no window, the monitor under the pointer.
    RECT got = SnapRect(list, monitors, {1500, 50}, 0, screen);
    EXPECT_TRUE(EqualRect(&got, &monitors[1]));
    SnapList offEdge;
    AddSnapWindow(offEdge, shown({1700, 500, 1900, 700}), -1);
    got = SnapRect(offEdge, monitors, {1750, 550}, 0, screen);
    EXPECT_TRUE(SameRect(got, {1700, 500, 1824, 700}));
}

// ------------------------------------------------------------------ the real window

// A colour per pixel that differs from every neighbour, as 0x00RRGGBB.
uint32_t Pattern(int x, int y)
{
    const uint32_t r = static_cast<uint32_t>(x * 7 + y * 3) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y * 5 + (x >> 3) * 11) & 0xFF;
    const uint32_t b = static_cast<uint32_t>((x ^ y) * 13) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

int ScreenW() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenH() { return GetSystemMetrics(SM_CYSCREEN); }

LRESULT CALLBACK PatternProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_PAINT)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    const int w = ScreenW();
    const int h = ScreenH();
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y) * w + x] = Pattern(x, y);
    BITMAPINFO bi = TopDownInfo(w, h, 32);
    ScopedPaint paint(hwnd);
    SetDIBitsToDevice(paint.get(), 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                      static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
    return 0;
}

template <class F>
bool PumpUntil(F done, DWORD timeoutMs = 10000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
}

// Top-down 0x00RRGGBB pixels of a bitmap that is not selected into any DC.
std::vector<uint32_t> BitmapPixels(HBITMAP bmp, int w, int h)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    BITMAPINFO bi = TopDownInfo(w, h, 32);
    ScopedGetDC screen(nullptr);
    const int rows = GetDIBits(screen.get(), bmp, 0, static_cast<UINT>(h), px.data(), &bi,
                               DIB_RGB_COLORS);
    EXPECT_EQ(rows, h);
    for (uint32_t& p : px)
        p &= 0xFFFFFF;
    return px;
}

std::vector<uint32_t> ExpectedPixels(const RECT& r)
{
    std::vector<uint32_t> px;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            px.push_back(Pattern(x, y));
    return px;
}

// A window's surface (the whole screen for null), read back the way it is shown.
std::vector<uint32_t> WindowPixels(HWND hwnd)
{
    const int w = ScreenW();
    const int h = ScreenH();
    ScopedGetDC win(hwnd);
    ScopedGdiObject<HBITMAP> bmp(CopyRegion(win.get(), win.get(), {0, 0, w, h}, SRCCOPY));
    return BitmapPixels(bmp.get(), w, h);
}

struct ClipboardCapture {
    bool hasBitmap = false;
    bool hasDib = false;
    HBITMAP bitmap = nullptr;
    BITMAP bm = {};
    BITMAPINFOHEADER dib = {};
    std::vector<uint32_t> bitmapPixels;
    std::vector<uint32_t> dibPixels;  // top-down, 24- and 32-bit DIBs only
};

ClipboardCapture ReadClipboard()
{
    ClipboardCapture c;
    ScopedClipboard clipboard(nullptr);
    if (!clipboard.open())
        return c;
    c.bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    c.hasBitmap = c.bitmap && GetObjectA(c.bitmap, sizeof c.bm, &c.bm) != 0;
    if (c.hasBitmap)
        c.bitmapPixels = BitmapPixels(c.bitmap, c.bm.bmWidth, c.bm.bmHeight);
    ScopedGlobalLock lock(GetClipboardData(CF_DIB));
    if (const BYTE* p = static_cast<const BYTE*>(lock.get())) {
        c.hasDib = true;
        memcpy(&c.dib, p, sizeof c.dib);
        const size_t bytes = c.dib.biBitCount / 8u;
        if (bytes >= 3) {
            const size_t stride = (static_cast<size_t>(c.dib.biWidth) * bytes + 3) / 4 * 4;
            for (LONG y = c.dib.biHeight - 1; y >= 0; --y)
                for (LONG x = 0; x < c.dib.biWidth; ++x) {
                    const BYTE* px = p + c.dib.biSize + static_cast<size_t>(y) * stride + x * bytes;
                    c.dibPixels.push_back(static_cast<uint32_t>(px[0] | px[1] << 8 | px[2] << 16));
                }
        }
    }
    return c;
}

class Overlay : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HINSTANCE inst = GetModuleHandleA(nullptr);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WndMainProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32515));
        wc.lpszClassName = szAppName;
        RegisterClassExA(&wc);
        WNDCLASSEXA pc = {};
        pc.cbSize = sizeof pc;
        pc.lpfnWndProc = PatternProc;
        pc.hInstance = inst;
        pc.lpszClassName = "CaptureTestPattern";
        RegisterClassExA(&pc);

        pattern_ = CreateWindowExA(0, "CaptureTestPattern", "", WS_POPUP | WS_VISIBLE, 0, 0,
                                   ScreenW(), ScreenH(), nullptr, nullptr, inst, nullptr);
        hWndMain = CreateWindowExA(0, szAppName, szAppName, WS_POPUP, 0, 0, 0, 0, nullptr,
                                   nullptr, inst, nullptr);
        hInst = inst;
        // Wait until the display itself shows the pattern, corners and middle.
        const POINT probes[] = {{1, 1}, {ScreenW() - 2, ScreenH() - 2}, {ScreenW() / 2, 77}};
        onScreen_ = PumpUntil([&] {
            ScopedGetDC screen(nullptr);
            bool all = true;
            for (const POINT& p : probes) {
                const COLORREF c = GetPixel(screen.get(), p.x, p.y);
                const uint32_t rgb = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
                all = all && rgb == Pattern(p.x, p.y);
            }
            return all;
        });
    }

    void SetUp() override { ASSERT_TRUE(onScreen_) << "the pattern never reached the screen"; }

    // A left press on the icon, as the shell reports it; returns once the overlay is up. The
    // screen must show the whole pattern first: the part the last overlay uncovered is
    // repainted only as this thread gets to it, and a loaded machine can be late.
    static void OpenOverlay()
    {
        const std::vector<uint32_t> screen = ExpectedPixels({0, 0, ScreenW(), ScreenH()});
        ASSERT_TRUE(PumpUntil([&] { return WindowPixels(nullptr) == screen; }));
        SendMessageA(hWndMain, WM_TRAYICON, 32000, WM_LBUTTONDOWN);
        ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(hWndMain) != FALSE; }));
        PumpUntil([] { return GetQueueStatus(QS_ALLINPUT) == 0; }, 500);
    }

    static void Mouse(UINT msg, LONG x, LONG y)
    {
        SendMessageA(hWndMain, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    }

    static void Drag(LONG x1, LONG y1, LONG x2, LONG y2)
    {
        Mouse(WM_LBUTTONDOWN, x1, y1);
        Mouse(WM_MOUSEMOVE, (x1 + x2) / 2, (y1 + y2) / 2);
        Mouse(WM_MOUSEMOVE, x2, y2);
        Mouse(WM_LBUTTONUP, x2, y2);
    }

    static HWND pattern_;
    static bool onScreen_;
};

HWND Overlay::pattern_ = nullptr;
bool Overlay::onScreen_ = false;

TEST_F(Overlay, CoversTheMonitorAndShowsTheScreenAsItWas)
{
    OpenOverlay();
    RECT r = {};
    GetWindowRect(hWndMain, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, ScreenW());
    EXPECT_EQ(r.bottom, ScreenH());
    EXPECT_EQ(WindowPixels(hWndMain), ExpectedPixels({0, 0, ScreenW(), ScreenH()}));
    SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hWndMain));
    EXPECT_EQ(FrozenScreen(), nullptr);
}

TEST_F(Overlay, EveryDragDirectionGrabsTheSameExactPixelsInTheSmallestExactForm)
{
    const RECT want = {37, 51, 237, 181};
    const RECT drags[] = {
        {37, 51, 237, 181}, {237, 181, 37, 51}, {237, 51, 37, 181}, {37, 181, 237, 51}};
    const int depth = GetDeviceCaps(ScopedCreatedDC(CreateDCA("DISPLAY", nullptr, nullptr, nullptr)).get(),
                                    BITSPIXEL);
    for (const RECT& d : drags) {
        OpenOverlay();
        Drag(d.left, d.top, d.right, d.bottom);
        EXPECT_FALSE(IsWindowVisible(hWndMain));
        EXPECT_TRUE(EqualRect(&rect, &want));

        BITMAP bm = {};
        ASSERT_TRUE(GetObjectA(hBitmap, sizeof bm, &bm));
        EXPECT_EQ(bm.bmWidth, 200);
        EXPECT_EQ(bm.bmHeight, 130);
        EXPECT_EQ(bm.bmBitsPixel, depth == 32 ? 24 : depth) << "a 32-bit pixel's fourth byte is unused";
        EXPECT_EQ(BitmapPixels(hBitmap, 200, 130), ExpectedPixels(want));

        const ClipboardCapture clip = ReadClipboard();
        ASSERT_TRUE(clip.hasBitmap);
        ASSERT_TRUE(clip.hasDib);
        EXPECT_NE(clip.bitmap, hBitmap) << "the clipboard must own a bitmap of its own";
        EXPECT_EQ(clip.bm.bmBitsPixel, depth);
        EXPECT_EQ(clip.bitmapPixels, ExpectedPixels(want));
        EXPECT_EQ(clip.dib.biWidth, 200);
        EXPECT_EQ(clip.dib.biHeight, 130);
        EXPECT_EQ(clip.dib.biBitCount, 24) << "32 bits would carry an alpha of zero";
        EXPECT_EQ(clip.dibPixels, ExpectedPixels(want));
    }
}

TEST_F(Overlay, TheOutlineIsXoredOnTheBorderAndSurvivesARepaintWithoutATrace)
{
    OpenOverlay();
    Mouse(WM_LBUTTONDOWN, 300, 200);
    Mouse(WM_MOUSEMOVE, 120, 90);
    // A repaint mid-drag (another window passing over, say) must keep the outline whole,
    // so that the next move erases it everywhere.
    InvalidateRect(hWndMain, nullptr, FALSE);
    UpdateWindow(hWndMain);
    Mouse(WM_MOUSEMOVE, 100, 80);
    const std::vector<uint32_t> shown = WindowPixels(hWndMain);
    const int w = ScreenW();
    size_t changed = 0;
    for (int y = 0; y < ScreenH(); ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t want = Pattern(x, y);
            const uint32_t got = shown[static_cast<size_t>(y) * w + x];
            if (got == want)
                continue;
            ++changed;
            const bool onBorder = x >= 100 && x <= 299 && y >= 80 && y <= 199 &&
                                  (x == 100 || x == 299 || y == 80 || y == 199);
            ASSERT_TRUE(onBorder) << x << "," << y;
            ASSERT_EQ(got, want ^ 0xFFFFFFu) << x << "," << y;
        }
    EXPECT_GT(changed, 100u);
    EXPECT_LT(changed, 2u * (200 + 120));  // dotted: gaps are left alone
    Mouse(WM_LBUTTONUP, 100, 80);
    EXPECT_EQ(BitmapPixels(hBitmap, 200, 120), ExpectedPixels({100, 80, 300, 200}));
}

// With the mouse held, coordinates are signed; beyond the overlay's edge the corner stops there.
TEST_F(Overlay, ADragBeyondTheOverlaysEdgeStopsThere)
{
    OpenOverlay();
    Mouse(WM_LBUTTONDOWN, 100, 70);
    Mouse(WM_MOUSEMOVE, -40, -30);
    Mouse(WM_LBUTTONUP, -40, -30);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(BitmapPixels(hBitmap, 100, 70), ExpectedPixels({0, 0, 100, 70}));
}

TEST_F(Overlay, AClickGrabsTheOneByOneMonochromeBitmapOfAnEmptyRegion)
{
    OpenOverlay();
    Drag(400, 300, 400, 300);
    BITMAP bm = {};
    ASSERT_TRUE(GetObjectA(hBitmap, sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    const ClipboardCapture clip = ReadClipboard();
    ASSERT_TRUE(clip.hasBitmap);
    EXPECT_EQ(clip.bm.bmBitsPixel, 1);
    // Two bitmaps of their own: a shared one would be freed by whoever empties the clipboard
    // while the program still holds it.
    EXPECT_NE(clip.bitmap, hBitmap);
    ASSERT_TRUE(clip.hasDib);
    EXPECT_EQ(clip.dib.biBitCount, 1);
    EXPECT_EQ(clip.dib.biWidth, 1);
}

TEST_F(Overlay, AReleaseWithoutAPressGrabsTheLastRegionAgain)
{
    OpenOverlay();
    Drag(10, 300, 70, 260);
    const HBITMAP first = hBitmap;
    OpenOverlay();
    Mouse(WM_LBUTTONUP, 500, 500);
    EXPECT_NE(hBitmap, first);
    EXPECT_EQ(BitmapPixels(hBitmap, 60, 40), ExpectedPixels({10, 260, 70, 300}));
    EXPECT_EQ(ReadClipboard().dibPixels, ExpectedPixels({10, 260, 70, 300}));
}

TEST_F(Overlay, RightButtonAndFocusLossCancelWithoutTouchingCaptureOrClipboard)
{
    OpenOverlay();
    Drag(20, 20, 60, 60);
    const HBITMAP kept = hBitmap;
    const UINT cancels[] = {WM_RBUTTONUP, WM_KILLFOCUS, WM_CAPTURECHANGED};
    for (UINT cancel : cancels) {
        OpenOverlay();
        Mouse(WM_LBUTTONDOWN, 200, 200);
        Mouse(WM_MOUSEMOVE, 300, 260);
        if (cancel == WM_RBUTTONUP)
            SendMessageA(hWndMain, WM_RBUTTONUP, 0, MAKELPARAM(300, 260));
        else if (cancel == WM_CAPTURECHANGED)
            SetCapture(pattern_);  // another window takes the mouse the drag holds
        else
            SetActiveWindow(pattern_);  // another window of the desktop takes the focus
        EXPECT_TRUE(PumpUntil([] { return !IsWindowVisible(hWndMain); })) << cancel;
        EXPECT_EQ(bEtat, 0) << cancel;
        // The release that follows lands on no overlay.
        EXPECT_EQ(hBitmap, kept) << cancel;
        EXPECT_EQ(ReadClipboard().dibPixels, ExpectedPixels({20, 20, 60, 60})) << cancel;
    }
    EXPECT_EQ(BitmapPixels(hBitmap, 40, 40), ExpectedPixels({20, 20, 60, 60}));
}

TEST_F(Overlay, TheCaptureOutlivesAnotherProgramEmptyingTheClipboard)
{
    OpenOverlay();
    Drag(500, 100, 580, 150);
    const HBITMAP capture = hBitmap;
    {
        ScopedClipboard clipboard(nullptr);
        ASSERT_TRUE(clipboard.open());
        EmptyClipboard();
    }
    EXPECT_EQ(GetObjectType(capture), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(BitmapPixels(capture, 80, 50), ExpectedPixels({500, 100, 580, 150}));
    // Not left selected anywhere: a DC can take it, as the save code will.
    ScopedCreatedDC mem(CreateCompatibleDC(nullptr));
    const HGDIOBJ old = SelectObject(mem.get(), capture);
    EXPECT_NE(old, nullptr);
    SelectObject(mem.get(), old);
}

// A release waits for a clipboard held elsewhere; held past the wait, the capture there stays
// whole and the release says it could not reach it.
TEST_F(Overlay, ACaptureThatFindsTheClipboardBusyLeavesTheOneThereWhole)
{
    OpenOverlay();
    Drag(30, 40, 130, 100);
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD holdMs = 20000;
    const auto hold = [&] {
        const BOOL open = OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(done, holdMs);
        if (open)
            CloseClipboard();
    };
    std::thread holder(hold);
    WaitForSingleObject(opened, 20000);
    rect = {200, 100, 260, 150};
    EXPECT_FALSE(SetBitmapClipBoard());
    SetEvent(done);
    holder.join();

    EXPECT_EQ(BitmapPixels(hBitmap, 60, 50), ExpectedPixels({200, 100, 260, 150}));
    const ClipboardCapture clip = ReadClipboard();
    EXPECT_EQ(clip.dibPixels, ExpectedPixels({30, 40, 130, 100}));
    EXPECT_EQ(clip.bitmapPixels, ExpectedPixels({30, 40, 130, 100}));

    ResetEvent(opened);
    ResetEvent(done);
    holdMs = 150;
    std::thread brief(hold);
    WaitForSingleObject(opened, 20000);
    EXPECT_TRUE(SetBitmapClipBoard());
    SetEvent(done);
    brief.join();
    CloseHandle(opened);
    CloseHandle(done);
    EXPECT_EQ(ReadClipboard().dibPixels, ExpectedPixels({200, 100, 260, 150}));
}

// The magnifier follows the pointer through a drag and a repaint: outside its box the window
// is exactly what it is without the magnifier (the outline whole, not torn), inside it the
// pixel under the pointer is enlarged, and the grab has none of it.
TEST_F(Overlay, TheMagnifierChangesNothingOutsideItsBoxAndIsNeverInTheGrab)
{
    // The outline's bottom edge runs under both the old and the new box.
    const auto shownMidDrag = [] {
        OpenOverlay();
        Mouse(WM_LBUTTONDOWN, 500, 400);
        Mouse(WM_MOUSEMOVE, 250, 190);
        InvalidateRect(hWndMain, nullptr, FALSE);
        UpdateWindow(hWndMain);
        Mouse(WM_MOUSEMOVE, 260, 200);
        return WindowPixels(hWndMain);
    };
    const std::vector<uint32_t> plain = shownMidDrag();
    SendMessageA(hWndMain, WM_RBUTTONUP, 0, 0);
    AppliState.EtatMagnifier = 1;
    const std::vector<uint32_t> shown = shownMidDrag();
    const RECT box = {284, 224, 284 + kMagnifierSize.cx, 224 + kMagnifierSize.cy};
    const POINT cell = {box.left + 1 + kMagnifierSpan / 2 * kMagnifierZoom,
                        box.top + 1 + kMagnifierSpan / 2 * kMagnifierZoom};
    const int w = ScreenW();
    for (size_t i = 0; i < shown.size(); ++i) {
        const LONG x = static_cast<LONG>(i % static_cast<size_t>(w));
        const LONG y = static_cast<LONG>(i / static_cast<size_t>(w));
        const bool inBox = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
        const bool inCell = x >= cell.x && x < cell.x + kMagnifierZoom && y >= cell.y &&
                            y < cell.y + kMagnifierZoom;
        if (inBox ? !inCell || shown[i] == Pattern(260, 200) : shown[i] == plain[i])
            continue;
        FAIL() << x << "," << y;
    }
    Mouse(WM_LBUTTONUP, 260, 200);
    AppliState.EtatMagnifier = 0;
    EXPECT_EQ(BitmapPixels(hBitmap, 240, 200), ExpectedPixels({260, 200, 500, 400}));
}

TEST(Grab, RepeatedGrabsReplaceTheCaptureAndLeakNoGdiObject)
{
    rect = {0, 0, 64, 48};
    SetBitmapClipBoard();
    const int before = CountGdiObjects();
    for (int i = 0; i < 50; ++i) {
        const HBITMAP previous = hBitmap;
        rect = {i, i, 64 + i, 48 + 2 * i};
        SetBitmapClipBoard();
        ASSERT_NE(hBitmap, nullptr);
        EXPECT_NE(hBitmap, previous);
    }
    EXPECT_EQ(CountGdiObjects(), before);
}

}  // namespace
