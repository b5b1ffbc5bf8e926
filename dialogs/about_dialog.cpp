#include "dialogs/dialogs.h"

INT_PTR CALLBACK AboutProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
