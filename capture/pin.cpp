#include "capture/pin.h"

#include "app/grabotine.h"
#include "capture/grab.h"
#include "win/scoped_win.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr char kPinClass[] = "GrabotinePin";
// A one-pixel frame around the image, so that a pin shows where it ends over the same pixels.
constexpr int kFrame = 1;

struct Pin {
    HWND hwnd = nullptr;
    ScopedGdiObject<HBITMAP> image;
    SIZE size = {0, 0};
    int zoom = 100;
    bool moving = false;
    POINT grip = {0, 0};  // the pointer's offset from the window's corner while moving
};

// Every open pin, for Exit and the session's end; a pin, and the copy of the capture it holds,
// lives until its window is destroyed.
std::vector<std::unique_ptr<Pin>> pins;

Pin* PinOf(HWND hwnd) { return reinterpret_cast<Pin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

LONG Scaled(LONG length, int zoom)
{
    return std::max(1L, static_cast<LONG>(static_cast<long long>(length) * zoom / 100));
}

// The messages that follow its destruction find no pin.
void Forget(HWND hwnd)
{
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    pins.erase(std::remove_if(pins.begin(), pins.end(),
                              [hwnd](const std::unique_ptr<Pin>& pin) { return pin->hwnd == hwnd; }),
               pins.end());
}

// Nearest neighbour when zoomed, so that pixels stay sharp; one copy at 100 %.
void PaintPin(HWND hwnd, const Pin& pin)
{
    ScopedPaint paint(hwnd);
    RECT client = {};
    GetClientRect(hwnd, &client);
    FrameRect(paint.get(), &client, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
    ScopedCreatedDC source(CreateCompatibleDC(paint.get()));
    ScopedSelectObject select(source.get(), pin.image.get());
    if (pin.zoom == 100) {
        BitBlt(paint.get(), kFrame, kFrame, pin.size.cx, pin.size.cy, source.get(), 0, 0, SRCCOPY);
        return;
    }
    SetStretchBltMode(paint.get(), COLORONCOLOR);
    StretchBlt(paint.get(), kFrame, kFrame, Scaled(pin.size.cx, pin.zoom),
               Scaled(pin.size.cy, pin.zoom), source.get(), 0, 0, pin.size.cx, pin.size.cy,
               SRCCOPY);
}

void StartMove(HWND hwnd, Pin& pin)
{
    POINT cursor = {};
    RECT window = {};
    GetCursorPos(&cursor);
    GetWindowRect(hwnd, &window);
    pin.grip = {cursor.x - window.left, cursor.y - window.top};
    pin.moving = true;
    SetCapture(hwnd);
}

void Move(HWND hwnd, const Pin& pin)
{
    if (!pin.moving)
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetWindowPos(hwnd, nullptr, cursor.x - pin.grip.x, cursor.y - pin.grip.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EndMove(Pin& pin)
{
    pin.moving = false;
    if (GetCapture())
        ReleaseCapture();
}

void Zoom(HWND hwnd, Pin& pin, WPARAM wParam, LPARAM lParam)
{
    const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
    const int zoom = NextPinZoom(pin.zoom, notches);
    if (zoom == pin.zoom)
        return;
    POINT pointer = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(hwnd, &pointer);
    RECT window = {};
    GetWindowRect(hwnd, &window);
    const RECT to = ZoomedPinRect(window, pointer, pin.zoom, zoom, pin.size, kFrame);
    pin.zoom = zoom;
    SetWindowPos(hwnd, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// Esc closes, Ctrl+C copies as a capture does.
void OnKey(HWND hwnd, const Pin& pin, WPARAM key)
{
    if (key == VK_ESCAPE)
        DestroyWindow(hwnd);
    else if (key == 'C' && GetKeyState(VK_CONTROL) < 0)
        PutBitmapOnClipboard(pin.image.get());
}

LRESULT CALLBACK PinProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Pin* pin = PinOf(hwnd);
    if (!pin)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_PAINT: PaintPin(hwnd, *pin); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: StartMove(hwnd, *pin); return 0;
    case WM_MOUSEMOVE: Move(hwnd, *pin); return 0;
    case WM_LBUTTONUP: EndMove(*pin); return 0;
    case WM_CAPTURECHANGED: pin->moving = false; return 0;
    case WM_LBUTTONDBLCLK: DestroyWindow(hwnd); return 0;
    case WM_MOUSEWHEEL: Zoom(hwnd, *pin, wParam, lParam); return 0;
    case WM_KEYDOWN: OnKey(hwnd, *pin, wParam); return 0;
    case WM_DESTROY: Forget(hwnd); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

void RegisterPinClass()
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = PinProc;
    wc.hInstance = hInst;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32646));  // IDC_SIZEALL: it moves
    wc.lpszClassName = kPinClass;
    registered = RegisterClassA(&wc) != 0;
}

}  // namespace

int NextPinZoom(int zoom, int notches)
{
    const int* at = std::find(std::begin(kPinZooms), std::end(kPinZooms), zoom);
    const int count = static_cast<int>(std::size(kPinZooms));
    // An unknown zoom counts as 100 %.
    const int index = at == std::end(kPinZooms) ? 2 : static_cast<int>(at - std::begin(kPinZooms));
    return kPinZooms[std::clamp(index + notches, 0, count - 1)];
}

RECT ZoomedPinRect(const RECT& window, POINT pointer, int oldZoom, int newZoom, SIZE image,
                   int frame)
{
    // The image point under the pointer, in image pixels, and where the new zoom puts it.
    const long long x = static_cast<long long>(pointer.x - frame) * 100 / oldZoom;
    const long long y = static_cast<long long>(pointer.y - frame) * 100 / oldZoom;
    const LONG newX = static_cast<LONG>(x * newZoom / 100) + frame;
    const LONG newY = static_cast<LONG>(y * newZoom / 100) + frame;
    const LONG left = window.left + pointer.x - newX;
    const LONG top = window.top + pointer.y - newY;
    return {left, top, left + Scaled(image.cx, newZoom) + 2 * frame,
            top + Scaled(image.cy, newZoom) + 2 * frame};
}

POINT PinCorner(const RECT& region, SIZE image, bool onScreen, const RECT& monitor)
{
    if (onScreen)
        return {region.left, region.top};
    return {std::max(monitor.left, std::min(region.left, monitor.right - image.cx)),
            std::max(monitor.top, std::min(region.top, monitor.bottom - image.cy))};
}

bool PinCapture(HBITMAP capture, const RECT& region)
{
    BITMAP bm = {};
    if (!capture || !GetObjectA(capture, sizeof bm, &bm))
        return false;
    auto pin = std::make_unique<Pin>();
    pin->image.reset(CopyBitmap(capture));
    pin->size = {bm.bmWidth, bm.bmHeight};
    if (!pin->image)
        return false;
    const RECT image = {region.left, region.top, region.left + bm.bmWidth,
                        region.top + bm.bmHeight};
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromRect(&image, MONITOR_DEFAULTTONEAREST), &info);
    const bool onScreen = MonitorFromRect(&image, MONITOR_DEFAULTTONULL) != nullptr;
    const POINT corner = PinCorner(region, pin->size, onScreen, info.rcWork);
    RegisterPinClass();
    // Unowned: a window owned by the main one would rise above the overlay with it.
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPinClass, "Grabotine pin",
                                WS_POPUP, corner.x - kFrame, corner.y - kFrame,
                                bm.bmWidth + 2 * kFrame, bm.bmHeight + 2 * kFrame, nullptr,
                                nullptr, hInst, nullptr);
    if (!hwnd)
        return false;
    pin->hwnd = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pin.get()));
    pins.push_back(std::move(pin));
    ShowWindow(hwnd, SW_SHOW);
    return true;
}

void CloseAllPins()
{
    // Each destruction takes its pin out of the list; a window already gone is taken out here.
    while (!pins.empty()) {
        const HWND hwnd = pins.back()->hwnd;
        if (!DestroyWindow(hwnd))
            Forget(hwnd);
    }
}
