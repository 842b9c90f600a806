// Text at the platform's edge. Inside the program every path and text is
// UTF-8 in a std::string; the wide ("W") functions of the platform get it as
// UTF-16, and what must stay Windows-1252 bytes (the log, redirected console
// output) is converted last, with "?" for a character that code page lacks.
#pragma once

#include <string>

// UTF-8 to UTF-16, for the wide functions.
std::wstring Wide(const std::string& utf8);
// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& wide);
std::string Utf8(const wchar_t* wide);

// UTF-8 to Windows-1252 bytes: every character the code page holds as
// itself, any other as "?" (never a best-fit look-alike).
std::string ToWindows1252(const std::string& utf8);
// Windows-1252 bytes to UTF-8.
std::string FromWindows1252(const std::string& bytes);

// The two texts compare equal without regard to case, as the platform
// compares names.
bool EqualIgnoringCase(const std::string& a, const std::string& b);

// True when the text holds a character that Windows-1252 cannot hold.
bool HasCharacterBeyond1252(const std::string& utf8);
