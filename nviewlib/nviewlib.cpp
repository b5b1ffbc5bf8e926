#define NVIEWLIB_BUILD
#include "nviewlib.h"

#include "win/scoped_win.h"
#include "wic_codec.h"

#include <cstdint>
#include <new>

namespace {

// The one current image; empty between a save attempt and the next load.
Image current;

// Largest BMP file read, well above the largest image taken.
constexpr int64_t kMaxFileBytes = 512ll << 20;

bool ReadWholeFile(const char* pszFile, std::unique_ptr<BYTE[]>& data, DWORD& size)
{
    ScopedHandle file(CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file.get(), &length) || length.QuadPart <= 0 ||
        length.QuadPart > kMaxFileBytes)
        return false;
    size = static_cast<DWORD>(length.QuadPart);
    data.reset(new (std::nothrow) BYTE[size]);
    if (!data)
        return false;
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file.get(), data.get() + done, size - done, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    return true;
}

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
    current = Image();
    if (!pszFile || flags != 0)
        return 0;
    std::unique_ptr<BYTE[]> data;
    DWORD size = 0;
    if (!ReadWholeFile(pszFile, data, size))
        return 0;
    return SUCCEEDED(DecodeBmp(data.get(), size, current)) ? 1 : 0;
}

NVIEWLIB_API int NViewLibSaveAsJPG(int quality, const char* pszFile)
{
    // Dropped whatever happens, so no later save can write this image under another name.
    const Image image = std::move(current);
    current = Image();
    if (!image.pixels || !pszFile || quality < 1 || quality > 100)
        return 0;
    std::unique_ptr<wchar_t[]> path;
    if (!WidePath(pszFile, path))
        return 0;
    return SUCCEEDED(EncodeJpeg(image, path.get(), static_cast<float>(quality) / 100.0f)) ? 1 : 0;
}
