// Encoding the library's image as a JPEG file through the Windows Imaging Component.
#pragma once
#include "image.h"

#include <windows.h>

#include <functional>

// Writes image to path as a JPEG file at quality (0..1), handing the encoder all its rows at
// once. A file left half-written by a failure is deleted.
HRESULT EncodeJpeg(const Image& image, const wchar_t* path, float quality);

// Fills dst with the image's rows first .. first + count - 1 as 24-bit BGR rows stride bytes
// apart, or fails; a failure ends the encode with that result.
using ReadBand = std::function<HRESULT(UINT first, UINT count, BYTE* dst, UINT stride)>;

// Reads the rows of a width x height image a band of about a quarter megabyte at a time and
// hands each band to fn(band, count, stride), top first, until readBand or fn answers anything
// but S_OK (S_FALSE from fn: enough rows seen), which it returns.
HRESULT ForEachBand(UINT width, UINT height, const ReadBand& readBand,
                    const std::function<HRESULT(BYTE* band, UINT count, UINT stride)>& fn);

// The same for an image of width x height whose rows readBand makes a band at a time, as the
// encoder takes them: no image of the whole is made.
HRESULT EncodeJpeg(UINT width, UINT height, const ReadBand& readBand, const wchar_t* path,
                   float quality);
