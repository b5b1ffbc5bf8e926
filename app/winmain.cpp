#include "app/grabotine.h"
#include "app/hotkey.h"
#include "app/settings.h"
#include "resources/resource.h"

namespace {

// The one thread's loop: the messages, and beside them, while Print Screen is refused, the
// event of a change to the keyboard's settings.
int RunMessageLoop()
{
    for (;;) {
        const HANDLE changed = KeyboardSettingsEvent();
        const DWORD count = changed ? 1 : 0;
        if (MsgWaitForMultipleObjectsEx(count, &changed, INFINITE, QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 &&
            count == 1)
            KeyboardSettingsChanged();
        MSG msg = {};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // One instance only: the running one is left alone.
    if (FindWindowA(szAppName, szAppName))
        return 0;

    WNDCLASSEXA wndclass = {};
    wndclass.cbSize = sizeof wndclass;
    wndclass.style = 0;
    wndclass.lpfnWndProc = WndMainProc;
    wndclass.hInstance = hInstance;
    wndclass.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_GRABOTINE));
    wndclass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32515));  // IDC_CROSS
    wndclass.hbrBackground = nullptr;
    wndclass.lpszMenuName = nullptr;
    wndclass.lpszClassName = szAppName;
    wndclass.hIconSm = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_GRABOTINE));
    RegisterClassExA(&wndclass);

    LoadSettings();

    HWND hwnd = CreateWindowExA(0, szAppName, szAppName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                hInstance, nullptr);
    hWndMain = hwnd;
    hInst = hInstance;

    TaskBarAdd(wndclass.hIcon, IDI_GRABOTINE);
    TellSettingsTrouble();
    ShowWindow(hWndMain, SW_HIDE);
    // After the icon, which tells the user when the key cannot be had.
    ApplyHotkeySetting();

    return RunMessageLoop();
}
