#include "checker/DeliveryPlan.h"

#include "engine/InstallDescription.h"
#include "engine/Delivery.h"
#include "engine/FolderWalk.h"
#include "engine/Folders.h"
#include "engine/Installation.h"
#include "engine/MachineRecord.h"
#include "engine/ProductHome.h"
#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace {

// The plan's view of a pass: each file with the target folder of its level,
// and each folder the pass cannot list, in the order the pass meets them.
class PlanWalk : public FolderVisitor {
public:
    using FileVisit = std::function<void(const std::string& source, const std::string& name,
                                         const std::string& target, const std::string& relative)>;
    using Unlistable =
        std::function<void(const std::string& source, const std::string& relative, FolderProblem problem)>;
    using FolderEnd = std::function<void(const std::string& relative)>;

    PlanWalk(std::string top, std::string topRelative, FileVisit visit, Unlistable unlistable,
             FolderEnd end = FolderEnd())
        : top_(std::move(top)), topRelative_(std::move(topRelative)), visit_(std::move(visit)),
          unlistable_(std::move(unlistable)), end_(std::move(end))
    {
    }

    void BeginFolder(const std::string& source, const std::string&, size_t) override { levels_.push_back(source); }
    void FolderUnlistable(const std::string& source, FolderProblem problem, unsigned long) override
    {
        unlistable_(source, Relative(source), problem);
    }
    void FolderListed() override {}
    void EnterFolder(const std::string&) override {}
    void VisitFile(const std::string& source, const std::string& name, const std::string& target, size_t) override
    {
        visit_(source, name, target, Relative(source));
    }
    void EndFolder() override
    {
        if (end_)
            end_(Relative(levels_.back()));
        levels_.pop_back();
    }
    // Unlike the passes, the plan never goes on with a part missing.
    void FolderInterrupted() noexcept override
    {
        if (!levels_.empty())
            levels_.pop_back();
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
    FolderEnd end_;
    std::vector<std::string> levels_; // the source folder of each level being walked
    std::exception_ptr failure_;
};

std::string CaseKey(std::string path)
{
    return UpperText(std::move(path));
}

bool FileThere(const std::string& path)
{
    return !ExceedsPathLimit(path) && IsFile(path);
}

// The DLLs that the loader of the checking machine takes from the system
// whatever folder a component lies in: the KnownDLLs, the API sets (names
// the loader maps to system DLLs), and every file of the 32-bit system
// folder. Each name is looked up once.
class SystemDlls {
public:
    explicit SystemDlls(std::string systemFolder) : systemFolder_(std::move(systemFolder))
    {
        RegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                            KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
            return;
        // A few dozen on any system; the bound only guards the loop.
        for (DWORD i = 0; i < 4096; ++i) {
            wchar_t name[256];
            BYTE data[520];
            DWORD nameLength = 256;
            DWORD dataSize = sizeof(data) - sizeof(wchar_t);
            DWORD type = 0;
            const LONG status = ::RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, data, &dataSize);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status != ERROR_SUCCESS || type != REG_SZ)
                continue;
            data[dataSize] = 0;
            data[dataSize + 1] = 0;
            known_.insert(CaseKey(Utf8(reinterpret_cast<const wchar_t*>(data))));
        }
    }

    bool Has(const std::string& dllName)
    {
        const std::string key = CaseKey(dllName);
        if (key.compare(0, 11, "API-MS-WIN-") == 0 || key.compare(0, 11, "EXT-MS-WIN-") == 0 || known_.count(key) != 0)
            return true;
        const auto found = inFolder_.find(key);
        if (found != inFolder_.end())
            return found->second;
        const bool there =
            dllName.find_first_of("\\/:") == std::string::npos && FileThere(systemFolder_ + "\\" + dllName);
        inFolder_.emplace(key, there);
        return there;
    }

private:
    std::string systemFolder_;
    std::unordered_set<std::string> known_;
    std::unordered_map<std::string, bool> inFolder_;
};

// The installer's loader as the run leaves it: the files the run has put in
// place so far, and the modules it holds loaded (a registered component and
// what it imports stay loaded until the process ends). A component's imports
// come from its own folder and the system folder.
class LoaderModel {
public:
    LoaderModel(SystemDlls& system, std::string systemFolder) : system_(system), systemFolder_(std::move(systemFolder))
    {
    }

    // The run has copied source (a delivery file) to target.
    void Placed(const std::string& target, const std::string& source, const std::string& relative)
    {
        placed_[CaseKey(target)] = { source, relative };
    }

    bool HasPlaced(const std::string& target) const { return placed_.count(CaseKey(target)) != 0; }
    bool IsLoaded(const std::string& target) const { return loaded_.count(CaseKey(target)) != 0; }

