#include "dialogs/dialogs.h"

#include "app/grabotine.h"
#include "resources/resource.h"

namespace {

void ShowAppName(HWND hwnd) { SetDlgItemTextA(hwnd, IDC_ABOUT_NAME, szAppName); }

// Only the dialog's own OK button closes it; the usual ids 1 and 2 are not ours.
INT_PTR OnAboutCommand(HWND hwnd, WORD id)
{
    if (id != IDC_ABOUT_OK)
        return 0;
    EndDialog(hwnd, 1);
    return 1;
}

}  // namespace

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM)
{
    switch (iMsg) {
    case WM_INITDIALOG: ShowAppName(hwnd); return 0;
    case WM_COMMAND: return OnAboutCommand(hwnd, LOWORD(wParam));
    case WM_CLOSE:
    case WM_DESTROY: EndDialog(hwnd, 0); return 0;
    default: return 0;
    }
}

void ShowAboutDialog(HWND owner)
{
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc, 0);
}
