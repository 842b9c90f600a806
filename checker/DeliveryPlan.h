// What the installer would do with a delivery folder on this machine, worked
// out with the installer's own readers and rules and without changing
// anything: the checker's findings and its plan both start from it.
#pragma once

#include "app/InstallFolder.h"
#include "engine/FolderWalk.h"
#include "engine/Rules.h"
#include "version/VersionCompare.h"

#include <string>
#include <vector>

struct AppFilePlan {
    std::string source;   // full path
    std::string relative; // below the delivery folder, "FilesToCopy\..."
    ApplicationTargets targets;
};

struct SysFilePlan {
    std::string source;
    std::string relative; // "SysFile\..."
    std::string fileName;
    std::string entryValue; // the SYSFILE value as the pass reads it
    SysFileEntry entry;
    std::string targetPath;
    FileVersion sourceVersion;
    FileVersion targetVersion; // what will be at the target when its turn comes
    bool copy = false;
    bool registers = false; // copied and registered after the copy
};

// A folder of the delivery that a pass does not walk (its search pattern is
// too long, the search fails, or it is a link back to a folder being walked):
// the pass logs it and copies none of its files.
struct UnlistableFolder {
    std::string path;     // full path, as the log names it
    std::string relative; // "SysFile\..."
    size_t before;        // how many files of the pass come before it
    FolderProblem problem;
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

    // In the order the passes handle them.
    std::vector<AppFilePlan> appFiles;
    std::vector<SysFilePlan> sysFiles;
    std::vector<UnlistableFolder> unlistableAppFolders;
    std::vector<UnlistableFolder> unlistableSysFolders;
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

// "a.b.c.d".
std::string VersionText(const FileVersion& version);