    // The run calls DllRegisterServer of the file at target.
    RegisterForecast Register(const std::string& target)
    {
        RegisterForecast forecast;
        const auto loaded = loaded_.find(CaseKey(target));
        if (loaded != loaded_.end()) {
            forecast.alreadyLoaded = true;
            forecast.loadedFrom = loaded->second.relative;
            forecast.result = loaded->second.exportsRegister ? RegisterForecast::Result::Registers
                                                             : RegisterForecast::Result::NoEntryPoint;
            return forecast;
        }
        std::vector<std::string> newlyLoaded;
        std::unordered_set<std::string> visiting;
        const Module module = Load(target, forecast, newlyLoaded, visiting);
        if (forecast.problem != LoadProblem::None) {
            forecast.result = RegisterForecast::Result::NotLoadable;
            return forecast;
        }
        for (const std::string& path : newlyLoaded)
            loaded_.emplace(path, modules_[path]);
        forecast.result =
            module.exportsRegister ? RegisterForecast::Result::Registers : RegisterForecast::Result::NoEntryPoint;
        return forecast;
    }

    const PeFile& Image(const std::string& path)
    {
        const std::string key = CaseKey(path);
        auto found = images_.find(key);
        if (found == images_.end())
            found = images_.emplace(key, ReadPeFile(path)).first;
        return found->second;
    }

private:
    struct Module {
        std::string relative; // the delivery file it came from; empty for a file of the machine
        bool exportsRegister = false;
    };
    struct Source {
        std::string path;
        std::string relative;
    };

    // Loads the file at target and, through its imports, the delivery's
    // files it needs; the problem of the first that fails.
    Module Load(const std::string& target, RegisterForecast& forecast, std::vector<std::string>& newlyLoaded,
                std::unordered_set<std::string>& visiting)
    {
        Module module;
        if (ExceedsPathLimit(target)) {
            forecast.problem = LoadProblem::PathTooLong;
            return module;
        }
        const std::string key = CaseKey(target);
        const auto placed = placed_.find(key);
        const bool fromDelivery = placed != placed_.end();
        const std::string file = fromDelivery ? placed->second.path : target;
        if (!fromDelivery && !FileThere(target)) {
            forecast.problem = LoadProblem::Absent;
            return module;
        }
        const PeFile& image = Image(file);
        forecast.kind = image.kind;
        forecast.machine = image.machine;
        if (image.kind != PeKind::Image || image.truncated) {
            forecast.problem = LoadProblem::NotImage;
            return module;
        }
        if (image.machine != kShippedMachine) {
            forecast.problem = LoadProblem::OtherMachine;
            return module;
        }
        module.relative = fromDelivery ? placed->second.relative : std::string();
        module.exportsRegister = image.exportsRegister;
        visiting.insert(key);
        const std::string folder = FolderOf(target);
        for (const std::string& name : image.imports) {
            if (system_.Has(name) || Resolves(folder + "\\" + name, newlyLoaded, visiting) ||
                Resolves(systemFolder_ + "\\" + name, newlyLoaded, visiting))
                continue;
            forecast.missingImports.push_back(name);
        }
        if (!forecast.missingImports.empty()) {
            forecast.problem = LoadProblem::MissingImports;
            return module;
        }
        modules_[key] = module;
        newlyLoaded.push_back(key);
        return module;
    }

    // An import found at path: a file of the machine, taken as sound, or one
    // the run put there, which must load in turn.
    bool Resolves(const std::string& path, std::vector<std::string>& newlyLoaded,
                  std::unordered_set<std::string>& visiting)
    {
        const std::string key = CaseKey(path);
        if (visiting.count(key) != 0 || loaded_.count(key) != 0)
            return true;
        if (placed_.count(key) == 0)
            return FileThere(path);
        RegisterForecast dependency;
        Load(path, dependency, newlyLoaded, visiting);
        return dependency.problem == LoadProblem::None;
    }

    SystemDlls& system_;
    std::string systemFolder_;
    std::unordered_map<std::string, Source> placed_;
    std::unordered_map<std::string, Module> loaded_;
    std::unordered_map<std::string, Module> modules_;
    std::unordered_map<std::string, PeFile> images_;
};

