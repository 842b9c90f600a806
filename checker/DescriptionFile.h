// The description file as its bytes lie: how it is encoded, and where each
// section and key stands, line by line. The installer reads values through
// the platform's profile functions, which name no line and keep silent about
// a section or key written twice; this scan finds those, and the line of
// every key a finding names. Every step is bounded by the line it reads, so
// the scan is linear in the file's size.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

enum class TextEncoding {
    Ansi,        // no byte-order mark: the system code page
    Utf8Bom,     // EF BB BF
    Utf16Le,     // FF FE: read as Unicode
    Utf16Be,     // FE FF: read as Unicode
    Utf16NoBom,  // every other byte zero, without a mark: read as code-page bytes
};

// Which of the two bytes of each pair holds the zeros of UTF-16 text
// written without its byte-order mark, judged over the whole file: more than
// half the pairs with one zero byte on the same side, and none that
// Windows-1252 text has. Ansi when it is not so.
TextEncoding DetectEncoding(const std::string& bytes);

struct RepeatedName {
    std::string section; // as written at its first occurrence
    std::string key;     // empty for a repeated section
    int line = 0;        // 1-based, of the repetition
    int firstLine = 0;   // of the occurrence the installer reads
    bool sameValue = false; // a repeated key with the value of the first
};

class DescriptionFile {
public:
    // Scans the bytes of a description file.
    explicit DescriptionFile(const std::string& bytes);

    TextEncoding Encoding() const { return encoding_; }
    // Sections written again after the first, and keys written again within
    // the occurrence of a section that the installer reads, in file order.
    const std::vector<RepeatedName>& Repeated() const { return repeated_; }
    // The 1-based line of a key in the first occurrence of its section
    // (compared without regard to case); 0 when it is not written there.
    int LineOf(const std::string& section, const std::string& key) const;
    // The line of a section's first occurrence; 0 when none.
    int LineOf(const std::string& section) const { return LineOf(section, std::string()); }
    // The bytes of a key's value as written there, blanks around it left
    // out: never fewer than the characters the profile reader gives.
    // npos when the key is not written there.
    size_t WrittenLength(const std::string& section, const std::string& key) const;

private:
    TextEncoding encoding_ = TextEncoding::Ansi;
    std::vector<RepeatedName> repeated_;
    struct Place {
        int line;
        size_t length;
    };
    // "SECTION\nKEY" in capitals (an empty key for the section) to where it is.
    std::unordered_map<std::string, Place> places_;
};
