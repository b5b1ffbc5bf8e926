#include "win/system_dll.h"

FARPROC SystemProc(const char* dll, const char* name)
{
    // Only the system folder: a DLL of that name beside the program is never taken.
    const HMODULE module = LoadLibraryExA(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, name) : nullptr;
}

HRESULT ComInitialize()
{
    static const auto init = SystemFunction<decltype(&CoInitializeEx)>("ole32.dll",
                                                                       "CoInitializeEx");
    return init ? init(nullptr, COINIT_APARTMENTTHREADED) : E_NOTIMPL;
}

void ComUninitialize()
{
    static const auto uninit = SystemFunction<decltype(&CoUninitialize)>("ole32.dll",
                                                                         "CoUninitialize");
    if (uninit)
        uninit();
}

HRESULT ComCreateInstance(REFCLSID clsid, REFIID iid, void** object)
{
    static const auto create = SystemFunction<decltype(&CoCreateInstance)>("ole32.dll",
                                                                           "CoCreateInstance");
    return create ? create(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object) : E_NOTIMPL;
}