// What the record of the run will hold and which shared components it will
// count: the record an earlier run of the product left in the installation
// folder, and what this run places and uses, met in the run's order.
class RecordForecast {
public:
    RecordForecast(const std::string& installDir, const std::string& entryKey)
    {
        // The record lies in the product's home; an installation made before
        // homes left it in the installation folder, where the run reads it.
        const std::string home = ProductHome(entryKey);
        if (home.empty() || !earlier_.Load(InstallationRecord::PathIn(home)))
            earlier_.Load(InstallationRecord::PathIn(installDir));
        // The run forgets the files that are gone, and reckons the size of
        // the others as they are then.
        for (const RecordEntry& entry : earlier_.entries) {
            if (entry.kind != RecordKind::Folder && PathExists(entry.path))
                files_[CaseKey(entry.path)] = { FileBytes(entry.path), entry.ByProduct() };
        }
    }

    // The run copies source onto target: the product's file from then on.
    void Copied(const std::string& source, const std::string& target)
    {
        files_[CaseKey(target)] = { FileBytes(source), true };
    }

    // A shared component the run uses; only its first use decides its count.
    void Uses(const std::string& path, RecordKind kind, bool fileThere)
    {
        if (!usedPaths_.insert(CaseKey(path)).second)
            return;
        SharedCountPlan shared;
        shared.path = path;
        shared.kind = kind;
        shared.fileThere = fileThere;
        shared.hasCount = ReadSharedCount(path, shared.countNow);
        const RecordEntry* entry = earlier_.Find(path);
        shared.countedBefore = entry != nullptr && !entry->NeedsCount();
        shared.count =
            shared.countedBefore ? shared.countNow : NewSharedCount(shared.hasCount, shared.countNow, fileThere);
        shared_.push_back(std::move(shared));
    }

    std::vector<SharedCountPlan> TakeShared() { return std::move(shared_); }

    // The KB of what the product placed, as Programs and Features shows it.
    DWORD SizeKb() const
    {
        ULONGLONG bytes = 0;
        for (const auto& file : files_)
            bytes += file.second.counts ? file.second.bytes : 0;
        return SizeInKb(bytes);
    }

private:
    struct File {
        ULONGLONG bytes;
        bool counts; // copied by the product, or an application file
    };
    InstallationRecord earlier_;
    std::unordered_map<std::string, File> files_;
    std::unordered_set<std::string> usedPaths_;
    std::vector<SharedCountPlan> shared_;
};

// The values the end of the run writes after the shared counts, in its order.
std::vector<RegistryValuePlan> ProductValues(const ProductIdentity& product, const std::string& installDir,
                                             DWORD sizeKb)
{
    std::vector<RegistryValuePlan> values;
    const std::string entry = std::string(kUninstallKey) + "\\" + product.uninstallKey;
    auto text = [&](const std::string& key, const char* name, const std::string& value) {
        RegistryValuePlan plan;
        plan.key = key;
        plan.name = name;
        plan.text = value;
        values.push_back(std::move(plan));
    };
    auto number = [&](const char* name, DWORD value) {
        RegistryValuePlan plan;
        plan.key = entry;
        plan.name = name;
        plan.number = true;
        plan.value = value;
        values.push_back(std::move(plan));
    };
    const UninstallEntry written = MakeUninstallEntry(product, installDir, ProductHome(product.uninstallKey), sizeKb);
    text(entry, "DisplayName", written.displayName);
    text(entry, "InstallLocation", written.installLocation);
    text(entry, "InstallDate", written.installDate);
    text(entry, "UninstallString", written.uninstallString);
    text(entry, "QuietUninstallString", written.quietUninstallString);
    text(entry, "DisplayIcon", written.displayIcon);
    number("EstimatedSize", written.estimatedSizeKb);
    number("NoModify", 1);
    number("NoRepair", 1);
    text(entry, "DisplayVersion", written.displayVersion);
    values.back().removed = written.displayVersion.empty();
    text(entry, "Publisher", written.publisher);
    values.back().removed = written.publisher.empty();
    if (!product.pathKey.empty())
        text(product.pathKey, "InstallationDir", installDir);
    return values;
}

// What the run does with a copy onto target.
CopyForecast ForecastCopy(const LoaderModel& loader, const std::string& source, const std::string& target)
{
    if (ExceedsPathLimit(source) || ExceedsPathLimit(target))
        return CopyForecast::FailsPathTooLong;
    return loader.IsLoaded(target) ? CopyForecast::ReplacesLoaded : CopyForecast::Copies;
}

} // namespace

const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

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

