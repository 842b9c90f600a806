// What the installer would do with a delivery folder on this machine, worked
// out with the installer's own readers and rules and without changing
// anything: the checker's findings and its plan both start from it. It
// models the installer that ships, a 32-bit program, in every build.
#pragma once

#include "engine/InstallFolder.h"
#include "engine/FolderWalk.h"
#include "engine/InstallationRecord.h"
#include "engine/Rules.h"
#include "version/PeFile.h"
#include "version/VersionCompare.h"

#include <windows.h>

#include <string>
#include <vector>

// The machine of the installer that ships: the only one whose components it
// can load.
constexpr WORD kShippedMachine = IMAGE_FILE_MACHINE_I386;

// What a copy of the run will do with its target.
enum class CopyForecast {
    NotCopied,        // not newer than the file there
    Copies,
    FailsPathTooLong, // "NON RIUSCITA"
    // The target was loaded earlier in the run: it is renamed aside, the new
    // file takes its place, and the old one is deleted at the restart (3010).
    ReplacesLoaded,
};

// Why the installer cannot load a component.
enum class LoadProblem {
    None,
    PathTooLong,
    Absent,         // no file at the target
    NotImage,       // empty, not a program file, damaged or truncated
    OtherMachine,   // not a 32-bit x86 library
    MissingImports, // a DLL it imports is found neither beside it nor in the system folder
};

struct RegisterForecast {
    enum class Result {
        None,         // not asked for
        Registers,    // DllRegisterServer is called (what it returns cannot be foreseen)
        NotLoadable,  // "NON PUO' ESSERE CARICATO"
        NoEntryPoint, // "NON E' STATO TROVATO IL PUNTO DI INGRESSO"
    } result = Result::None;
    LoadProblem problem = LoadProblem::None;
    PeKind kind = PeKind::Image;
    WORD machine = 0;
    std::vector<std::string> missingImports;
    // The target was already loaded by the run: loading it again gives that
    // module, whose DllRegisterServer runs, whatever file now lies there.
    bool alreadyLoaded = false;
    std::string loadedFrom; // the delivery file of that module; empty for a file of the machine

    bool Fails() const { return result == Result::NotLoadable || result == Result::NoEntryPoint; }
};

struct AppFilePlan {
    std::string source;   // full path
    std::string relative; // below the delivery folder, "FilesToCopy\..."
    ApplicationTargets targets;
    CopyForecast primaryCopy = CopyForecast::Copies;
    CopyForecast secondaryCopy = CopyForecast::NotCopied; // the DAO file's first copy
};

struct SysFilePlan {
    std::string source;
    std::string relative; // "SysFile\..."
    std::string fileName;
    std::string entryValue; // the SYSFILE value as the pass reads it
    SysFileEntry entry;
    std::string targetPath;
    PeFile image;
    FileVersion sourceVersion;
    FileVersion targetVersion; // what will be at the target when its turn comes
    // The pass's own decision, from the same reading of the source.
    SystemFileAction action = SystemFileAction::NotNewer;
    unsigned long unreadableError = 0;
    bool copy = false;
    bool registers = false; // copied and registered after the copy
    CopyForecast copyForecast = CopyForecast::NotCopied;
    RegisterForecast registration;
    // Imports that are no system DLL of this machine (KnownDLLs, API sets,
    // files of the 32-bit system folder), whether the delivery has them or not.
    std::vector<std::string> nonSystemImports;
};

// A folder of the delivery that a pass does not walk (its search pattern is
// too long, the search fails, or it is a link back to a folder being walked):
// the pass logs it and copies none of its files.
struct UnlistableFolder {
    std::string path;     // full path, as the log names it
    std::string relative; // "SysFile\..."
    FolderProblem problem;
};

// The registration of the fixed DAO path at the end of a folder of the
// application-file pass: no line in the log, no effect on the outcome.
struct DaoRegistration {
    std::string folderRelative; // the folder that ends, "FilesToCopy\..."
    RegisterForecast registration;
};

