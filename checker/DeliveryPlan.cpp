#include "checker/DeliveryPlan.h"

#include "app/InstallDescription.h"
#include "engine/Folders.h"
#include "framework/FileFind.h"
#include "framework/Handles.h"

#include <cstdio>
#include <map>

namespace {

// The files of a source folder, at any depth, in the order the passes meet
// them: a subfolder is walked when its turn comes in its parent's listing.
template <class Visit, class Unlistable>
void WalkFolder(const std::string& source, const std::string& target, const std::string& relative, Visit visit,
                Unlistable unlistable)
{
    CFileFind finder;
    const std::string pattern = source + "\\*.*";
    bool more = finder.FindFile(pattern);
    if (!more && IsUnlistableFolder(pattern.size(), finder.SearchError()))
        unlistable(source, relative);
    while (more) {
        more = finder.FindNextFile();
        const std::string name = finder.GetFileName();
        if (finder.IsDirectory()) {
            if (!finder.IsDots())
                WalkFolder(finder.GetFilePath(), target + "\\" + name, relative + "\\" + name, visit, unlistable);
            continue;
        }
        visit(finder.GetFilePath(), target, relative + "\\" + name, name);
    }
}

std::string CaseKey(std::string path)
{
    return UpperText(std::move(path));
}

} // namespace

std::string DeliveryFolderPath(const std::string& argument)
{
    char* filePart = nullptr;
    const DWORD needed = ::GetFullPathNameA(argument.c_str(), 0, nullptr, &filePart);
    if (needed == 0)
        return std::string();
    std::string full(needed, '\0');
    const DWORD length = ::GetFullPathNameA(argument.c_str(), needed, &full[0], &filePart);
    if (length == 0 || length >= needed)
        return std::string();
    full.resize(length);
    // The installer's own folder never ends in a backslash; a drive root
    // becomes "C:", so that "C:" + "\FilesToCopy" names the folder below it.
    while (full.size() > 1 && (full.back() == '\\' || full.back() == '/'))
        full.pop_back();
    return full;
}

bool CanListFolder(const std::string& folder)
{
    const DWORD attributes = ::GetFileAttributesA((folder + "\\").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    WIN32_FIND_DATAA data{};
    return static_cast<bool>(FindHandle(::FindFirstFileA((folder + "\\*").c_str(), &data)));
}

std::string VersionText(const FileVersion& version)
{
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.build) + "." + std::to_string(version.revision);
}

DeliveryPlan MakeDeliveryPlan(const std::string& folder)
{
    DeliveryPlan plan;
    plan.folder = folder;
    plan.description = folder + "\\" + kInstallDescriptionName;
    // The installer's own test: the file opens for reading.
    plan.descriptionOpens = static_cast<bool>(CrtFile(std::fopen(plan.description.c_str(), "rb")));
    if (!plan.descriptionOpens)
        return plan;

    plan.pathKey = ReadDescriptionValue(plan.description, "CHIAVI", "PathKey", ValueKind::Path);
    plan.installFolder = DecideInstallFolder(plan.description);
    if (!plan.installFolder.keyOpened && !plan.pathKey.empty()) {
        RegKey key;
        plan.keyNeedsAdministrator = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, plan.pathKey.c_str(), 0,
                                                     KEY_QUERY_VALUE | kMachineRegistryView,
                                                     key.Receive()) == ERROR_SUCCESS;
        if (!plan.keyNeedsAdministrator)
            key.Release();
    }
    plan.logPath = LogFilePath(plan.installFolder.folder);
    plan.programFilesFolder = GetProgramFilesDir();
    plan.systemFolder = GetSystemX86Dir(plan.systemFolderFellBack);
    plan.windowsFolder = GetWindowsDir();

    WalkFolder(folder + "\\FilesToCopy", plan.programFilesFolder, "FilesToCopy",
               [&](const std::string& source, const std::string& target, const std::string& relative,
                   const std::string& name) {
                   plan.appFiles.push_back({ source, relative, ApplicationFileTargets(target, name) });
               },
               [&](const std::string& source, const std::string& relative) {
                   plan.unlistableAppFolders.push_back({ source, relative, plan.appFiles.size() });
               });

    // A file copied earlier in the pass is what a later one with the same
    // target meets there.
    std::map<std::string, FileVersion> copiedEarlier;
    WalkFolder(folder + "\\SysFile", plan.systemFolder, "SysFile",
               [&](const std::string& source, const std::string& target, const std::string& relative,
                   const std::string& name) {
                   SysFilePlan file;
                   file.source = source;
                   file.relative = relative;
                   file.fileName = name;
                   file.entryValue = ReadDescriptionValue(plan.description, "SYSFILE", name, ValueKind::Path);
                   file.entry = ParseSysFileEntry(file.entryValue);
                   file.targetPath = SysFileTargetPath(file.entry, target + "\\" + name, plan.windowsFolder, name);
                   file.sourceVersion = ReadFileVersion(source);
                   const auto earlier = copiedEarlier.find(CaseKey(file.targetPath));
                   file.targetVersion =
                       earlier != copiedEarlier.end() ? earlier->second : ReadFileVersion(file.targetPath);
                   file.copy = ShouldCopySystemFile(file.sourceVersion, file.targetVersion);
                   file.registers = file.copy && file.entry.registerAfterCopy;
                   if (file.copy)
                       copiedEarlier[CaseKey(file.targetPath)] = file.sourceVersion;
                   plan.sysFiles.push_back(std::move(file));
               },
               [&](const std::string& source, const std::string& relative) {
                   plan.unlistableSysFolders.push_back({ source, relative, plan.sysFiles.size() });
               });
    return plan;
}
