#include "output/sound.h"

#include "app/grabotine.h"
#include "win/system_dll.h"

#include <mmsystem.h>

void PlayWav(const char* lpName)
{
    HRSRC hResInfo = FindResourceA(hInst, lpName, "WAV");
    if (!hResInfo)
        return;
    HGLOBAL hRes = LoadResource(hInst, hResInfo);
    if (!hRes)
        return;
    // The sound library is loaded at the first shutter, not carried from start.
    static const auto play = SystemFunction<decltype(&sndPlaySoundA)>("winmm.dll", "sndPlaySoundA");
    const void* lpRes = LockResource(hRes);
    if (lpRes && play)
        play(static_cast<LPCSTR>(lpRes), SND_MEMORY | SND_NODEFAULT);
    FreeResource(hRes);
}
