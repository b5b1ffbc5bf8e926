// Exporting the capture as a PNG file through the image library.
#pragma once
#include <windows.h>

// Writes hBMP as a PNG file of exactly its pixels through the image library, handing it the
// pixels in memory; when no file could be written (none is left then), a message box says
// so. Says whether the file was written.
bool CreatePNGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP);