// One step of a pass, in the order the run takes them.
struct PlanStep {
    enum class Kind { File, Folder, Dao } kind;
    size_t index; // into the pass's files, its unlistable folders, or the DAO registrations
};

// The count of a shared component (a system component or a DAO file) below
// SharedDLLs, as the end of the run leaves it: the product counts once, on
// the run that first uses the component.
struct SharedCountPlan {
    std::string path; // the value's name: the target path, as the log writes it
    RecordKind kind = RecordKind::SystemFile;
    // A file was at the path when the run first met it: an earlier owner,
    // which counts as one when there is no count yet.
    bool fileThere = false;
    bool hasCount = false; // the value is there now, as a number
    DWORD countNow = 0;
    // The record of an earlier run of this product says it is counted: the
    // run leaves the value as it is.
    bool countedBefore = false;
    DWORD count = 0; // what the value holds after the run
};

// A value of the entry of Programs and Features or of the product key, as the
// end of the run writes it.
struct RegistryValuePlan {
    std::string key; // below HKEY_LOCAL_MACHINE
    std::string name;
    bool number = false; // REG_DWORD, else REG_SZ
    std::string text;
    DWORD value = 0;
    // Not given by the description file: the run deletes what an earlier
    // version of the product left.
    bool removed = false;
};

struct DeliveryPlan {
    std::string folder;      // full path, no trailing backslash
    std::string description; // folder + "\Installatore.ini"
    bool descriptionOpens = false;

    std::string pathKey; // [CHIAVI] PathKey, the key an earlier installation left
    InstallFolder installFolder;
    // The product key is there but opens only for reading: the elevated
    // installer would open it and may take its folder; this run cannot tell.
    bool keyNeedsAdministrator = false;
    std::string logPath;
    std::string programFilesFolder;
    std::string systemFolder;
    bool systemFolderFellBack = false;
    std::string windowsFolder;

    std::vector<AppFilePlan> appFiles;
    std::vector<SysFilePlan> sysFiles;
    std::vector<UnlistableFolder> unlistableAppFolders;
    std::vector<UnlistableFolder> unlistableSysFolders;
    std::vector<DaoRegistration> daoRegistrations;
    std::vector<PlanStep> appSteps;
    std::vector<PlanStep> sysSteps;

    // What the end of the run writes below HKEY_LOCAL_MACHINE, in its 32-bit
    // view, in the order it writes it: the shared counts, the entry of
    // Programs and Features, then InstallationDir below the product key.
    ProductIdentity product;
    std::vector<SharedCountPlan> sharedCounts;
    std::vector<RegistryValuePlan> registryValues;

    // What the run counts for its exit code: folders it cannot read, copies
    // and registrations that fail. What a registered DllRegisterServer
    // returns, and copies refused by the machine, cannot be foreseen.
    size_t failures = 0;
    bool restart = false; // something waits for the restart
    int ExpectedExitCode() const { return failures != 0 ? 1603 : (restart ? 3010 : 0); }
};

// The folder as a full path without a trailing backslash, as the installer
// knows its own folder; empty when the name cannot be resolved.
std::string DeliveryFolderPath(const std::string& argument);

// True when the folder exists and its entries can be listed.
bool CanListFolder(const std::string& folder);

// Walks the delivery as the two passes would. Without Installatore.ini the
// installer does nothing, and neither does the plan: only the folder and
// descriptionOpens are set.
DeliveryPlan MakeDeliveryPlan(const std::string& folder);

// Below HKEY_LOCAL_MACHINE.
extern const char kSharedDllsKey[];
extern const char kUninstallKey[];

// "a.b.c.d".
std::string VersionText(const FileVersion& version);

// "32", "64", or empty for a machine that is neither x86 nor x64.
const char* MachineBits(WORD machine);
