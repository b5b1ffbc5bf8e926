#define NVIEWLIB_BUILD
#include "nviewlib.h"

#include "win/scoped_win.h"
#include "bmp_decode.h"
#include "wic_codec.h"

#include <cstdint>
#include <memory>
#include <new>

namespace {

// Largest BMP file read, well above the largest image taken.
constexpr int64_t kMaxFileBytes = 512ll << 20;

// A loaded image: its BMP file mapped read-only and its layout checked; the rows are read
// where the system cache holds them, once, as the image is encoded. No copy of the file and
// no image of the whole are made. The file stays open for reading only as long as the image
// lives, so nobody can change or delete it in between.
class LoadedImage {
public:
    LoadedImage() = default;
    ~LoadedImage()
    {
        if (view_)
            UnmapViewOfFile(view_);
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;

    // False when the file cannot be mapped or is not a BMP file the library takes.
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
        // The view keeps the mapping for as long as it lives.
        ScopedHandle mapping(CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping.valid())
            return false;
        view_ = static_cast<const BYTE*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        return view_ && rows_.Open(view_, static_cast<size_t>(length.QuadPart));
    }

    const BmpRows& rows() const { return rows_; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    const BYTE* view_ = nullptr;
    BmpRows rows_;
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

}  // namespace

NVIEWLIB_API int NViewLibLoad(const char* pszFile, int flags)
{
    current.reset();
    if (!pszFile || flags != 0)
        return 0;
    std::unique_ptr<LoadedImage> image(new (std::nothrow) LoadedImage);
    if (!image || !image->Load(pszFile))
        return 0;
    current = std::move(image);
    return 1;
}

NVIEWLIB_API int NViewLibSaveAsJPG(int quality, const char* pszFile)
{
    // Dropped whatever happens (its file closed on return), so no later save can write this
    // image under another name.
    const std::unique_ptr<LoadedImage> image = std::move(current);
    if (!image || !pszFile || quality < 1 || quality > 100)
        return 0;
    std::unique_ptr<wchar_t[]> path;
    if (!WidePath(pszFile, path))
        return 0;
    return SUCCEEDED(EncodeJpeg(image->rows(), path.get(), static_cast<float>(quality) / 100.0f))
               ? 1
               : 0;
}
