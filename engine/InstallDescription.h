// Reading Installatore.ini. The installer and the delivery checker read it
// through the same functions, so that both see the same values.
#pragma once

#include <string>
#include <vector>

// The description file's name, beside the program or in a delivery folder.
constexpr char kInstallDescriptionName[] = "Installatore.ini";

// How a value is meant. A text shown to the user turns each "\n" pair into a
// line break; a path or a key name is taken as written, so that a folder such
// as C:\nuovo stays one folder.
enum class ValueKind { Text, Path };

// The longest value the installer reads; a longer one is cut to this length.
constexpr size_t kMaxInstallValue = 255;

// One value of the profile file: at most kMaxInstallValue characters, empty
// when the file, the section or the key is missing.
std::string ReadDescriptionValue(const std::string& file, const std::string& section, const std::string& key,
                                 ValueKind kind);

// Every "\n" pair turned into CR LF, scanning left to right without overlap.
std::string ExpandLineBreaks(const std::string& text);

// The names of the keys of a section, in file order; empty when the file or
// the section is missing.
std::vector<std::string> ReadDescriptionKeys(const std::string& file, const std::string& section);

// The whole length of a value as the platform's reader holds it, beyond the
// kMaxInstallValue characters that the installer takes.
size_t DescriptionValueLength(const std::string& file, const std::string& section, const std::string& key);
