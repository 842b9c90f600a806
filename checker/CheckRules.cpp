#include "checker/CheckRules.h"

#include <algorithm>

namespace {

const char kBom[] = "\xEF\xBB\xBF";

size_t SkipBom(const std::string& bytes)
{
    return HasUtf8Bom(bytes) ? 3 : 0;
}

} // namespace

bool HasUtf8Bom(const std::string& bytes)
{
    return bytes.compare(0, 3, kBom) == 0;
}

bool IsUtf8BeyondAscii(const std::string& bytes)
{
    bool beyondAscii = false;
    for (size_t i = SkipBom(bytes); i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        unsigned long codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
            return false;
        beyondAscii = true;
        i += length;
    }
    return beyondAscii;
}

int FirstLineBeyondAscii(const std::string& bytes)
{
    int line = 1;
    for (size_t i = SkipBom(bytes); i < bytes.size(); ++i) {
        if (bytes[i] == '\n')
            ++line;
        else if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return line;
    }
    return 0;
}

std::string FirstSectionName(const std::string& bytes)
{
    size_t start = SkipBom(bytes);
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const size_t open = bytes.find_first_not_of(" \t", start);
        if (open < end && bytes[open] == '[') {
            // Only this line can close it.
            const auto close = std::find(bytes.begin() + open, bytes.begin() + end, ']');
            if (close != bytes.begin() + end)
                return std::string(bytes.begin() + open + 1, close);
        }
        start = end + 1;
    }
    return std::string();
}

bool IsPositiveCount(double count)
{
    return count > 0.0;
}

bool IsCountFarFrom(double count, size_t realCount)
{
    const double real = static_cast<double>(realCount);
    return count > 2.0 * real || 2.0 * count < real;
}

bool IsKnownFlag(const std::string& flagWord)
{
    return flagWord.empty() || flagWord == "REG";
}

bool HasLineBreakPair(const std::string& text)
{
    return text.find("\\n") != std::string::npos;
}

std::string RootKeyPrefix(const std::string& keyPath)
{
    static const char* const kRoots[] = { "HKEY_LOCAL_MACHINE", "HKLM",  "HKEY_CURRENT_USER",   "HKCU",
                                          "HKEY_CLASSES_ROOT",  "HKCR",  "HKEY_USERS",          "HKU",
                                          "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_PERFORMANCE_DATA" };
    const size_t start = keyPath.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    for (const char* root : kRoots) {
        const size_t length = std::char_traits<char>::length(root);
        if (keyPath.size() - start < length)
            continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i) {
            const char c = keyPath[start + i];
            same = (c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c) == root[i];
        }
        const size_t after = start + length;
        if (same && (after == keyPath.size() || keyPath[after] == '\\' || keyPath[after] == '/'))
            return keyPath.substr(start, length);
    }
    return std::string();
}

std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list;
}
