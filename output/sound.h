#pragma once

// Plays the "WAV" resource lpName synchronously from memory.
void PlayWav(const char* lpName);
