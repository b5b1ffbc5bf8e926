// The live GDI objects of the calling process, for the unit tests and the probe's hook alike.
#pragma once
#include <windows.h>

inline int CountGdiObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0)
        return static_cast<int>(reported);
    // Wine's GetGuiResources answers 0; it accepts a bare table index as a handle instead.
    int n = 0;
    for (ULONG_PTR i = 1; i < 0x10000; ++i)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0)
            ++n;
    return n;
}
