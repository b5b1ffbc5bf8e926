#include "output/bmp_writer.h"

void CreateBMPFile(HWND, LPCSTR, HBITMAP) {}
