#include "app/grabotine.h"

const char szAppName[] = "Grabotine v. 1.21";
HWND hWndMain = nullptr;
HINSTANCE hInst = nullptr;
