#include "engine/Folders.h"

#include "app/InstallFolder.h"
#include "framework/Handles.h"

#include <windows.h>
#include <shlobj.h>

std::string GetProgramFilesDir()
{
    RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                        KEY_QUERY_VALUE | kMachineRegistryView, key.Receive()) != ERROR_SUCCESS) {
        key.Release();
        return std::string();
    }
    char buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExA(key.Get(), "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return std::string();
    // The value need not carry its terminator.
    buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
    return buffer;
}

std::string GetSystemX86Dir(bool& fellBack)
{
    char buffer[MAX_PATH] = {};
    fellBack = false;
    if (::SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_SYSTEMX86, FALSE) && buffer[0] != '\0')
        return buffer;
    fellBack = true;
    const UINT length = ::GetSystemDirectoryA(buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

std::string GetWindowsDir()
{
    char buffer[4096] = {};
    const UINT length = ::GetWindowsDirectoryA(buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}
