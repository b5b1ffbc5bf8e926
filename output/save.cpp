#include "output/save.h"

SYSTEMTIME st = {};

void SaveCapture(HWND) {}
