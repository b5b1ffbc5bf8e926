// The rule for taking a folder path from the shell as the output directory.
#pragma once
#include <cstddef>

// Copies path into dest (destSize bytes) only when it fits whole with its terminator, and
// says whether it did; a path cut short would name another folder, so dest is then left as
// it was.
bool TakeFolderIfFits(char* dest, size_t destSize, const char* path);