const char* MachineBits(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return "32";
    case IMAGE_FILE_MACHINE_AMD64:
        return "64";
    default:
        return "";
    }
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
    // The run works in the folder's one normal form.
    const std::string normal = NormalFullPath(plan.installFolder.folder);
    if (!normal.empty())
        plan.installFolder.folder = normal;
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

    SystemDlls systemDlls(plan.systemFolder);
    LoaderModel loader(systemDlls, plan.systemFolder);
    const Delivery identity(folder);
    RecordForecast record(plan.installFolder.folder, ReadProductIdentity(identity).uninstallKey);
    auto copyOnto = [&](const std::string& source, const std::string& target, const std::string& relative) {
        const CopyForecast forecast = ForecastCopy(loader, source, target);
        if (forecast == CopyForecast::FailsPathTooLong) {
            ++plan.failures;
        } else {
            loader.Placed(target, source, relative);
            record.Copied(source, target);
        }
        plan.restart = plan.restart || forecast == CopyForecast::ReplacesLoaded;
        return forecast;
    };
    // The DAO files are shared with other products, and counted as components are.
    auto copyDao = [&](const std::string& source, const std::string& target, const std::string& relative) {
        // Something is there before the copy: on the machine, or put there
        // earlier in the run.
        const bool there = loader.HasPlaced(target) || PathExists(target);
        const CopyForecast forecast = copyOnto(source, target, relative);
        if (forecast != CopyForecast::FailsPathTooLong)
            record.Uses(target, RecordKind::DaoFile, there);
        return forecast;
    };

    const Delivery delivery(folder);
    PlanWalk applicationFiles(
        delivery.ApplicationFilesFolder(), "FilesToCopy",
        [&](const std::string& source, const std::string& name, const std::string& target,
            const std::string& relative) {
            AppFilePlan file{ source, relative, ApplicationFileTargets(target, name) };
            if (file.targets.IsDao()) {
                file.secondaryCopy = copyDao(source, file.targets.secondaryPath, relative);
                file.primaryCopy = copyDao(source, file.targets.primaryPath, relative);
            } else {
                file.primaryCopy = copyOnto(source, file.targets.primaryPath, relative);
            }
            plan.appSteps.push_back({ PlanStep::Kind::File, plan.appFiles.size() });
            plan.appFiles.push_back(std::move(file));
        },
        [&](const std::string& source, const std::string& relative, FolderProblem problem) {
            plan.appSteps.push_back({ PlanStep::Kind::Folder, plan.unlistableAppFolders.size() });
            plan.unlistableAppFolders.push_back({ source, relative, problem });
            ++plan.failures;
        },
        [&](const std::string& relative) {
            plan.appSteps.push_back({ PlanStep::Kind::Dao, plan.daoRegistrations.size() });
            plan.daoRegistrations.push_back({ relative, loader.Register(kDaoLibraryPath) });
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
            file.image = loader.Image(source);
            for (const std::string& import : file.image.imports) {
                if (!systemDlls.Has(import))
                    file.nonSystemImports.push_back(import);
            }
            const VersionReading reading = ReadVersionOf(source);
            file.sourceVersion = reading.version;
            const auto earlier = copiedEarlier.find(CaseKey(file.targetPath));
            bool there = earlier != copiedEarlier.end();
            file.targetVersion = there ? earlier->second : ReadFileVersion(file.targetPath, &there);
            file.action = DecideSystemFile(reading, file.targetVersion);
            file.copy = file.action == SystemFileAction::Copy;
            if (file.action == SystemFileAction::SourceUnreadable) {
                file.unreadableError = reading.error;
                ++plan.failures;
            }
            file.registers = file.copy && file.entry.registerAfterCopy;
            if (file.copy) {
                copiedEarlier[CaseKey(file.targetPath)] = file.sourceVersion;
                file.copyForecast = copyOnto(source, file.targetPath, relative);
                if (file.copyForecast != CopyForecast::FailsPathTooLong)
                    record.Uses(file.targetPath, RecordKind::SystemFile, there);
            } else if (there && file.action == SystemFileAction::NotNewer) {
                // Found with an equal or newer version: the product uses it all the same.
                record.Uses(file.targetPath, RecordKind::SystemFile, true);
            }
            if (file.registers) {
                file.registration = loader.Register(file.targetPath);
                plan.failures += file.registration.Fails() ? 1 : 0;
            }
            plan.sysSteps.push_back({ PlanStep::Kind::File, plan.sysFiles.size() });
            plan.sysFiles.push_back(std::move(file));
        },
        [&](const std::string& source, const std::string& relative, FolderProblem problem) {
            plan.sysSteps.push_back({ PlanStep::Kind::Folder, plan.unlistableSysFolders.size() });
            plan.unlistableSysFolders.push_back({ source, relative, problem });
            ++plan.failures;
        });
    WalkFolder(delivery.SystemFilesFolder(), plan.systemFolder, systemFiles);
    systemFiles.RethrowFailure();

    plan.product = ReadProductIdentity(delivery);
    plan.sharedCounts = record.TakeShared();
    plan.registryValues = ProductValues(plan.product, plan.installFolder.folder, record.SizeKb());
    return plan;
}
