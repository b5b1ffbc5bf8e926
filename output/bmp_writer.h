// Writing a captured bitmap as a BMP file.
#pragma once
#include <windows.h>

// Writes hBMP (not selected into any DC) as a BMP file, replacing pszFile; silent on failure.
void CreateBMPFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
