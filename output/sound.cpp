#include "output/sound.h"

void PlayWav(const char*) {}
