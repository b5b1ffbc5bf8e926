#include "dialogs/dialogs.h"

#include "app/settings.h"
#include "dialogs/modal.h"
#include "win/scoped_win.h"
#include "resources/resource.h"

#include <shlobj.h>

namespace {

// Why Print Screen cannot be had, or null; for the dialog now open.
const char* hotkeyRefusal = nullptr;

void ShowFolder(HWND hwnd) { SetDlgItemTextA(hwnd, IDC_OPT_FOLDER, AppliState.szpath); }

// The stored values go to the boxes as they are, whatever the settings file held.
void ShowOptions(HWND hwnd)
{
    CheckDlgButton(hwnd, IDC_OPT_SOUND, static_cast<UINT>(AppliState.EtatSound));
    CheckDlgButton(hwnd, IDC_OPT_AUTOSAVE, static_cast<UINT>(AppliState.EtatAutoSave));
    CheckDlgButton(hwnd, IDC_OPT_JPEG, static_cast<UINT>(AppliState.extension));
    CheckDlgButton(hwnd, IDC_OPT_HOTKEY, static_cast<UINT>(AppliState.EtatHotkey));
    CheckDlgButton(hwnd, IDC_OPT_MAGNIFIER, static_cast<UINT>(AppliState.EtatMagnifier));
    EnableWindow(GetDlgItem(hwnd, IDC_OPT_HOTKEY), hotkeyRefusal == nullptr);
    SetDlgItemTextA(hwnd, IDC_OPT_HOTKEY_NOTE,
                    hotkeyRefusal ? hotkeyRefusal
                                  : "Also while another program is in front, as a press on the "
                                    "icon.");
    ShowFolder(hwnd);
}

void StoreOptions(HWND hwnd)
{
    AppliState.EtatSound = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_SOUND));
    AppliState.EtatAutoSave = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_AUTOSAVE));
    AppliState.extension = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_JPEG));
    AppliState.EtatHotkey = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_HOTKEY));
    AppliState.EtatMagnifier = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_MAGNIFIER));
}

// The folder box is only ever written: its typed text is not an output directory.
INT_PTR OnOptionsCommand(HWND hwnd, WORD id)
{
    switch (id) {
    case IDC_OPT_OK:
        StoreOptions(hwnd);
        EndDialog(hwnd, 1);
        return 1;
    case IDC_OPT_CHANGEDIR:
        ChangeFolder(hwnd);
        ShowFolder(hwnd);
        return 0;
    case IDC_OPT_CANCEL: EndDialog(hwnd, 0); return 0;
    default: return 0;  // 1 and 2 included: Enter and Escape do not close this dialog
    }
}

// The browser opens whole on the monitor of the Options dialog that owns it.
int CALLBACK OnBrowserEvent(HWND browser, UINT msg, LPARAM, LPARAM)
{
    if (msg == BFFM_INITIALIZED)
        PlaceOnMonitor(browser, MonitorFromWindow(GetWindow(browser, GW_OWNER),
                                                  MONITOR_DEFAULTTOPRIMARY));
    return 0;
}

}  // namespace

INT_PTR CALLBACK BoiteOpt(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM)
{
    return DialogMessage(hwnd, iMsg, wParam, ShowOptions, OnOptionsCommand);
}

void ShowOptionsDialog(HWND owner, POINT at, const char* refusal)
{
    hotkeyRefusal = refusal;
    RunModal(IDD_OPTIONS, owner, BoiteOpt, at);
}

// A chosen folder takes effect at once. The browser writes its display-name buffer even when
// cancelled, so it gets one of its own, and the output directory changes only when the choice
// converts to a path that 8-bit calls can open and that fits whole.
void ChangeFolder(HWND hwnd)
{
    ScopedCom com;
    char szDisplayName[MAX_PATH] = {};
    BROWSEINFOA BI = {};
    BI.hwndOwner = hwnd;
    BI.pidlRoot = nullptr;
    BI.pszDisplayName = szDisplayName;
    BI.lpszTitle = "Change output directory";
    BI.ulFlags = BIF_RETURNONLYFSDIRS;
    BI.lpfn = OnBrowserEvent;
    BI.lParam = 0;
    BI.iImage = 0;
    ScopedPidl pidlBrowse(SHBrowseForFolderA(&BI));
    if (!pidlBrowse)
        return;
    char path[MAX_PATH] = {};
    if (FolderPathOf(pidlBrowse.get(), path))
        SetFolderIfFits(path);
}
