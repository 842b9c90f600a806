#include "engine/Folders.h"

#include "engine/InstallFolder.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>
#include <shlobj.h>

std::string GetProgramFilesDir()
{
    RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                        KEY_QUERY_VALUE | kMachineRegistryView, key.Receive()) != ERROR_SUCCESS) {
        key.Release();
        return std::string();
    }
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExW(key.Get(), L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                           &size) != ERROR_SUCCESS ||
        size < sizeof(wchar_t))
        return std::string();
    // The value need not carry its terminator.
    const size_t characters = size / sizeof(wchar_t);
    buffer[characters < MAX_PATH ? characters : MAX_PATH - 1] = L'\0';
    return Utf8(buffer);
}

std::string GetSystemX86Dir(bool& fellBack)
{
    wchar_t buffer[MAX_PATH] = {};
    fellBack = false;
    if (::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_SYSTEMX86, FALSE) && buffer[0] != L'\0')
        return Utf8(buffer);
    fellBack = true;
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? Utf8(std::wstring(buffer, length)) : std::string();
}

std::string GetWindowsDir()
{
    wchar_t buffer[4096] = {};
    const UINT length = ::GetWindowsDirectoryW(buffer, 4096);
    return length > 0 && length < 4096 ? Utf8(std::wstring(buffer, length)) : std::string();
}

void CreateDirectoryPath(const std::string& path, std::vector<std::string>* created, const std::wstring& sddl)
{
    // One walk left to right; a separator right after a colon would name the
    // drive alone, which is never asked for. Every result is ignored: existing
    // folders, roots and folders that cannot be made are all passed over.
    // The passes ask for the same target folders file after file: one look
    // settles a folder that is there already, parents included.
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;

    // A folder beyond the platform's path limit is never made, nor any below
    // it; one that is there is not asked for again.
    auto create = [created, &sddl](const std::wstring& folder) {
        if (folder.size() <= kMaxPlatformPath && ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
            (sddl.empty() ? machine::MakeFolder(folder) : machine::MakeFolderWithSecurity(folder, sddl)) &&
            created != nullptr)
            created->push_back(Utf8(folder));
    };
    std::wstring prefix;
    prefix.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if ((c == L'\\' || c == L'/') && !prefix.empty() && wide[i - 1] != L':')
            create(prefix);
        prefix += c;
    }
    if (!prefix.empty())
        create(prefix);
}

std::vector<std::string> MissingFolders(const std::string& path)
{
    std::vector<std::string> missing;
    const std::wstring wide = Wide(path);
    auto note = [&missing](const std::wstring& folder) {
        if (folder.size() <= kMaxPlatformPath) {
            const DWORD attributes = ::GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES)
                missing.push_back(Utf8(folder));
        }
    };
    // The same steps as CreateDirectoryPath takes.
    for (size_t i = 0; i < wide.size(); ++i) {
        if ((wide[i] == L'\\' || wide[i] == L'/') && i > 0 && wide[i - 1] != L':')
            note(wide.substr(0, i));
    }
    if (!wide.empty())
        note(wide);
    return missing;
}
