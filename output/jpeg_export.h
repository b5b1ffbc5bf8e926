#pragma once
#include <windows.h>

// Writes hBMP as a JPEG file through the image library.
void CreateJPGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
