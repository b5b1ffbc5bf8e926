#pragma once
#include <windows.h>

// Writes hBMP (not selected into any DC) as a BMP file; silent on failure.
void CreateBMPFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
