// Exporting the capture as a JPEG file through the image library.
#pragma once
#include <windows.h>

#include <string>

// The name of the temporary BMP file of the conversion.
constexpr char kTempBmp[] = "~temp.bmp";

// Where that file goes: the user's temporary folder, which the user can always write (the
// program's or the current folder may be one only administrators write); the current folder
// when there is no temporary folder that the 8-bit calls can open.
std::string TempBmpPath();

// Writes hBMP as a JPEG file through the image library, telling the user about each attempt;
// says whether the library reported the file written.
bool CreateJPGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
