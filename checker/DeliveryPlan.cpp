#include "checker/DeliveryPlan.h"

#include "app/InstallDescription.h"
#include "engine/Delivery.h"
#include "engine/FolderWalk.h"
#include "engine/Folders.h"
#include "framework/Handles.h"
#include "framework/Text.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <map>

namespace {

// The plan's view of a pass: each file with the target folder of its level,
// and each folder the pass cannot list, in the order the pass meets them.
class PlanWalk : public FolderVisitor {
public:
    using FileVisit = std::function<void(const std::string& source, const std::string& name,
                                         const std::string& target, const std::string& relative)>;
    using Unlistable =
        std::function<void(const std::string& source, const std::string& relative, FolderProblem problem)>;

    PlanWalk(std::string top, std::string topRelative, FileVisit visit, Unlistable unlistable)
        : top_(std::move(top)), topRelative_(std::move(topRelative)), visit_(std::move(visit)),
          unlistable_(std::move(unlistable))
    {
    }

    void BeginFolder(const std::string&, const std::string&, size_t) override {}
    void FolderUnlistable(const std::string& source, FolderProblem problem) override
    {
        unlistable_(source, Relative(source), problem);
    }
    void FolderListed() override {}
    void EnterFolder(const std::string&) override {}
    void VisitFile(const std::string& source, const std::string& name, const std::string& target, size_t) override
    {
        visit_(source, name, target, Relative(source));
    }
    void EndFolder() override {}
    // Unlike the passes, the plan never goes on with a part missing.
    void FolderInterrupted() noexcept override
    {
        if (!failure_)
            failure_ = std::current_exception();
    }
    const char* FaultPoint() const override { return "DeliveryPlan"; }

    void RethrowFailure() const
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    // The path below the delivery folder: the walk's paths all start with its top.
    std::string Relative(const std::string& path) const { return topRelative_ + path.substr(top_.size()); }

    std::string top_;
    std::string topRelative_;
    FileVisit visit_;
    Unlistable unlistable_;
    std::exception_ptr failure_;
};

std::string CaseKey(std::string path)
{
    return UpperText(std::move(path));
}

} // namespace

std::string DeliveryFolderPath(const std::string& argument)
{
    const std::wstring wide = Wide(argument);
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::string();
    std::wstring resolved(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, &resolved[0], nullptr);
    if (length == 0 || length >= needed)
        return std::string();
    resolved.resize(length);
    std::string full = Utf8(resolved);
    // The installer's own folder never ends in a backslash; a drive root
    // becomes "C:", so that "C:" + "\FilesToCopy" names the folder below it.
    while (full.size() > 1 && (full.back() == '\\' || full.back() == '/'))
        full.pop_back();
    return full;
}

bool CanListFolder(const std::string& folder)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(folder + "\\").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    WIN32_FIND_DATAW data{};
    return static_cast<bool>(FindHandle(::FindFirstFileW(Wide(folder + "\\*").c_str(), &data)));
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
    plan.descriptionOpens = static_cast<bool>(CrtFile(::_wfopen(Wide(plan.description).c_str(), L"rb")));
    if (!plan.descriptionOpens)
        return plan;

    plan.pathKey = ReadDescriptionValue(plan.description, "CHIAVI", "PathKey", ValueKind::Path);
    plan.installFolder = DecideInstallFolder(plan.description);
    if (!plan.installFolder.keyOpened && !plan.pathKey.empty()) {
        RegKey key;
        plan.keyNeedsAdministrator = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(plan.pathKey).c_str(), 0,
                                                     KEY_QUERY_VALUE | kMachineRegistryView,
                                                     key.Receive()) == ERROR_SUCCESS;
        if (!plan.keyNeedsAdministrator)
            key.Release();
    }
    plan.logPath = LogFilePath(plan.installFolder.folder);
    plan.programFilesFolder = GetProgramFilesDir();
    plan.systemFolder = GetSystemX86Dir(plan.systemFolderFellBack);
    plan.windowsFolder = GetWindowsDir();

    const Delivery delivery(folder);
    PlanWalk applicationFiles(
        delivery.ApplicationFilesFolder(), "FilesToCopy",
        [&](const std::string& source, const std::string& name, const std::string& target,
            const std::string& relative) {
            plan.appFiles.push_back({ source, relative, ApplicationFileTargets(target, name) });
        },
        [&](const std::string& source, const std::string& relative, FolderProblem problem) {
            plan.unlistableAppFolders.push_back({ source, relative, plan.appFiles.size(), problem });
        });
    WalkFolder(delivery.ApplicationFilesFolder(), plan.programFilesFolder, applicationFiles);
    applicationFiles.RethrowFailure();

    // A file copied earlier in the pass is what a later one with the same
    // target meets there.
    std::map<std::string, FileVersion> copiedEarlier;
    PlanWalk systemFiles(
        delivery.SystemFilesFolder(), "SysFile",
        [&](const std::string& source, const std::string& name, const std::string& target,
            const std::string& relative) {
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
                earlier != copiedEarlier.end() ? earlier->second : ReadInstalledVersion(file.targetPath);
            file.copy = ShouldCopySystemFile(file.sourceVersion, file.targetVersion);
            file.registers = file.copy && file.entry.registerAfterCopy;
            if (file.copy)
                copiedEarlier[CaseKey(file.targetPath)] = file.sourceVersion;
            plan.sysFiles.push_back(std::move(file));
        },
        [&](const std::string& source, const std::string& relative, FolderProblem problem) {
            plan.unlistableSysFolders.push_back({ source, relative, plan.sysFiles.size(), problem });
        });
    WalkFolder(delivery.SystemFilesFolder(), plan.systemFolder, systemFiles);
    systemFiles.RethrowFailure();
    return plan;
}
