// Writing a captured bitmap as a BMP file.
#pragma once
#include <windows.h>

// Writes hBMP (not selected into any DC) as a BMP file, replacing pszFile; says whether the
// whole file was written (a file cut short is deleted).
bool CreateBMPFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
