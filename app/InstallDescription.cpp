#include "app/InstallDescription.h"

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

std::string ReadDescriptionValue(const std::string& file, const std::string& section, const std::string& key,
                                 ValueKind kind)
{
    char buffer[kMaxInstallValue + 1] = {};
    ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof(buffer), file.c_str());
    buffer[sizeof(buffer) - 1] = '\0';
    return kind == ValueKind::Text ? ExpandLineBreaks(buffer) : std::string(buffer);
}

namespace {
// Larger than any value or key list a hand-written description holds.
constexpr DWORD kWholeReadSize = 65536;
}

std::vector<std::string> ReadDescriptionKeys(const std::string& file, const std::string& section)
{
    // One byte beyond what the reader may fill keeps the last name ended.
    std::vector<char> buffer(kWholeReadSize + 1);
    const DWORD length =
        ::GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), kWholeReadSize, file.c_str());
    std::vector<std::string> keys;
    // The names follow each other, each ended by a zero.
    for (DWORD at = 0; at < length && buffer[at] != '\0';) {
        keys.emplace_back(buffer.data() + at);
        at += static_cast<DWORD>(keys.back().size()) + 1;
    }
    return keys;
}

size_t DescriptionValueLength(const std::string& file, const std::string& section, const std::string& key)
{
    std::vector<char> buffer(kWholeReadSize);
    return ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), kWholeReadSize,
                                      file.c_str());
}
