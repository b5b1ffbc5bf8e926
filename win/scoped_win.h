// Small non-copyable owners for handles taken and given back within one call.
#pragma once
#include "win/system_dll.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <type_traits>

// A window's device context from GetDC, released to the same window.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND hwnd) : hwnd_(hwnd), hdc_(GetDC(hwnd)) {}
    ~ScopedGetDC() { if (hdc_) ReleaseDC(hwnd_, hdc_); }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    HDC get() const { return hdc_; }

private:
    HWND hwnd_;
    HDC hdc_;
};

struct DCDeleter {
    using pointer = HDC;
    void operator()(HDC hdc) const { DeleteDC(hdc); }
};
// A device context from CreateDC or CreateCompatibleDC.
using ScopedCreatedDC = std::unique_ptr<HDC__, DCDeleter>;

// Puts an object into a DC and puts the previous one back on the way out.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC hdc, HGDIOBJ obj) : hdc_(hdc), prev_(SelectObject(hdc, obj)) {}
    ~ScopedSelectObject() { if (prev_ && prev_ != HGDI_ERROR) SelectObject(hdc_, prev_); }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC hdc_;
    HGDIOBJ prev_;
};

// The DC's state (its clipping among it) saved, and put back on the way out.
class ScopedSaveDC {
public:
    explicit ScopedSaveDC(HDC hdc) : hdc_(hdc), saved_(SaveDC(hdc)) {}
    ~ScopedSaveDC() { if (saved_) RestoreDC(hdc_, saved_); }
    ScopedSaveDC(const ScopedSaveDC&) = delete;
    ScopedSaveDC& operator=(const ScopedSaveDC&) = delete;

private:
    HDC hdc_;
    int saved_;
};

// A WM_PAINT's BeginPaint, ended with EndPaint.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd), hdc_(BeginPaint(hwnd, &ps_)) {}
    ~ScopedPaint() { EndPaint(hwnd_, &ps_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC get() const { return hdc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_ = {};
    HDC hdc_;
};

// How long the program waits for a clipboard that another program (a clipboard manager, a
// remote-desktop session) holds open for a moment.
constexpr DWORD kClipboardWaitMs = 1000;

// The clipboard, opened for one window and closed again if the open succeeded.
class ScopedClipboard {
public:
    explicit ScopedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    // Waits up to waitMs for a clipboard held open, dispatching nothing meanwhile.
    ScopedClipboard(HWND owner, DWORD waitMs) : ScopedClipboard(owner)
    {
        for (const DWORD start = GetTickCount(); !open_ && GetTickCount() - start < waitMs;) {
            Sleep(10);
            open_ = OpenClipboard(owner) != FALSE;
        }
    }
    ~ScopedClipboard() { if (open_) CloseClipboard(); }
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

// A movable memory block locked for as long as the holder lives.
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL mem) : mem_(mem), p_(mem ? GlobalLock(mem) : nullptr) {}
    ~ScopedGlobalLock() { if (p_) GlobalUnlock(mem_); }
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
    void* get() const { return p_; }

private:
    HGLOBAL mem_;
    void* p_;
};

template <class T>
struct GdiObjectDeleter {
    using pointer = T;
    void operator()(T obj) const { DeleteObject(obj); }
};
// A GDI object (bitmap, pen, brush) that the holder deletes unless released.
template <class T>
using ScopedGdiObject = std::unique_ptr<std::remove_pointer_t<T>, GdiObjectDeleter<T>>;

// A kernel handle such as an open file; INVALID_HANDLE_VALUE and null both mean none.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : h_(h) {}
    ~ScopedHandle() { if (valid()) CloseHandle(h_); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

struct RegKeyCloser {
    using pointer = HKEY;
    void operator()(HKEY key) const { RegCloseKey(key); }
};
// An open registry key.
using ScopedRegKey = std::unique_ptr<HKEY__, RegKeyCloser>;

struct LocalMemFree {
    void operator()(void* p) const { LocalFree(p); }
};
struct GlobalMemFree {
    void operator()(void* p) const { GlobalFree(p); }
};
struct PidlFreer {
    void operator()(ITEMIDLIST* p) const { ILFree(p); }
};
template <class T>
using ScopedLocalMem = std::unique_ptr<T, LocalMemFree>;
template <class T>
using ScopedGlobalMem = std::unique_ptr<T, GlobalMemFree>;
// An item list the shell hands out, such as the folder browser's choice.
using ScopedPidl = std::unique_ptr<ITEMIDLIST, PidlFreer>;

// COM for the current thread, balanced only when this call set it up.
class ScopedCom {
public:
    ScopedCom() : hr_(ComInitialize()) {}
    ~ScopedCom() { if (SUCCEEDED(hr_)) ComUninitialize(); }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

private:
    HRESULT hr_;
};

// A COM interface pointer, released when the holder goes.
template <class T>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    ~ScopedComPtr() { reset(); }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    // For the out-parameter of a creating call; drops what was held before.
    T** put()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};
