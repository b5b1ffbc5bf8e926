#include "output/save.h"

#include "app/settings.h"
#include "capture/grab.h"
#include "output/bmp_writer.h"
#include "output/jpeg_export.h"
#include "output/sound.h"

#include <cstdio>

SYSTEMTIME st = {};

namespace {

// Enough for every save of one second, whatever else the directory holds.
constexpr int kMaxCopies = 1000;

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool FormatCaptureName(char* out, size_t size, const char* dir, const SYSTEMTIME& t,
                       const char* ext, int copy)
{
    char suffix[16] = {};
    if (copy > 1)
        snprintf(suffix, sizeof suffix, " (%d)", copy);
    const int n = snprintf(out, size, "%s\\%d%d%d_%d%d%s.%s", dir, t.wHour, t.wMinute, t.wSecond,
                           t.wDay, t.wMonth, suffix, ext);
    return n >= 0 && static_cast<size_t>(n) < size;
}

// Names have no year and no fixed width, so different saves can meet on one name: the later
// one takes a numbered name instead of destroying the earlier file.
bool PickCaptureName(char* out, size_t size, const char* dir, const SYSTEMTIME& t, const char* ext)
{
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        if (!FormatCaptureName(out, size, dir, t, ext, copy))
            return false;
        if (!FileExists(out))
            return true;
    }
    return false;
}

void SaveCaptureAt(HWND hwnd, const SYSTEMTIME& t)
{
    char Buffer[256] = {};
    switch (AppliState.extension) {
    case 0:
        if (PickCaptureName(Buffer, sizeof Buffer, AppliState.szpath, t, "bmp"))
            CreateBMPFile(hwnd, Buffer, hBitmap);
        break;
    case 1:
        if (PickCaptureName(Buffer, sizeof Buffer, AppliState.szpath, t, "jpg"))
            CreateJPGFile(hwnd, Buffer, hBitmap);
        break;
    default: break;
    }
}

void SaveCapture(HWND hwnd)
{
    GetLocalTime(&st);
    SaveCaptureAt(hwnd, st);
    if (AppliState.EtatSound == 1)
        PlayWav("Photo");
}
