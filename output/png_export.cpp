#include "output/png_export.h"

#include "win/bitmap.h"
#include "win/scoped_win.h"

#include <nviewlib.h>

bool CreatePNGFile(HWND hwnd, LPCSTR pszFile, HBITMAP hBMP)
{
    int result = 0;
    {
        ScopedGetDC dc(hwnd);
        ScopedGlobalMem<void> bmp(hBMP && dc.get() ? BmpFileInMemory(dc.get(), hBMP) : nullptr);
        ScopedGlobalLock lock(bmp.get());
        if (lock.get() &&
            NViewLibLoadMemory(lock.get(), static_cast<DWORD>(GlobalSize(bmp.get()))))
            result = NViewLibSaveAsPNG(pszFile);
    }
    if (result == 0)
        MessageBoxA(nullptr, "Error: cannot create PNG file", "Error Handled",
                    MB_OK | MB_ICONERROR);
    return result != 0;
}
