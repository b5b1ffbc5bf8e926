#include "output/jpeg_export.h"

#include "app/settings.h"
#include "output/bmp_writer.h"

#include <nviewlib.h>

#include <cstdio>

namespace {

constexpr int kJpegQuality = 90;
constexpr char kInfoText[] = "Warning! Will create JPG file!";

bool TempBmpExists(const std::string& temp)
{
    return GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteTempBmp(const std::string& temp) { remove(temp.c_str()); }

// hBMP to the temporary BMP, loaded into the library, saved as pszFile: the library's result
// (nonzero = written). The temporary file is left for the caller.
int SaveThroughTempBmp(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP, const std::string& temp)
{
    // A file of that name left by anything else must never reach the library: if it cannot
    // go, nothing is loaded and the attempt fails.
    DeleteTempBmp(temp);
    if (TempBmpExists(temp))
        return 0;
    CreateBMPFile(hwnd, temp.c_str(), hBMP);
    NViewLibLoad(temp.c_str(), 0);
    return NViewLibSaveAsJPG(kJpegQuality, pszFile);
}

}  // namespace

std::string TempBmpPath()
{
    wchar_t wide[MAX_PATH] = {};
    const DWORD n = GetTempPathW(MAX_PATH, wide);
    char folder[MAX_PATH] = {};
    if (n == 0 || n >= MAX_PATH || !AnsiFolderPath(wide, folder))
        return kTempBmp;
    std::string path = folder;
    if (path.back() != '\\')
        path += '\\';
    return path + kTempBmp;
}

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
    const std::string temp = TempBmpPath();
    result = SaveThroughTempBmp(hwnd, pszFile, hBMP, temp);
    DeleteTempBmp(temp);
    if (result == 0)
        MessageBoxA(nullptr, "Error: cannot create JPG file", "Error Handled",
                    MB_OK | MB_ICONERROR);
    return result != 0;
}
