// Encoding 24-bit rows as a PNG file of our own over zlib.
#pragma once
#include "wic_codec.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// Takes the next bytes of the file, in order; false stops the encode.
using PngSink = std::function<bool(const BYTE* data, size_t size)>;

// Appends one chunk to out: its length, type, data and the CRC of type and data.
void AppendPngChunk(std::string& out, const char (&type)[5], const BYTE* data, size_t size);

// Writes the image of width x height whose rows readBand makes (24-bit BGR, top first) to
// sink as a PNG file. An image of at most 256 colours goes with a palette, in the fewest bits
// per index that hold it, its rows unfiltered; the rest as 8-bit RGB under the Up filter. The
// rows are read twice: once to count the colours, once to encode. Throws nothing: whatever
// fails (memory, zlib, a band, the sink, also by an exception) fails the encode.
HRESULT EncodePng(UINT width, UINT height, const ReadBand& readBand, const PngSink& sink);
