#include "output/save.h"

#include "app/settings.h"
#include "capture/grab.h"
#include "output/bmp_writer.h"
#include "output/jpeg_export.h"
#include "output/png_export.h"
#include "output/sound.h"

#include "win/scoped_win.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Enough for every save of one second, whatever else the directory holds.
constexpr int kMaxCopies = 1000;

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Names picked by saves whose file is not written yet. An export waits on message boxes, and
// a save made meanwhile runs inside it: within the same second it must not pick the same name.
std::vector<std::string> namesInUse;

bool NameInUse(const char* path)
{
    return std::find(namesInUse.begin(), namesInUse.end(), path) != namesInUse.end();
}

// Holds a picked name for as long as its save runs.
class ReservedName {
public:
    explicit ReservedName(const char* path) : name_(path) { namesInUse.push_back(name_); }
    ~ReservedName() { namesInUse.erase(std::find(namesInUse.begin(), namesInUse.end(), name_)); }
    ReservedName(const ReservedName&) = delete;
    ReservedName& operator=(const ReservedName&) = delete;

private:
    std::string name_;
};

std::wstring lastSaved;

// Saves name their files in the code page (the folder perhaps by its short name): the user is
// given the path the shell shows, with the folder's own letters.
void RememberSaved(const char* path)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (n <= 0)
        return;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], n);
    const DWORD len = GetLongPathNameW(wide.c_str(), nullptr, 0);
    std::wstring full(len, L'\0');
    if (len > 0 && GetLongPathNameW(wide.c_str(), &full[0], len) == len - 1)
        wide.swap(full);
    wide.resize(wcslen(wide.c_str()));
    lastSaved.swap(wide);
}

}  // namespace

const std::wstring& LastSavedFile() { return lastSaved; }

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
        if (!FileExists(out) && !NameInUse(out))
            return true;
    }
    return false;
}

const char* CaptureExtension(int32_t format)
{
    switch (format) {
    case 0: return "bmp";
    case 1: return "jpg";
    case 3: return "png";
    default: return nullptr;
    }
}

bool SaveCaptureAt(HWND hwnd, const SYSTEMTIME& t)
{
    const int32_t format = AppliState.extension;
    const char* const ext = CaptureExtension(format);
    if (!ext)
        return true;
    char Buffer[256] = {};
    if (!PickCaptureName(Buffer, sizeof Buffer, AppliState.szpath, t, ext))
        return false;
    ReservedName reserved(Buffer);
    // The capture of this moment, the save's own: captures made while an export waits on its
    // message boxes replace hBitmap and free the old one.
    ScopedGdiObject<HBITMAP> capture(CopyBitmap(hBitmap));
    const bool written = format == 0   ? CreateBMPFile(hwnd, Buffer, capture.get())
                         : format == 3 ? CreatePNGFile(hwnd, Buffer, capture.get())
                                       : CreateJPGFile(hwnd, Buffer, capture.get());
    if (written)
        RememberSaved(Buffer);
    return written;
}

void SaveCapture(HWND hwnd)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    // The shutter says "saved": never after a save that wrote nothing it was asked to.
    if (SaveCaptureAt(hwnd, now) && AppliState.EtatSound == 1)
        PlayWav("Photo");
}
