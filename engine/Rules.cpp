#include "engine/Rules.h"

#include "framework/Text.h"

#include <windows.h>

#include <cstdlib>
#include <limits>
#include <vector>

std::string TrimText(const std::string& text)
{
    static const char kBlanks[] = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string UpperText(std::string text)
{
    std::wstring wide = Wide(text);
    if (wide.empty())
        return text;
    ::CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
    return Utf8(wide);
}



double ReadCount(const std::string& countText)
{
    return std::atof(countText.c_str());
}

double ProgressStep(const std::string& countText)
{
    const double count = ReadCount(countText);
    if (count == 0.0)
        return std::numeric_limits<double>::infinity();
    return 100.0 / count;
}

bool IsUnlistableFolder(size_t patternLength, unsigned long searchError)
{
    return patternLength >= MAX_PATH || (searchError != ERROR_FILE_NOT_FOUND && searchError != ERROR_PATH_NOT_FOUND);
}

bool IsDaoFile(const std::string& backslashName)
{
    const std::wstring name = Wide(backslashName);
    return lstrcmpiW(name.c_str(), L"\\dao350.dll") == 0 || lstrcmpiW(name.c_str(), L"\\DAO2535.TLB") == 0;
}

ApplicationTargets ApplicationFileTargets(const std::string& targetFolder, const std::string& fileName)
{
    const std::string name = "\\" + fileName;
    ApplicationTargets targets;
    if (IsDaoFile(name)) {
        targets.secondaryFolder = targetFolder + "\\File Comuni\\microsoft shared\\DAO";
        targets.secondaryPath = targets.secondaryFolder + name;
        targets.primaryFolder = targetFolder + "\\Common Files\\microsoft shared\\DAO";
    } else {
        targets.primaryFolder = targetFolder + "\\Common Files\\Business Objects\\3.0\\bin";
    }
    targets.primaryPath = targets.primaryFolder + name;
    return targets;
}

SysFileEntry ParseSysFileEntry(const std::string& value)
{
    SysFileEntry entry;
    const std::string trimmed = TrimText(value);
    if (trimmed.empty())
        return entry;
    entry.present = true;

    std::vector<std::string> pieces;
    entry.hasDelimiter = SplitText(trimmed, "|", pieces, true) > 0;
    if (!entry.hasDelimiter)
        pieces.push_back(trimmed);
    entry.folderWord = UpperText(TrimText(pieces[0]));
    if (pieces.size() > 1)
        entry.flagWord = UpperText(TrimText(pieces[1]));

    if (entry.folderWord == "SYSPATH")
        entry.destination = SysDestination::SystemFolder;
    else if (entry.folderWord == "WINPATH")
        entry.destination = SysDestination::WindowsFolder;
    else
        entry.destination = SysDestination::OwnFolder;
    entry.registerAfterCopy = entry.flagWord == "REG";
    return entry;
}

std::string SysFileTargetPath(const SysFileEntry& entry, const std::string& defaultPath,
                              const std::string& windowsFolder, const std::string& fileName)
{
    switch (entry.destination) {
    case SysDestination::WindowsFolder:
        return windowsFolder + "\\" + fileName;
    case SysDestination::OwnFolder:
        return entry.folderWord + "\\" + fileName;
    case SysDestination::SystemFolder:
        break;
    }
    return defaultPath;
}

bool IsFullFolderPath(const std::string& folder)
{
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (folder.size() >= 2 && separator(folder[0]) && separator(folder[1]))
        return folder.size() > 2;
    const bool letter = folder.size() >= 2 && ((folder[0] >= 'A' && folder[0] <= 'Z') ||
                                               (folder[0] >= 'a' && folder[0] <= 'z'));
    return letter && folder[1] == ':' && (folder.size() == 2 || separator(folder[2]));
}

std::string LogFilePath(const std::string& installDir)
{
    return installDir + "\\Installatore.log";
}

SystemFileAction DecideSystemFile(const VersionReading& source, const FileVersion& target)
{
    // A file that is there and cannot be opened, or whose version block the
    // reader rejects, would otherwise read as 0.0.0.0 and pass for up to date.
    if (source.state == VersionState::Unreadable ||
        (source.state == VersionState::Missing && source.Exists()))
        return SystemFileAction::SourceUnreadable;
    return ShouldCopySystemFile(source.version, target) ? SystemFileAction::Copy : SystemFileAction::NotNewer;
}

std::string UnreadableVersionLine(const std::string& source, const std::string& targetPath)
{
    return "  LA VERSIONE DEL FILE: " + source + " NON PUO' ESSERE LETTA, IL FILE " + targetPath +
           " NON E' STATO COPIATO";
}
