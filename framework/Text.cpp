#include "framework/Text.h"

#include "framework/Path.h"

#include <windows.h>

namespace {
constexpr UINT kWindows1252 = 1252;

std::wstring ToWide(UINT codePage, const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& wide, bool* lossy)
{
    if (lossy != nullptr)
        *lossy = false;
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    // UTF-8 takes neither a default character nor the flag asking whether it was used.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    const char* fallback = utf8 ? nullptr : "?";
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, fallback, used);
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0)
        ::WideCharToMultiByte(codePage, flags, wide.data(), size, &text[0], length, fallback, used);
    if (lossy != nullptr)
        *lossy = usedDefault != FALSE;
    return text;
}
} // namespace

std::wstring Wide(const std::string& utf8)
{
    return ToWide(CP_UTF8, utf8);
}

std::string Utf8(const std::wstring& wide)
{
    return FromWide(CP_UTF8, wide, nullptr);
}

std::string Utf8(const wchar_t* wide)
{
    return wide != nullptr ? Utf8(std::wstring(wide)) : std::string();
}

std::string ToWindows1252(const std::string& utf8)
{
    return FromWide(kWindows1252, Wide(utf8), nullptr);
}

std::string FromWindows1252(const std::string& bytes)
{
    return Utf8(ToWide(kWindows1252, bytes));
}

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

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return lstrcmpiW(Wide(a).c_str(), Wide(b).c_str()) == 0;
}

bool HasCharacterBeyond1252(const std::string& utf8)
{
    bool lossy = false;
    FromWide(kWindows1252, Wide(utf8), &lossy);
    return lossy;
}
