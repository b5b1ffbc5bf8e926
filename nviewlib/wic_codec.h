// Encoding the library's image as a JPEG file through the Windows Imaging Component.
#pragma once
#include "bmp_decode.h"
#include "image.h"

#include <windows.h>

// Writes image to path as a JPEG file at quality (0..1), handing the encoder all its rows at
// once. A file left half-written by a failure is deleted.
HRESULT EncodeJpeg(const Image& image, const wchar_t* path, float quality);

// The same for the rows of a BMP file, made into 24-bit rows a band at a time as the encoder
// takes them: no image of the whole is made.
HRESULT EncodeJpeg(const BmpRows& rows, const wchar_t* path, float quality);
