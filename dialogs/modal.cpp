#include "dialogs/modal.h"

#include "app/grabotine.h"

INT_PTR DialogMessage(HWND hwnd, UINT iMsg, WPARAM wParam, void (*init)(HWND),
                      INT_PTR (*command)(HWND, WORD))
{
    switch (iMsg) {
    case WM_INITDIALOG: init(hwnd); return 0;
    case WM_COMMAND: return command(hwnd, LOWORD(wParam));
    case WM_CLOSE:
    case WM_DESTROY: EndDialog(hwnd, 0); return 0;
    default: return 0;
    }
}

void RunModal(int id, HWND owner, DLGPROC proc)
{
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(id), owner, proc, 0);
}
