#include "dialogs/dialogs.h"

#include "app/settings.h"
#include "dialogs/modal.h"
#include "win/scoped_win.h"
#include "resources/resource.h"

#include <shlobj.h>

namespace {

// Why Print Screen cannot be had, or null; for the dialog now open.
const char* hotkeyRefusal = nullptr;

// SaveAs 3, PNG.
constexpr int32_t kFormatPng = 3;

// What the two format boxes showed when the dialog opened.
UINT shownJpeg = BST_UNCHECKED;
UINT shownPng = BST_UNCHECKED;

void ShowFolder(HWND hwnd) { SetDlgItemTextA(hwnd, IDC_OPT_FOLDER, AppliState.szpath); }

// The stored values go to the boxes as they are, whatever the settings file held; PNG, which
// the JPG box cannot show, checks the PNG box instead.
void ShowOptions(HWND hwnd)
{
    CheckDlgButton(hwnd, IDC_OPT_SOUND, static_cast<UINT>(AppliState.EtatSound));
    CheckDlgButton(hwnd, IDC_OPT_AUTOSAVE, static_cast<UINT>(AppliState.EtatAutoSave));
    const bool png = AppliState.extension == kFormatPng;
    CheckDlgButton(hwnd, IDC_OPT_JPEG, png ? BST_UNCHECKED : static_cast<UINT>(AppliState.extension));
    CheckDlgButton(hwnd, IDC_OPT_PNG, png ? BST_CHECKED : BST_UNCHECKED);
    shownJpeg = IsDlgButtonChecked(hwnd, IDC_OPT_JPEG);
    shownPng = IsDlgButtonChecked(hwnd, IDC_OPT_PNG);
    CheckDlgButton(hwnd, IDC_OPT_HOTKEY, static_cast<UINT>(AppliState.EtatHotkey));
    CheckDlgButton(hwnd, IDC_OPT_MAGNIFIER, static_cast<UINT>(AppliState.EtatMagnifier));
    CheckDlgButton(hwnd, IDC_OPT_SNAP, static_cast<UINT>(AppliState.EtatSnap));
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
    AppliState.extension = ChosenFormat(AppliState.extension, shownJpeg, shownPng,
                                        IsDlgButtonChecked(hwnd, IDC_OPT_JPEG),
                                        IsDlgButtonChecked(hwnd, IDC_OPT_PNG));
    AppliState.EtatHotkey = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_HOTKEY));
    AppliState.EtatMagnifier = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_MAGNIFIER));
    AppliState.EtatSnap = static_cast<int32_t>(IsDlgButtonChecked(hwnd, IDC_OPT_SNAP));
}

// One format at a time: checking either format box clears the other.
void KeepOneFormat(HWND hwnd, int clicked, int other)
{
    if (IsDlgButtonChecked(hwnd, clicked) == BST_CHECKED)
        CheckDlgButton(hwnd, other, BST_UNCHECKED);
}

// The folder box is only ever written: its typed text is not an output directory.
INT_PTR OnOptionsCommand(HWND hwnd, WORD id)
{
    switch (id) {
    case IDC_OPT_JPEG: KeepOneFormat(hwnd, IDC_OPT_JPEG, IDC_OPT_PNG); return 0;
    case IDC_OPT_PNG: KeepOneFormat(hwnd, IDC_OPT_PNG, IDC_OPT_JPEG); return 0;
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

int ChosenFormat(int stored, UINT shownJpegBox, UINT shownPngBox, UINT jpeg, UINT png)
{
    if (jpeg == shownJpegBox && png == shownPngBox)
        return stored;
    return png == BST_CHECKED ? kFormatPng : static_cast<int>(jpeg);
}

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
