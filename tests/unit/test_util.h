// Helpers shared by the unit test programs.
#pragma once
#include <windows.h>

#include "tests/gdi_count.h"

#include <string>

// A fresh empty directory under the temp folder, removed with its files on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

// The header of a top-down BI_RGB image, the layout tests fill and read pixels in.
BITMAPINFO TopDownInfo(LONG width, LONG height, WORD bits);

