#include "capture/magnifier.h"

#include "win/scoped_win.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Right or below where there is room, else left or above; then inside [low, high).
LONG PlaceAlong(LONG pointer, LONG low, LONG high, LONG size)
{
    LONG at = pointer + kMagnifierGap;
    if (at + size > high)
        at = pointer - kMagnifierGap - size;
    return std::max(low, std::min(at, high - size));
}

// The part of the picture around pointer, and where it lands in the lens; black where the
// lens reaches beyond the picture.
void DrawLens(HDC buffer, HDC picture, SIZE pictureSize, POINT pointer)
{
    const LONG half = kMagnifierSpan / 2;
    const RECT around = {pointer.x - half, pointer.y - half, pointer.x + half + 1,
                         pointer.y + half + 1};
    const RECT whole = {0, 0, pictureSize.cx, pictureSize.cy};
    RECT source = {};
    IntersectRect(&source, &around, &whole);
    if (!EqualRect(&source, &around))
        PatBlt(buffer, 1, 1, kMagnifierLens, kMagnifierLens, BLACKNESS);
    if (IsRectEmpty(&source))
        return;
    StretchBlt(buffer, 1 + (source.left - pointer.x + half) * kMagnifierZoom,
               1 + (source.top - pointer.y + half) * kMagnifierZoom,
               (source.right - source.left) * kMagnifierZoom,
               (source.bottom - source.top) * kMagnifierZoom, picture, source.left, source.top,
               source.right - source.left, source.bottom - source.top, SRCCOPY);
}

// Inverted, so it shows on every colour: a frame around the middle pixel and arms from it to
// the lens's edges, through the middle of its row and column.
void DrawCross(HDC buffer)
{
    const int cell = 1 + (kMagnifierSpan / 2) * kMagnifierZoom;  // the middle pixel's corner
    const int mid = cell + kMagnifierZoom / 2;
    const int end = 1 + kMagnifierLens;
    const RECT lines[] = {
        {cell - 1, cell - 1, cell + kMagnifierZoom + 1, cell},
        {cell - 1, cell + kMagnifierZoom, cell + kMagnifierZoom + 1, cell + kMagnifierZoom + 1},
        {cell - 1, cell, cell, cell + kMagnifierZoom},
        {cell + kMagnifierZoom, cell, cell + kMagnifierZoom + 1, cell + kMagnifierZoom},
        {1, mid, cell - 1, mid + 1},
        {cell + kMagnifierZoom + 1, mid, end, mid + 1},
        {mid, 1, mid + 1, cell - 1},
        {mid, cell + kMagnifierZoom + 1, mid + 1, end},
    };
    for (const RECT& r : lines)
        PatBlt(buffer, r.left, r.top, r.right - r.left, r.bottom - r.top, DSTINVERT);
}

void DrawCaption(HDC buffer, const char* caption)
{
    RECT line = {1, 1 + kMagnifierLens, 1 + kMagnifierLens, 1 + kMagnifierLens + kMagnifierCaption};
    PatBlt(buffer, line.left, line.top, line.right - line.left, line.bottom - line.top, BLACKNESS);
    DrawTextA(buffer, caption, -1, &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

POINT MagnifierPlace(POINT pointer, const RECT& monitor, SIZE box)
{
    return {PlaceAlong(pointer.x, monitor.left, monitor.right, box.cx),
            PlaceAlong(pointer.y, monitor.top, monitor.bottom, box.cy)};
}

void MagnifierCaption(char (&text)[64], POINT at, const RECT* selection)
{
    if (selection)
        snprintf(text, sizeof text, "%ld, %ld    %ld x %ld", static_cast<long>(at.x),
                 static_cast<long>(at.y), labs(selection->right - selection->left),
                 labs(selection->bottom - selection->top));
    else
        snprintf(text, sizeof text, "%ld, %ld", static_cast<long>(at.x), static_cast<long>(at.y));
}

// The frame stays black and the text's look stays set from here on: each box only redraws
// what changes.
void PrepareMagnifier(HDC buffer)
{
    PatBlt(buffer, 0, 0, kMagnifierSize.cx, kMagnifierSize.cy, BLACKNESS);
    SelectObject(buffer, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(buffer, TRANSPARENT);
    SetTextColor(buffer, RGB(255, 255, 255));
    SetStretchBltMode(buffer, COLORONCOLOR);
}

// Composed off screen and copied once: the box never shows half drawn.
void DrawMagnifier(HDC target, POINT at, HDC buffer, HDC picture, SIZE pictureSize,
                   POINT pointer, const char* caption)
{
    DrawLens(buffer, picture, pictureSize, pointer);
    DrawCross(buffer);
    DrawCaption(buffer, caption);
    BitBlt(target, at.x, at.y, kMagnifierSize.cx, kMagnifierSize.cy, buffer, 0, 0, SRCCOPY);
}
