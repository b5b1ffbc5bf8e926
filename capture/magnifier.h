// The magnifier of the overlay: a box beside the pointer with the pixels around it enlarged
// and a caption line.
#pragma once
#include <windows.h>

// Pixels across the lens (odd, so that the pointer's is the middle one) and how many times
// each is enlarged.
constexpr int kMagnifierSpan = 25;
constexpr int kMagnifierZoom = 8;
constexpr int kMagnifierLens = kMagnifierSpan * kMagnifierZoom;
constexpr int kMagnifierCaption = 18;
// Lens and caption inside a one-pixel frame.
constexpr SIZE kMagnifierSize = {kMagnifierLens + 2, kMagnifierLens + kMagnifierCaption + 2};
// Between the pointer and the box, so that the box never hides what is pointed at.
constexpr int kMagnifierGap = 24;

// Top-left corner of a box of that size beside pointer: below and to the right, flipped to
// the other side where it would cross the monitor's edge, and then kept inside the monitor
// (at its left and top edge when the monitor is smaller than the box). Any coordinate system.
POINT MagnifierPlace(POINT pointer, const RECT& monitor, SIZE box);

// The caption: the pointer's place on the virtual screen and, during a drag, the selection's
// width x height, in physical pixels.
void MagnifierCaption(char (&text)[64], POINT at, const RECT* selection);

// Readies buffer, a DC holding a bitmap of kMagnifierSize, for DrawMagnifier.
void PrepareMagnifier(HDC buffer);

// Draws the box at `at` on target, composed in the readied buffer and copied in one go, from a picture (a DC, of pictureSize) whose pixel
// (x, y) is target's: the pixels around pointer enlarged (black beyond the picture), a
// one-pixel inverted cross framing the pixel under it, and the caption.
void DrawMagnifier(HDC target, POINT at, HDC buffer, HDC picture, SIZE pictureSize,
                   POINT pointer, const char* caption);
