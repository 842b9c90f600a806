#include "framework/Text.h"

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
