#include "components/Components.h"

#include "framework/Text.h"

#include <shlwapi.h>

#include <stdexcept>

namespace lumo_test {

namespace {

// The components lower-case their path the same way, ASCII letters only.
std::string LowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace

std::string ComponentPath(const std::string& fileName)
{
    return std::string(LUMO_COMPONENTS_DIR) + "\\" + fileName;
}

std::string CopyComponent(const std::string& fileName, const std::string& destinationPath)
{
    if (!::CopyFileW(Wide(ComponentPath(fileName)).c_str(), Wide(destinationPath).c_str(), FALSE))
        throw std::runtime_error("cannot copy " + fileName + " to " + destinationPath + " (error " +
                                 std::to_string(::GetLastError()) + ")");
    return destinationPath;
}

namespace {

DWORD CountBelow(const char* key, const std::string& modulePath)
{
    DWORD count = 0;
    DWORD size = sizeof(count);
    if (::RegGetValueW(HKEY_CURRENT_USER, Wide(key).c_str(), Wide(LowerAscii(modulePath)).c_str(), RRF_RT_REG_DWORD,
                       nullptr, &count, &size) != ERROR_SUCCESS)
        return 0;
    return count;
}

} // namespace

DWORD RegistrationCount(const std::string& modulePath)
{
    return CountBelow(kRegistrationCountsKey, modulePath);
}

DWORD UnregistrationCount(const std::string& modulePath)
{
    return CountBelow(kUnregistrationCountsKey, modulePath);
}

void ResetRegistrationCounts()
{
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kRegistrationCountsKey);
}

} // namespace lumo_test
