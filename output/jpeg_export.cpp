#include "output/jpeg_export.h"

#include "output/bmp_writer.h"

#include <nviewlib.h>

#include <cstdio>

namespace {

constexpr int kJpegQuality = 90;
constexpr char kInfoText[] = "Warning! Will create JPG file!";

bool TempBmpExists() { return GetFileAttributesA(kTempBmp) != INVALID_FILE_ATTRIBUTES; }

void DeleteTempBmp() { remove(kTempBmp); }

// hBMP to the temporary BMP, loaded into the library, saved as pszFile: the library's result
// (nonzero = written). The temporary file is left for the caller.
int SaveThroughTempBmp(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP)
{
    // A file of that name left by anything else must never reach the library: if it cannot
    // go, nothing is loaded and the attempt fails.
    DeleteTempBmp();
    if (TempBmpExists())
        return 0;
    CreateBMPFile(hwnd, kTempBmp, hBMP);
    NViewLibLoad(kTempBmp, 0);
    return NViewLibSaveAsJPG(kJpegQuality, pszFile);
}

}  // namespace

bool CreateJPGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP)
{
    int result = NViewLibSaveAsJPG(kJpegQuality, pszFile);
    char buffer[50] = {};
    snprintf(buffer, sizeof buffer, "%s", kInfoText);
    MessageBoxA(nullptr, buffer, "Information", MB_OK | MB_ICONINFORMATION);
    if (result != 0)
        return true;
    MessageBoxA(nullptr, "Error: cannot create JPG file\n\tRetry", "Error Handled",
                MB_OK | MB_ICONERROR);
    result = SaveThroughTempBmp(hwnd, pszFile, hBMP);
    DeleteTempBmp();
    if (result == 0)
        MessageBoxA(nullptr, "Error: cannot create JPG file", "Error Handled",
                    MB_OK | MB_ICONERROR);
    return result != 0;
}
