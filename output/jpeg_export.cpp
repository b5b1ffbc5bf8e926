#include "output/jpeg_export.h"

void CreateJPGFile(HWND, LPCSTR, HBITMAP) {}
