#include "dialogs/folder_choice.h"

#include <cstring>

bool TakeFolderIfFits(char* dest, size_t destSize, const char* path)
{
    const size_t len = strlen(path);
    if (len >= destSize)
        return false;
    memcpy(dest, path, len + 1);
    return true;
}
