// The installation's rules as pure functions of plain values: where a file
// goes, what a SYSFILE value means, whether a version wins. The passes carry
// them out; the delivery checker calls the same functions to predict them.
#pragma once

#include "framework/Path.h"
#include "version/VersionCompare.h"

#include <windows.h>

#include <string>

// Texts and paths are UTF-8 (framework/Text.h).

// White space removed from both ends.
std::string TrimText(const std::string& text);

// Capital letters, as the platform makes them.
std::string UpperText(std::string text);

// A count of Installatore.ini as the C runtime reads a number: leading blanks
// skipped, reading stops at the first character that does not fit, 0 for a
// text without a number.
double ReadCount(const std::string& countText);

// The progress step per file for a count read from Installatore.ini: 100
// divided by the count as the C runtime reads a number (0 for a text without
// one). A count of 0 gives an infinite step.
double ProgressStep(const std::string& countText);

// Whether a folder search that found nothing means a folder that is there
// but cannot be listed (its pattern is too long for the platform, or the
// search failed for another reason than a missing folder), rather than one
// that is missing.
bool IsUnlistableFolder(size_t patternLength, unsigned long searchError);

// Where one application file goes below the target folder of its folder.
struct ApplicationTargets {
    // The copy that is logged. For a DAO file the shared DAO folder, for every
    // other file the shared Business Objects folder.
    std::string primaryFolder;
    std::string primaryPath;
    // Only a DAO file has a second copy, made first and never logged.
    std::string secondaryFolder;
    std::string secondaryPath;
    bool IsDao() const { return !secondaryPath.empty(); }
};

// True for the two DAO files; the name comes with its leading backslash.
bool IsDaoFile(const std::string& backslashName);

// The DAO library that the application-file pass registers at the end of each
// folder, wherever the delivery put it; its result is never looked at.
constexpr char kDaoLibraryPath[] = "C:\\Program Files (x86)\\File comuni\\microsoft shared\\DAO\\DAO350.DLL";

ApplicationTargets ApplicationFileTargets(const std::string& targetFolder, const std::string& fileName);

// What a SYSFILE value asks for.
enum class SysDestination {
    SystemFolder, // the pass's own folder, subfolders mirrored
    WindowsFolder,
    OwnFolder,    // a folder named in the value
};

struct SysFileEntry {
    bool present = false;       // the value is not empty once trimmed
    bool hasDelimiter = false;  // it holds a "|"
    std::string folderWord;     // the first piece, trimmed and in capitals
    std::string flagWord;       // the second piece, trimmed and in capitals
    SysDestination destination = SysDestination::SystemFolder;
    bool registerAfterCopy = true;
};

// A value without an entry (empty) means the system folder and registration.
// A value without "|" is a destination without a flag.
SysFileEntry ParseSysFileEntry(const std::string& value);

// Where a system file goes: defaultPath is the mirrored place in the system
// folder; an own folder is the folder word itself.
std::string SysFileTargetPath(const SysFileEntry& entry, const std::string& defaultPath,
                              const std::string& windowsFolder, const std::string& fileName);

// A system file is copied only when it is strictly newer than the file at its
// target (0.0.0.0 when there is none); a file without a version never is.
inline bool ShouldCopySystemFile(const FileVersion& source, const FileVersion& target)
{
    return CompareVersions(source, target);
}

// What the system-file pass does with one file of SysFile, and what the
// delivery checker's plan says it will do.
enum class SystemFileAction {
    Copy,             // strictly newer than the file at the target
    NotNewer,         // the target is as new or newer, or the file carries no version at all
    SourceUnreadable, // its version cannot be read: a failure, never taken for up to date
};
SystemFileAction DecideSystemFile(const VersionReading& source, const FileVersion& target);

// The line that reports a source whose version cannot be read.
std::string UnreadableVersionLine(const std::string& source, const std::string& targetPath);

// A target longer than the platform's path limit (framework/Path.h) makes the
// copy fail.

// True for a folder that names its drive or share ("C:", "C:\Dati",
// "\\server\share"). Any other own folder of a SYSFILE value resolves against
// the installer's current folder or drive.
bool IsFullFolderPath(const std::string& folder);

// Where a run writes its log: the installation folder and the log's name.
std::string LogFilePath(const std::string& installDir);
