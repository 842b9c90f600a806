// The checker's own judgements, as pure functions of texts and numbers: what
// counts as a UTF-8 file, a count far from the real one, a known flag. The
// installation's rules themselves are in engine/Rules.h.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The names joined by ", ".
std::string NameList(const std::vector<std::string>& names);

// The file starts with the UTF-8 byte-order mark.
bool HasUtf8Bom(const std::string& bytes);

// The bytes hold at least one character beyond ASCII and are all well-formed
// UTF-8: a file saved as UTF-8, whose accented letters the Windows-1252 reader
// shows as two characters each. (A Windows-1252 text with accents is almost
// never well-formed UTF-8.) The byte-order mark does not count.
bool IsUtf8BeyondAscii(const std::string& bytes);

// The 1-based number of the first line holding a byte beyond ASCII (the
// byte-order mark does not count); 0 when there is none.
int FirstLineBeyondAscii(const std::string& bytes);

// The name of the first section of a profile file (between "[" and "]" on
// the first line that opens one), the byte-order mark skipped; empty when none.
std::string FirstSectionName(const std::string& bytes);

// Only a positive count (as ReadCount reads it) sizes the progress bar.
bool IsPositiveCount(double count);

// A count that sizes the bar badly: more than twice the real number of files
// (the bar crawls and jumps to the end at the end of the folder) or less than
// half of it (the bar is full early and stays full).
bool IsCountFarFrom(double count, size_t realCount);

// The flag of a SYSFILE value (trimmed, in capitals) that the installer knows:
// REG, or nothing.
bool IsKnownFlag(const std::string& flagWord);

// The two characters "\n", which earlier installers turned into a line break
// in every value, paths included.
bool HasLineBreakPair(const std::string& text);

// The root key that a registry path begins with ("HKEY_LOCAL_MACHINE",
// "HKLM", "HKEY_CURRENT_USER"... followed by "\" or nothing more), as
// written; empty when it begins with none.
std::string RootKeyPrefix(const std::string& keyPath);
