#include "checker/DescriptionFile.h"

#include "engine/Rules.h"
#include "framework/Text.h"

#include <cstring>
#include <unordered_set>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The text as UTF-8, as the profile reader takes it: Unicode after a UTF-16
// mark, UTF-8 after its mark (Wine reads it so), code-page bytes otherwise.
std::string DecodedText(const std::string& bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return bytes.substr(3);
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        std::wstring wide;
        wide.reserve(bytes.size() / 2);
        const bool little = encoding == TextEncoding::Utf16Le;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned char a = static_cast<unsigned char>(bytes[i]);
            const unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
            wide += static_cast<wchar_t>(little ? a | (b << 8) : (a << 8) | b);
        }
        return Utf8(wide);
    }
    default:
        return FromWindows1252(bytes);
    }
}

// The first c in [first, last), or last: never beyond the line.
size_t FindInLine(const std::string& text, size_t first, size_t last, char c)
{
    const void* found = std::memchr(text.data() + first, c, last - first);
    return found == nullptr ? last : static_cast<size_t>(static_cast<const char*>(found) - text.data());
}

std::string NameKey(const std::string& section, const std::string& key)
{
    return UpperText(section) + "\n" + UpperText(key);
}

} // namespace

TextEncoding DetectEncoding(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return TextEncoding::Utf8Bom;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return TextEncoding::Utf16Le;
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return TextEncoding::Utf16Be;
    size_t zeroHigh = 0;
    size_t zeroLow = 0;
    const size_t pairs = bytes.size() / 2;
    for (size_t i = 0; i < pairs; ++i) {
        zeroLow += bytes[2 * i] == '\0' ? 1 : 0;
        zeroHigh += bytes[2 * i + 1] == '\0' ? 1 : 0;
    }
    if (pairs == 0 || (zeroHigh * 2 <= pairs && zeroLow * 2 <= pairs))
        return TextEncoding::Ansi;
    return TextEncoding::Utf16NoBom;
}

DescriptionFile::DescriptionFile(const std::string& bytes) : encoding_(DetectEncoding(bytes))
{
    const std::string text = DecodedText(bytes, encoding_);
    std::unordered_map<std::string, int> sectionLines; // where each section first opens
    std::unordered_map<std::string, std::pair<int, std::string>> keys; // line and value of the read occurrence
    std::string section;
    std::string sectionKey;
    bool reading = false;
    int line = 0;
    for (size_t start = 0; start < text.size();) {
        ++line;
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t first = start;
        size_t last = end;
        while (first < last && IsBlank(text[first]))
            ++first;
        while (last > first && (IsBlank(text[last - 1]) || text[last - 1] == '\r'))
            --last;
        const size_t next = end + 1;
        if (first == last || text[first] == ';') {
            start = next;
            continue;
        }
        // The name ends at the first "]" of the line itself; a line without
        // one is a key, as the profile reader takes it.
        const size_t close = text[first] == '[' ? FindInLine(text, first, last, ']') : last;
        if (close != last) {
            section = text.substr(first + 1, close - first - 1);
            sectionKey = UpperText(section);
            const auto found = sectionLines.find(sectionKey);
            if (found == sectionLines.end()) {
                sectionLines.emplace(sectionKey, line);
                places_.emplace(sectionKey + "\n", Place{ line, 0 });
                reading = true;
            } else {
                repeated_.push_back({ section, std::string(), line, found->second, false });
                reading = false;
            }
            start = next;
            continue;
        }
        if (!reading) {
            start = next;
            continue;
        }
        const size_t equals = FindInLine(text, first, last, '=');
        const bool hasValue = equals != last;
        size_t nameEnd = hasValue ? equals : last;
        while (nameEnd > first && IsBlank(text[nameEnd - 1]))
            --nameEnd;
        const std::string name = text.substr(first, nameEnd - first);
        size_t valueStart = hasValue ? equals + 1 : last;
        while (valueStart < last && IsBlank(text[valueStart]))
            ++valueStart;
        const std::string value = text.substr(valueStart, last - valueStart);
        const std::string key = sectionKey + "\n" + UpperText(name);
        const auto found = keys.find(key);
        if (found == keys.end()) {
            keys.emplace(key, std::make_pair(line, value));
            places_.emplace(key, Place{ line, value.size() });
        } else {
            repeated_.push_back({ section, name, line, found->second.first, found->second.second == value });
        }
        start = next;
    }
}

int DescriptionFile::LineOf(const std::string& section, const std::string& key) const
{
    const auto found = places_.find(NameKey(section, key));
    return found == places_.end() ? 0 : found->second.line;
}

size_t DescriptionFile::WrittenLength(const std::string& section, const std::string& key) const
{
    const auto found = places_.find(NameKey(section, key));
    return found == places_.end() ? std::string::npos : found->second.length;
}
