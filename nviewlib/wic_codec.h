// Decoding BMP files and encoding JPEG files through the Windows Imaging Component.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>

// An image as 24-bit BGR rows, top-down, each padded to 4 bytes.
struct Image {
    UINT width = 0;
    UINT height = 0;
    UINT stride = 0;
    std::unique_ptr<BYTE[]> pixels;
};

// Row stride and total size of a 24-bit image; false when they would not fit in 32 bits or
// exceed what the library takes.
bool ImageSizes(UINT width, UINT height, UINT& stride, UINT& size);

// Decodes the BMP file held in data[0..size) into image, after checking that everything it
// describes lies inside those bytes.
HRESULT DecodeBmp(const BYTE* data, size_t size, Image& image);

// Writes image to path as a JPEG file at quality (0..1). A file left half-written by a failure
// is deleted.
HRESULT EncodeJpeg(const Image& image, const wchar_t* path, float quality);
