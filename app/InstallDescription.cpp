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
