#include "output/saved_file.h"

#include "output/save.h"
#include "win/scoped_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

// bytes in movable memory, as the clipboard takes them.
HGLOBAL GlobalCopy(const void* bytes, size_t size)
{
    ScopedGlobalMem<void> mem(GlobalAlloc(GMEM_MOVEABLE, size));
    ScopedGlobalLock lock(mem.get());
    if (!lock.get())
        return nullptr;
    memcpy(lock.get(), bytes, size);
    return mem.release();
}

bool Offer(UINT format, const void* bytes, size_t size)
{
    ScopedGlobalMem<void> mem(GlobalCopy(bytes, size));
    if (!mem.get() || !SetClipboardData(format, mem.get()))
        return false;
    mem.release();
    return true;
}

}  // namespace

std::vector<BYTE> DropFilesFor(const std::wstring& path)
{
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    // The name, its terminator, and the empty name after it.
    const size_t names = (path.size() + 2) * sizeof(wchar_t);
    std::vector<BYTE> block(sizeof header + names, 0);
    memcpy(block.data(), &header, sizeof header);
    memcpy(block.data() + sizeof header, path.c_str(), path.size() * sizeof(wchar_t));
    return block;
}

std::wstring SelectArguments(const std::wstring& path) { return L"/select,\"" + path + L"\""; }

bool CopySavedPath(HWND owner)
{
    const std::wstring& path = LastSavedFile();
    if (path.empty())
        return false;
    const std::vector<BYTE> files = DropFilesFor(path);
    ScopedClipboard clipboard(owner, kClipboardWaitMs);
    if (!clipboard.open() || !EmptyClipboard())
        return false;
    const bool text = Offer(CF_UNICODETEXT, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    return Offer(CF_HDROP, files.data(), files.size()) && text;
}

bool ShowSavedFile()
{
    const std::wstring& path = LastSavedFile();
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (path.empty() || n == 0 || n >= MAX_PATH)
        return false;
    // Explorer from the Windows folder by its full path: never one found beside the program.
    const std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", explorer.c_str(),
                                                   SelectArguments(path).c_str(), nullptr,
                                                   SW_SHOWNORMAL)) > 32;
}
