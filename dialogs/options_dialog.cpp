#include "dialogs/dialogs.h"

INT_PTR CALLBACK BoiteOpt(HWND, UINT, WPARAM, LPARAM) { return 0; }
void ChangeFolder(HWND) {}
