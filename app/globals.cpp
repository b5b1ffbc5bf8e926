#include "app/grabotine.h"
#include "version.h"

const char szAppName[] = "Grabotine v. " GRABOTINE_VERSION;
HWND hWndMain = nullptr;
HINSTANCE hInst = nullptr;
