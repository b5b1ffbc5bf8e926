// Uninstall.exe, the command in Settings, Apps and in deployment scripts. The removal itself is
// Uninstall.dat beside it, an uninstaller that has to run from a copy outside the folder it
// removes: started in the folder, it starts that copy and ends at once with 0, whatever the copy
// then does. This starts the copy itself and waits for it, so that the command ends when the
// removal does, with its exit code (0 removed, 1 cancelled, 2 nothing removed). The removal
// moves this running program out of the folder (a running program can be moved, not deleted);
// it holds no handle to its own file.
#include <windows.h>
#include <sddl.h>

#include <cwchar>
#include <initializer_list>

#include "win/scoped_win.h"

namespace {

constexpr DWORD kNothingRemoved = 2;
// Setup installs into no longer path than this.
constexpr size_t kPath = 1024;
// The longest command line Windows takes.
constexpr size_t kCommand = 32768;

// Joins the parts into out, which holds n characters; false when they do not fit.
bool Join(wchar_t* out, size_t n, std::initializer_list<const wchar_t*> parts)
{
    size_t used = 0;
    for (const wchar_t* part : parts) {
        const size_t length = wcslen(part);
        if (used + length >= n)
            return false;
        wmemcpy(out + used, part, length);
        used += length;
    }
    out[used] = L'\0';
    return true;
}

// A new, empty folder in the temporary one that only its owner, SYSTEM and administrators can
// write: the temporary folder of SYSTEM may let every user add files, and a library put beside
// the copy could run with its rights.
bool NewTempFolder(wchar_t (&folder)[MAX_PATH])
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (n == 0 || n > MAX_PATH ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor,
            nullptr))
        return false;
    const ScopedLocalMem<void> descriptorHolder(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    return GetTempFileNameW(temp, L"gbu", 0, folder) && DeleteFileW(folder) &&
           CreateDirectoryW(folder, &attributes);
}

// Runs command and waits for its end; its exit code, or kNothingRemoved when it did not start.
DWORD RunAndWait(const wchar_t* program, wchar_t* command, const wchar_t* folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, command, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process))
        return kNothingRemoved;
    const ScopedHandle processHandle(process.hProcess);
    const ScopedHandle threadHandle(process.hThread);
    DWORD code = kNothingRemoved;
    if (WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(processHandle.get(), &code))
        return kNothingRemoved;
    return code;
}

// Says that nothing was removed, unless the removal was asked to be silent (/S).
DWORD NothingRemoved(const wchar_t* arguments)
{
    wchar_t words[kCommand];
    if (Join(words, kCommand, {L" ", arguments, L" "}) && wcsstr(words, L" /S "))
        return kNothingRemoved;
    MessageBoxW(nullptr, L"The removal of Grabotine could not start: Uninstall.dat beside "
                         L"Uninstall.exe cannot be read. Nothing was removed.",
                L"Grabotine Uninstall", MB_OK | MB_ICONSTOP);
    return kNothingRemoved;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    wchar_t folder[kPath] = {};
    const DWORD n = GetModuleFileNameW(nullptr, folder, kPath);
    wchar_t* name = wcsrchr(folder, L'\\');
    wchar_t temp[MAX_PATH] = {};
    if (n == 0 || n >= kPath || !name || !NewTempFolder(temp))
        return static_cast<int>(NothingRemoved(arguments));
    *name = L'\0';
    wchar_t source[kPath];
    wchar_t copy[kPath];
    static wchar_t command[kCommand];
    // "_?=" last on the line makes the copy remove that folder instead of copying itself again.
    if (!Join(source, kPath, {folder, L"\\Uninstall.dat"}) ||
        !Join(copy, kPath, {temp, L"\\Uninstall.exe"}) ||
        !Join(command, kCommand, {L"\"", copy, L"\" ", arguments, L" _?=", folder}) ||
        !CopyFileW(source, copy, FALSE)) {
        RemoveDirectoryW(temp);
        return static_cast<int>(NothingRemoved(arguments));
    }
    const DWORD code = RunAndWait(copy, command, temp);
    DeleteFileW(copy);
    RemoveDirectoryW(temp);
    return static_cast<int>(code);
}
