// Image library: loads a BMP file as its current image and writes that image as JPEG or PNG.
#pragma once
#include <windows.h>

#ifdef NVIEWLIB_BUILD
#define NVIEWLIB_API extern "C" __declspec(dllexport)
#else
#define NVIEWLIB_API extern "C" __declspec(dllimport)
#endif

// Makes the image in the BMP file pszFile the current image; flags must be 0.
// Returns nonzero when the image was loaded. The file is then kept open for reading only,
// and nobody can change or delete it, until the image is dropped.
NVIEWLIB_API int NViewLibLoad(const char* pszFile, int flags);

// Writes the current image to pszFile as a JPEG of the given quality (1..100) and drops
// the image whatever happens, closing its BMP file. Returns nonzero only when the file was
// written.
NVIEWLIB_API int NViewLibSaveAsJPG(int quality, const char* pszFile);

// Makes the BMP file held in data[0..size) the current image. The bytes are read where they
// are, so they must stay unchanged until the image is dropped. Returns nonzero when the image
// was loaded.
NVIEWLIB_API int NViewLibLoadMemory(const void* data, DWORD size);

// Writes the current image to pszFile as a PNG file, exactly its pixels, and drops the image
// whatever happens. Returns nonzero only when the whole file was written; a file cut short is
// deleted.
NVIEWLIB_API int NViewLibSaveAsPNG(const char* pszFile);

// The current image as the bytes of a PNG file in movable global memory (the form the
// clipboard takes), for the caller to own; drops the image whatever happens. Null on failure.
NVIEWLIB_API HGLOBAL NViewLibCopyAsPNG(void);
