#include "dialogs/dialogs.h"

#include "app/grabotine.h"
#include "dialogs/modal.h"
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
    return DialogMessage(hwnd, iMsg, wParam, ShowAppName, OnAboutCommand);
}

void ShowAboutDialog(HWND owner, POINT at) { RunModal(IDD_ABOUT, owner, AboutProc, at); }
