#include "framework/Path.h"

#include "framework/Text.h"

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

// A name the platform gives to a device whatever folder it is in, with or
// without an extension, blanks before it too: "nul", "Con .txt", "COM1.log".
bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    for (wchar_t& c : stem)
        c = static_cast<wchar_t>(std::towupper(c));
    for (const wchar_t* device : { L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$" }) {
        if (stem == device)
            return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, and the superscript digits the platform
    // takes for them too.
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           ((stem[3] >= L'1' && stem[3] <= L'9') || stem[3] == L'\u00B9' || stem[3] == L'\u00B2' ||
            stem[3] == L'\u00B3');
}

bool HoldsForbiddenCharacter(const std::wstring& name)
{
    for (const wchar_t c : name) {
        if (c < 32 || std::wcschr(L"<>:\"|?*", c) != nullptr)
            return true;
    }
    return false;
}

} // namespace

size_t PathLength(const std::string& path)
{
    return Wide(path).size();
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool PathExists(const std::string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

ULONGLONG FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsBelow(const std::string& path, const std::string& folder)
{
    if (folder.empty())
        return false;
    const std::string lead = folder.back() == '\\' ? folder : folder + "\\";
    return path.size() > lead.size() && EqualIgnoringCase(path.substr(0, lead.size()), lead);
}

std::string NormalFullPath(const std::string& written)
{
    std::wstring path = Wide(written);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    // A drive letter, its colon and a separator: nothing relative, nothing
    // on the network, no device.
    if (path.size() < 3 || !std::iswalpha(path[0]) || path[0] > 0x7F || path[1] != L':' || path[2] != L'\\')
        return std::string();
    std::vector<std::wstring> names;
    for (size_t at = 3; at <= path.size();) {
        size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring name = path.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == L".")
            continue;
        if (name == L"..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        // The platform drops them when it opens the name: "a. " is "a".
        name.erase(name.find_last_not_of(L". ") + 1);
        if (name.empty() || HoldsForbiddenCharacter(name) || IsDeviceName(name))
            return std::string();
        names.push_back(name);
    }
    if (names.empty())
        return std::string();
    std::wstring normal(1, static_cast<wchar_t>(std::towupper(path[0])));
    normal += L":";
    for (const std::wstring& name : names)
        normal += L"\\" + name;
    // The longest part that exists, with its short names expanded.
    for (size_t end = normal.size(); end != std::wstring::npos && end > 2; end = normal.rfind(L'\\', end - 1)) {
        const std::wstring part = normal.substr(0, end);
        wchar_t expanded[MAX_PATH] = {};
        const DWORD length = ::GetLongPathNameW(part.c_str(), expanded, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            normal = std::wstring(expanded, length) + normal.substr(end);
            break;
        }
    }
    const std::string result = Utf8(normal);
    return ExceedsPathLimit(result) ? std::string() : result;
}
