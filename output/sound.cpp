#include "output/sound.h"

#include "app/grabotine.h"

#include <mmsystem.h>

void PlayWav(const char* lpName)
{
    HRSRC hResInfo = FindResourceA(hInst, lpName, "WAV");
    if (!hResInfo)
        return;
    HGLOBAL hRes = LoadResource(hInst, hResInfo);
    if (!hRes)
        return;
    const void* lpRes = LockResource(hRes);
    if (lpRes)
        sndPlaySoundA(static_cast<LPCSTR>(lpRes), SND_MEMORY | SND_NODEFAULT);
    FreeResource(hRes);
}
