// Exporting the capture as a JPEG file through the image library.
#pragma once
#include <windows.h>

// The temporary BMP file of the conversion, in the current directory.
constexpr char kTempBmp[] = "~temp.bmp";

// Writes hBMP as a JPEG file through the image library, telling the user about each attempt.
void CreateJPGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);

// The conversion path without any message: hBMP to the temporary BMP, loaded into the
// library, saved as pszFile. Returns the library's result (nonzero = written). The temporary
// file is left for DeleteTempBmp.
int SaveThroughTempBmp(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);

void DeleteTempBmp();
