// Image library: loads a BMP file as its current image and writes that image as JPEG.
#pragma once

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
