#include "app/InstallFolder.h"

#include "app/InstallDescription.h"
#include "framework/Handles.h"

namespace {
constexpr char kKeysSection[] = "CHIAVI";
}

InstallFolder DecideInstallFolder(const std::string& descriptionFile)
{
    InstallFolder result;
    const std::string pathKey = ReadDescriptionValue(descriptionFile, kKeysSection, "PathKey", ValueKind::Path);
    RegKey key;
    // An empty path would open HKEY_LOCAL_MACHINE itself: no product key is named.
    result.keyOpened = !pathKey.empty() &&
                       ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, pathKey.c_str(), 0, KEY_ALL_ACCESS | kMachineRegistryView,
                                       key.Receive()) == ERROR_SUCCESS;
    if (result.keyOpened) {
        char buffer[MAX_PATH] = {};
        DWORD size = sizeof(buffer);
        const LONG status = ::RegQueryValueExA(key.Get(), "InstallationDir", nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(buffer), &size);
        // The platform does not terminate a value stored without its terminator;
        // one that fills the buffer to the last byte does not fit.
        result.fromRegistry =
            status == ERROR_SUCCESS && (size < sizeof(buffer) || buffer[sizeof(buffer) - 1] == '\0');
        if (result.fromRegistry) {
            buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
            result.folder = buffer;
        }
    } else {
        key.Release();
    }
    if (!result.fromRegistry)
        result.folder = ReadDescriptionValue(descriptionFile, kKeysSection, "InstallationDir", ValueKind::Path);
    return result;
}
