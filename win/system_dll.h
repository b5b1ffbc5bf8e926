// Functions of Windows DLLs the program needs only now and then (COM, sound), looked up at
// their first use instead of bound at start: a tray program at rest should not carry them.
#pragma once
#include <windows.h>
#include <objbase.h>

// The function name of the system DLL dll (loaded from the system folder, then kept), or
// null when either is missing.
FARPROC SystemProc(const char* dll, const char* name);

template <class F>
F SystemFunction(const char* dll, const char* name)
{
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(SystemProc(dll, name)));
}

// COM's calls through ole32 loaded at the first of them; failures as COM reports them.
HRESULT ComInitialize();
void ComUninitialize();
HRESULT ComCreateInstance(REFCLSID clsid, REFIID iid, void** object);
