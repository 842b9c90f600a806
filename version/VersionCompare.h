// Four-part file versions, their comparison, and the cutting of a delimited text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FileVersion {
    WORD major = 0;
    WORD minor = 0;
    WORD build = 0;
    WORD revision = 0;

    static FileVersion FromWords(DWORD versionMS, DWORD versionLS)
    {
        return { HIWORD(versionMS), LOWORD(versionMS), HIWORD(versionLS), LOWORD(versionLS) };
    }
};

// True when the candidate is strictly newer than the existing version,
// comparing major, minor, build and revision in that order, as numbers.
bool CompareVersions(int major, int minor, int build, int revision, int existingMajor, int existingMinor,
                     int existingBuild, int existingRevision);

inline bool CompareVersions(const FileVersion& candidate, const FileVersion& existing)
{
    return CompareVersions(candidate.major, candidate.minor, candidate.build, candidate.revision, existing.major,
                           existing.minor, existing.build, existing.revision);
}

// What reading a file's version found. The file is opened once, by the
// bounded reader, which checks the version resource before anything of it
// is taken.
enum class VersionState {
    Missing,    // no file there, or one that cannot be opened (error tells why)
    NoVersion,  // a file that carries no version: not a program, or a program without a version resource
    Unreadable, // a version resource the reader rejects, or one without its fixed record or translation table
    Read,
};
struct VersionReading {
    VersionState state = VersionState::Missing;
    FileVersion version; // 0.0.0.0 unless Read
    bool truncated = false; // the file is shorter than its own headers say
    unsigned long error = 0; // the platform's reason for Missing and Unreadable
    bool Exists() const { return state != VersionState::Missing || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_FILENAME_EXCED_RANGE); }
};
VersionReading ReadVersionOf(const std::string& path);
// The same, of a file open for reading: the version taken is that of the
// bytes the handle reads, whatever the name leads to later.
VersionReading ReadVersionOf(HANDLE file);

// The version of a file; 0.0.0.0 when it is missing or has no usable version
// (a version resource that does not hold together counts as none, and so
// does a file shorter than its own headers say, so that a target damaged by
// an ended copy is replaced rather than trusted).
// exists, when given, tells whether there is a file at all.
FileVersion ReadFileVersion(const std::string& path, bool* exists = nullptr);


// Cuts the text at every occurrence of the delimiter (left to right, never
// overlapping) and appends the pieces to the list; empty pieces only when
// keepEmpty is true. Returns the number of occurrences; a text without one
// yields no piece at all.
int SplitText(const std::string& text, const std::string& delimiter, std::vector<std::string>& pieces,
              bool keepEmpty);
