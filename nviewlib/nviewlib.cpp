#define NVIEWLIB_BUILD
#include "nviewlib.h"

#include "win/scoped_win.h"
#include "bmp_decode.h"
#include "png_writer.h"
#include "wic_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Largest BMP file read: twice the largest image taken (a 32-bit file holds a third more than
// its 24-bit rows), within the 32-bit sizes of a BMP file.
constexpr int64_t kMaxFileBytes = std::min<int64_t>(2 * kMaxImageBytes, 0xFFFFFFFF);

// Enough for every header and the largest colour table.
constexpr size_t kHeadBytes = 2048;

// A loaded image: its BMP file open and its layout checked; the rows are read with ReadFile,
// a band at a time, as the image is encoded. A read error (a removable or network drive gone
// away) then fails the save; a mapped view would raise an in-page error instead, which ends
// the process. No copy of the file and no image of the whole are made. The file stays open
// for reading only as long as the image lives, so nobody can change or delete it in between.
class LoadedImage {
public:
    LoadedImage() = default;
    ~LoadedImage()
    {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;

    // False when the file cannot be read or is not a BMP file the library takes.
    bool Load(const char* pszFile)
    {
        file_ = CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE)
            return false;
        LARGE_INTEGER length = {};
        if (!GetFileSizeEx(file_, &length) || length.QuadPart <= 0 ||
            length.QuadPart > kMaxFileBytes)
            return false;
        BYTE head[kHeadBytes];
        const size_t headBytes = length.QuadPart < static_cast<int64_t>(kHeadBytes)
                                     ? static_cast<size_t>(length.QuadPart)
                                     : kHeadBytes;
        return SUCCEEDED(Read(0, head, headBytes)) &&
               rows_.OpenHead(head, headBytes, static_cast<uint64_t>(length.QuadPart));
    }

    // A BMP file held in memory by the caller, read where it is.
    bool LoadMemory(const BYTE* data, size_t size)
    {
        memory_ = rows_.Open(data, size);
        return memory_;
    }

    HRESULT Encode(const wchar_t* path, float quality)
    {
        return EncodeJpeg(rows_.width(), rows_.height(), Bands(), path, quality);
    }

    HRESULT EncodePng(const PngSink& sink)
    {
        return ::EncodePng(rows_.width(), rows_.height(), Bands(), sink);
    }

private:
    ReadBand Bands()
    {
        return [this](UINT first, UINT count, BYTE* dst, UINT stride) {
            if (!memory_)
                return ReadFileBand(first, count, dst, stride);
            rows_.Convert(first, count, dst, stride);
            return S_OK;
        };
    }

    // bytes bytes of the file from offset into dst; all of them, or a failure.
    HRESULT Read(uint64_t offset, BYTE* dst, size_t bytes) const
    {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        if (!ReadFile(file_, dst, static_cast<DWORD>(bytes), &done, &at))
            return HRESULT_FROM_WIN32(GetLastError());
        return done == bytes ? S_OK : HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    }

    HRESULT ReadFileBand(UINT first, UINT count, BYTE* dst, UINT stride)
    {
        uint64_t offset = 0;
        size_t bytes = 0;
        rows_.StoredSpan(first, count, offset, bytes);
        if (bytes > storedBytes_) {
            stored_.reset(new (std::nothrow) BYTE[bytes]);
            storedBytes_ = stored_ ? bytes : 0;
            if (!stored_)
                return E_OUTOFMEMORY;
        }
        const HRESULT hr = Read(offset, stored_.get(), bytes);
        if (SUCCEEDED(hr))
            rows_.ConvertStored(count, stored_.get(), dst, stride);
        return hr;
    }

    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool memory_ = false;  // the rows are the caller's bytes, not a file's
    BmpRows rows_;
    std::unique_ptr<BYTE[]> stored_;  // a band's rows as the file holds them
    size_t storedBytes_ = 0;
};

// The one current image; none between a save attempt and the next load.
std::unique_ptr<LoadedImage> current;

bool WidePath(const char* pszFile, std::unique_ptr<wchar_t[]>& wide)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, pszFile, -1, nullptr, 0);
    if (length <= 0)
        return false;
    wide.reset(new (std::nothrow) wchar_t[length]);
    return wide && MultiByteToWideChar(CP_ACP, 0, pszFile, -1, wide.get(), length) == length;
}

// The current image, taken from whoever holds it: none is left for a later save.
std::unique_ptr<LoadedImage> TakeCurrent() { return std::move(current); }

