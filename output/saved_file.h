// The last saved file handed to the user: its path on the clipboard, its folder opened.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A CF_HDROP block naming path alone: DROPFILES with wide names, then the name and the empty
// one that ends the list.
std::vector<BYTE> DropFilesFor(const std::wstring& path);

// Explorer's arguments that open path's folder with path selected.
std::wstring SelectArguments(const std::wstring& path);

// The last saved file's full path onto the clipboard as text (CF_UNICODETEXT) and as a file
// list (CF_HDROP, so that a paste in Explorer copies the file); false when no file was saved
// in this run or the clipboard would not take them.
bool CopySavedPath(HWND owner);

// Explorer showing the last saved file's folder with the file selected; false when no file
// was saved in this run or Explorer could not be started.
bool ShowSavedFile();
