// The classic path limit. The wide functions of some systems (Wine's, and
// Windows' own for a program that declares long-path awareness on a machine
// that allows it) take longer paths; this program keeps the limit itself, so
// that a long path fails the same way on every machine.
#pragma once

#include <windows.h>

#include <string>

// The length of a path as the platform counts it: in UTF-16 units.
size_t PathLength(const std::string& path);

// The longest path the platform's file functions take: MAX_PATH less the
// terminator.
constexpr size_t kMaxPlatformPath = MAX_PATH - 1;

inline bool ExceedsPathLimit(const std::string& path)
{
    return PathLength(path) > kMaxPlatformPath;
}

// The path made absolute against the current folder, as the file functions
// resolve it; unchanged when it cannot be.
std::wstring FullPath(const std::wstring& path);
// The folder part of a path, without its last separator; empty for a bare name.
std::string FolderOf(const std::string& path);
// The last part of a path.
std::string NameOf(const std::string& path);
// A full local path as written by hand (an InstallationDir) in its one normal
// form: "X:\a\b", the drive letter in capitals, "/" read as "\", "." and ".."
// resolved, doubled separators collapsed, the trailing dots and blanks of
// each name dropped, short 8.3 names of the part that exists expanded, no
// separator at the end. Empty when it is not one: a relative path, "C:a",
// a network or device path ("\\server\share", "\\?\", "\\.\"), a drive's
// root alone, a name of a device ("NUL", "CON", "COM1", "LPT1" ..., with or
// without an extension) or a name with a character names cannot hold (a
// colon past the drive's among them), or a result beyond the path limit.
std::string NormalFullPath(const std::string& written);
// True when a file or a folder is there.
bool PathExists(const std::string& path);
bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
// The size of the file; 0 when it is not there.
ULONGLONG FileBytes(const std::string& path);
// True when the path lies inside the folder (compared without regard to
// case); false for the folder itself and for an empty folder.
bool IsBelow(const std::string& path, const std::string& folder);