// Bytes in movable global memory (the form the clipboard takes), grown as they come: a failure
// to grow is an answer, not an exception, and no second copy of the whole is made.
class GlobalBytes {
public:
    bool Append(const BYTE* data, size_t size)
    {
        if (size > capacity_ - used_ && !Grow(std::max(used_ + size, 2 * capacity_)) &&
            !Grow(used_ + size))
            return false;
        ScopedGlobalLock lock(mem_.get());
        if (!lock.get())
            return false;
        memcpy(static_cast<BYTE*>(lock.get()) + used_, data, size);
        used_ += size;
        return true;
    }

    // The block, cut to the bytes appended (a clipboard reader takes its size for theirs), for
    // the caller to own.
    HGLOBAL Release()
    {
        Resize(used_);
        return mem_.release();
    }

private:
    bool Grow(size_t bytes)
    {
        if (!Resize(bytes))
            return false;
        capacity_ = bytes;
        return true;
    }
    bool Resize(size_t bytes)
    {
        const HGLOBAL resized = mem_ ? GlobalReAlloc(mem_.get(), bytes, GMEM_MOVEABLE)
                                     : GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (!resized)
            return false;
        static_cast<void>(mem_.release());  // freed or moved by the reallocation
        mem_.reset(resized);
        return true;
    }

    ScopedGlobalMem<void> mem_;
    size_t used_ = 0;
    size_t capacity_ = 0;
};

// Any failure inside a call, thrown or not, is the call's failure, and drops the image as a
// save does: an exception crossing the C interface would end the caller.
template <class Fn>
auto Guarded(Fn fn) noexcept -> decltype(fn())
{
    try {
        return fn();
    } catch (...) {
        current.reset();
        return {};
    }
}

// The PNG of the image to path; a file cut short (a full disk) is deleted.
bool WritePng(LoadedImage& image, const wchar_t* path)
{
    bool written = false;
    {
        ScopedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        written = SUCCEEDED(image.EncodePng([&file](const BYTE* data, size_t size) {
            DWORD done = 0;
            return WriteFile(file.get(), data, static_cast<DWORD>(size), &done, nullptr) &&
                   done == size;
        }));
    }
    if (!written)
        DeleteFileW(path);
    return written;
}

}  // namespace

NVIEWLIB_API int NViewLibLoad(const char* pszFile, int flags)
{
    return Guarded([&] {
        current.reset();
        if (!pszFile || flags != 0)
            return 0;
        std::unique_ptr<LoadedImage> image(new (std::nothrow) LoadedImage);
        if (!image || !image->Load(pszFile))
            return 0;
        current = std::move(image);
        return 1;
    });
}

NVIEWLIB_API int NViewLibSaveAsJPG(int quality, const char* pszFile)
{
    return Guarded([&] {
        // Dropped whatever happens (its file closed on return), so no later save can write
        // this image under another name.
        const std::unique_ptr<LoadedImage> image = std::move(current);
        if (!image || !pszFile || quality < 1 || quality > 100)
            return 0;
        std::unique_ptr<wchar_t[]> path;
        if (!WidePath(pszFile, path))
            return 0;
        return SUCCEEDED(image->Encode(path.get(), static_cast<float>(quality) / 100.0f)) ? 1
                                                                                           : 0;
    });
}

NVIEWLIB_API int NViewLibLoadMemory(const void* data, DWORD size)
{
    return Guarded([&] {
        current.reset();
        if (!data)
            return 0;
        std::unique_ptr<LoadedImage> image(new (std::nothrow) LoadedImage);
        if (!image || !image->LoadMemory(static_cast<const BYTE*>(data), size))
            return 0;
        current = std::move(image);
        return 1;
    });
}

NVIEWLIB_API int NViewLibSaveAsPNG(const char* pszFile)
{
    return Guarded([&] {
        const std::unique_ptr<LoadedImage> image = TakeCurrent();
        std::unique_ptr<wchar_t[]> path;
        if (!image || !pszFile || !WidePath(pszFile, path))
            return 0;
        return WritePng(*image, path.get()) ? 1 : 0;
    });
}

NVIEWLIB_API HGLOBAL NViewLibCopyAsPNG(void)
{
    return Guarded([&]() -> HGLOBAL {
        const std::unique_ptr<LoadedImage> image = TakeCurrent();
        if (!image)
            return nullptr;
        GlobalBytes png;
        const bool made = SUCCEEDED(image->EncodePng(
            [&png](const BYTE* data, size_t size) { return png.Append(data, size); }));
        return made ? png.Release() : nullptr;
    });
}
