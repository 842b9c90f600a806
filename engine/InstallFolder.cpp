#include "engine/InstallFolder.h"

#include "engine/InstallDescription.h"
#include "framework/Handles.h"
#include "framework/Text.h"

namespace {

constexpr char kKeysSection[] = "CHIAVI";

// The value "InstallationDir" of an open product key, held in a buffer of
// MAX_PATH characters: false when it is missing or does not fit with its
// terminator. The platform does not terminate a value stored without one.
bool ReadInstallationDir(HKEY key, std::string& folder)
{
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(key, L"InstallationDir", nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return false;

    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        wchar_t buffer[MAX_PATH] = {};
        DWORD size = sizeof(buffer);
        if (::RegQueryValueExW(key, L"InstallationDir", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS)
            return false;
        const size_t characters = size / sizeof(wchar_t);
        if (characters >= MAX_PATH && buffer[MAX_PATH - 1] != L'\0')
            return false;
        buffer[characters < MAX_PATH ? characters : MAX_PATH - 1] = L'\0';
        folder = Utf8(buffer);
        return true;
    }

    // A value of another type holds bytes, taken as text of the system code
    // page, as a string value would have been stored by an older program.
    char buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExW(key, L"InstallationDir", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return false;
    if (size >= sizeof(buffer) && buffer[sizeof(buffer) - 1] != '\0')
        return false;
    buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, buffer, -1, wide, MAX_PATH);
    wide[MAX_PATH - 1] = L'\0';
    folder = Utf8(wide);
    return true;
}

} // namespace

InstallFolder DecideInstallFolder(const std::string& descriptionFile)
{
    InstallFolder result;
    const std::string pathKey = ReadDescriptionValue(descriptionFile, kKeysSection, "PathKey", ValueKind::Path);
    RegKey key;
    // An empty path would open HKEY_LOCAL_MACHINE itself: no product key is named.
    result.keyOpened = !pathKey.empty() && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(pathKey).c_str(), 0,
                                                           KEY_ALL_ACCESS | kMachineRegistryView,
                                                           key.Receive()) == ERROR_SUCCESS;
    if (result.keyOpened)
        result.fromRegistry = ReadInstallationDir(key.Get(), result.folder);
    else
        key.Release();
    if (!result.fromRegistry)
        result.folder = ReadDescriptionValue(descriptionFile, kKeysSection, "InstallationDir", ValueKind::Path);
    return result;
}
