// Exporting the capture as a JPEG file through the image library.
#pragma once
#include <windows.h>

// The temporary BMP file of the conversion, in the current directory.
constexpr char kTempBmp[] = "~temp.bmp";

// Writes hBMP as a JPEG file through the image library, telling the user about each attempt;
// says whether the library reported the file written.
bool CreateJPGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
