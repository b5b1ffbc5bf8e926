// Uninstall.exe, the command in Settings, Apps and in deployment scripts. The removal itself is
// Uninstall.dat beside it, an uninstaller that has to run from a copy outside the folder it
// removes: started in the folder, it starts that copy and ends at once with 0, whatever the copy
// then does. This starts the copy itself and waits for it, so that the command ends when the
// removal does, with its exit code (0 removed, 1 cancelled, 2 nothing removed). The removal
// moves this running program out of the folder (a running program can be moved, not deleted);
// it holds no handle to its own file.
#include <windows.h>

#include <string>

#include "win/scoped_win.h"

namespace {

constexpr DWORD kNothingRemoved = 2;

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring ModulePath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// A new, empty folder in the temporary one, or "" when none can be made.
std::wstring NewTempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(temp, L"gbu", 0, name) ||
        !DeleteFileW(name) || !CreateDirectoryW(name, nullptr))
        return L"";
    return name;
}

// Whether the command line asks for a silent removal (/S among its words).
bool Silent(const wchar_t* arguments)
{
    return (L" " + std::wstring(arguments) + L" ").find(L" /S ") != std::wstring::npos;
}

// Runs command and waits for its end; its exit code, or kNothingRemoved when it did not start.
DWORD RunAndWait(const std::wstring& program, std::wstring command, const std::wstring& folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process))
        return kNothingRemoved;
    const ScopedHandle processHandle(process.hProcess);
    const ScopedHandle threadHandle(process.hThread);
    DWORD code = kNothingRemoved;
    if (WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(processHandle.get(), &code))
        return kNothingRemoved;
    return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    const std::wstring folder = FolderOf(ModulePath());
    const std::wstring temp = NewTempFolder();
    const std::wstring copy = temp + L"\\Uninstall.exe";
    if (temp.empty() || !CopyFileW((folder + L"\\Uninstall.dat").c_str(), copy.c_str(), FALSE)) {
        if (!temp.empty())
            RemoveDirectoryW(temp.c_str());
        if (!Silent(arguments))
            MessageBoxW(nullptr, (L"Grabotine's removal cannot start: " + folder +
                                  L"\\Uninstall.dat cannot be read. Nothing was removed.").c_str(),
                        L"Grabotine Uninstall", MB_OK | MB_ICONSTOP);
        return static_cast<int>(kNothingRemoved);
    }
    // "_?=" last on the line makes the copy remove this folder instead of copying itself again.
    const DWORD code = RunAndWait(copy, L"\"" + copy + L"\" " + arguments + L" _?=" + folder, temp);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(temp.c_str());
    return static_cast<int>(code);
}
