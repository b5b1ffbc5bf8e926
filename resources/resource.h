// Resource, command and control ids, shared by the resource script and the code.
#pragma once

#define IDI_GRABOTINE 32000
#define IDI_GRABOTINE_ALT 32001

#define IDD_ABOUT 2
#define IDD_OPTIONS 5

// Popup menu commands
#define IDM_EXIT 1
#define IDM_ABOUT 2
#define IDM_SAVE 3
#define IDM_OPTIONS 5
#define IDM_HELP 6
#define IDM_LASTREGION 7
#define IDM_DELAY 8
#define IDM_PIN 9
#define IDM_COPYPATH 10
#define IDM_OPENFOLDER 11

// About dialog
#define IDC_ABOUT_NAME 10
#define IDC_ABOUT_OK 100

// Options dialog
#define IDC_OPT_OK 100
#define IDC_OPT_SOUND 101
#define IDC_OPT_AUTOSAVE 102
#define IDC_OPT_JPEG 103
#define IDC_OPT_CHANGEDIR 104
#define IDC_OPT_FOLDER 105
#define IDC_OPT_HOTKEY 106
#define IDC_OPT_HOTKEY_NOTE 107
#define IDC_OPT_PNG 108
#define IDC_OPT_MAGNIFIER 109
#define IDC_OPT_CANCEL 110
#define IDC_OPT_SNAP 111
