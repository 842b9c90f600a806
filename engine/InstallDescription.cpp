#include "engine/InstallDescription.h"

#include "framework/Text.h"

#include <windows.h>

std::string ExpandLineBreaks(const std::string& text)
{
    std::string value;
    value.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            value += "\r\n";
            ++i;
        } else {
            value += text[i];
        }
    }
    return value;
}

namespace {

// Larger than any value or key list a hand-written description holds.
constexpr DWORD kWholeReadSize = 65536;

// The wide reader takes a file saved as UTF-16 with its byte-order mark as
// Unicode, and any other as text of the system code page.
DWORD ReadProfile(const std::string& file, const std::string& section, const std::string* key, wchar_t* buffer,
                  DWORD size)
{
    const std::wstring wideKey = key != nullptr ? Wide(*key) : std::wstring();
    return ::GetPrivateProfileStringW(Wide(section).c_str(), key != nullptr ? wideKey.c_str() : nullptr, L"",
                                      buffer, size, Wide(file).c_str());
}

} // namespace

std::string ReadDescriptionValue(const std::string& file, const std::string& section, const std::string& key,
                                 ValueKind kind)
{
    wchar_t buffer[kMaxInstallValue + 1] = {};
    ReadProfile(file, section, &key, buffer, kMaxInstallValue + 1);
    buffer[kMaxInstallValue] = L'\0';
    const std::string value = Utf8(buffer);
    return kind == ValueKind::Text ? ExpandLineBreaks(value) : value;
}

std::vector<std::string> ReadDescriptionKeys(const std::string& file, const std::string& section)
{
    // One character beyond what the reader may fill keeps the last name ended.
    std::vector<wchar_t> buffer(kWholeReadSize + 1);
    const DWORD length = ReadProfile(file, section, nullptr, buffer.data(), kWholeReadSize);
    std::vector<std::string> keys;
    // The names follow each other, each ended by a zero.
    for (DWORD at = 0; at < length && buffer[at] != L'\0';) {
        const std::wstring name(buffer.data() + at);
        keys.push_back(Utf8(name));
        at += static_cast<DWORD>(name.size()) + 1;
    }
    return keys;
}

size_t DescriptionValueLength(const std::string& file, const std::string& section, const std::string& key)
{
    std::vector<wchar_t> buffer(kWholeReadSize);
    return ReadProfile(file, section, &key, buffer.data(), kWholeReadSize);
}
