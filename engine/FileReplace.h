// Replacing a target file whole, the way the platform's own updaters do: the
// new file is written into a folder of the program's own inside the target's
// folder and renamed over the target in one step, so that a run ended at any
// instant leaves the target either as it was or complete. A target in use is
// renamed aside first, or, when even that is refused, replaced at the next
// restart.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class BackgroundCopy;

enum class Replacement {
    // The new file is in place.
    Done,
    // The new file is in place; the old one was in use, went aside, and is
    // deleted at the next restart.
    OldDeletedAtRestart,
    // The target is in use and cannot even be renamed: the new file waits
    // beside it and replaces it at the next restart.
    NewAtRestart,
    // Nothing changed at the target; error tells why.
    Failed,
};

struct ReplaceOutcome {
    Replacement replacement = Replacement::Failed;
    DWORD error = ERROR_SUCCESS;
    // The size of the new file.
    ULONGLONG bytes = 0;
    bool Copied() const { return replacement != Replacement::Failed; }
    bool WaitsForRestart() const
    {
        return replacement == Replacement::OldDeletedAtRestart || replacement == Replacement::NewAtRestart;
    }
};

// Where the new file is written before it takes the target's place: the
// program's own folder inside the target's folder, made new by the run (a
// name that is taken is passed by for "~LumoInstall-1", "-2" ...); this is
// the first of them. (A small folder of its own, because looking up a name
// that is not there costs the size of the folder on some file systems,
// Wine's among them.)
std::string ReplacementTempPath(const std::string& target);
// Where a new file waits beside its target for the restart.
std::string WaitingPath(const std::string& target);
// Where the old file goes aside when it is in use; n counts earlier ones
// that still wait for their restart.
std::string AsidePath(const std::string& target, int n = 0);

// Asked, before anything is replaced, when a target the caller took for
// absent turns out to be there; false leaves the target as it is. It runs on
// whichever thread copies.
using TargetFound = std::function<bool()>;

class FileReplacer {
public:
    explicit FileReplacer(BackgroundCopy& copier) : copier_(copier) {}
    // The program's folders go with whatever an ended run left in them.
    ~FileReplacer() { RemoveTemporaryFolders(); }
    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Copies source over target, whole or not at all; with flush, the new
    // file is on the disk before it takes the target's name. With found, the
    // new file takes a name that is free, and one that is taken only once
    // found agrees: the caller learns whether the target was there from the
    // rename itself, not from a look before it.
    ReplaceOutcome Replace(const std::string& source, const std::string& target, bool flush = false,
                           const TargetFound& found = nullptr);
    // The same from a source open for reading (as OpenSource opens it): the
    // bytes copied are those the caller judged through the same handle.
    ReplaceOutcome Replace(HANDLE source, const std::string& target, bool flush = false,
                           const TargetFound& found = nullptr);
    void RemoveTemporaryFolders() noexcept;
    // The run made that target folder: no stopped run left anything in it
    // to repair.
    void FolderIsNew(const std::string& targetFolder);
    // The links found where the program's own folders go since last asked.
    std::vector<std::string> TakeLinksMet();

private:
    ReplaceOutcome ReplaceHere(HANDLE source, const std::string& target, bool flush, const TargetFound& found);
    // The program's folder in a target folder, and both folders open: each
    // new file is made in the one and renamed into the other by its name
    // alone, so that neither path is walked again from the drive's root for
    // every file (a name that is not there costs every folder above it on
    // file systems that tell names apart by case, Wine's among them).
    struct TemporaryFolder {
        std::string path;
        DWORD error = ERROR_SUCCESS;
        FileHandle target;
        FileHandle folder;
    };
    struct Place {
        std::string path;
        HANDLE target = INVALID_HANDLE_VALUE;
        HANDLE folder = INVALID_HANDLE_VALUE;
    };
    // The program's folder in a target folder, made once; an empty path when
    // none could be made, with error telling why. The handles stay open
    // until the folders are removed.
    Place TemporaryFolderFor(const std::string& targetFolder, DWORD& error);

    BackgroundCopy& copier_;
    // The thread may replace a large file while the window's thread handles
    // a message.
    std::mutex mutex_;
    // By target folder in capitals.
    std::unordered_map<std::string, TemporaryFolder> temporaryFolders_;
    // Target folders the run made, in capitals.
    std::unordered_set<std::string> newFolders_;
    std::vector<std::string> linksMet_;
};

// A source file open for reading, which nobody can change while it is open.
HANDLE OpenSource(const std::string& path);

// The path as a restart will see it. A 32-bit program on 64-bit Windows sees
// the 32-bit system folder under the name of the 64-bit one; an operation
// left to the restart, which a 64-bit process carries out, needs the real
// folder.
std::string RealPath(const std::string& path);

// Leaves the deletion of a file to the next restart.
bool DeleteAtRestart(const std::string& path);

// Deletes a file of the product's, a read-only one too; false with the
// platform's error as the last error.
bool DeleteProductFile(const std::string& path);
// The platform's answer error, about the file at path, means the file is
// open or loaded elsewhere (rather than a folder in its place, a read-only
// file, or no permission).
bool InUse(unsigned long error, const std::string& path);

// What stopped runs may leave beside the targets of a folder: an old file
// set aside whose target is missing (the new one never took its place) goes
// back; other files set aside are deleted, or left to the restart; a new
// file left waiting that no restart will put in place is deleted. Each
// replacement does it for its folder first.
void RepairLeftoversIn(const std::string& folder);
// The program's temporary folder with what is in it, never through a link:
// only the plain files directly inside go, each by its name.
void RemoveTemporaryFolder(const std::string& folder) noexcept;
// Those an ended run may have left in a target folder, under any of the
// program's names; a link there is removed as a link.
void RemoveLeftoverTemporaryFolder(const std::string& targetFolder) noexcept;

// What the restart will do: move a file (to a new name) or delete it (to
// empty). Real paths, as RealPath gives them.
struct RestartOperation {
    std::string from;
    std::string to;
};
std::vector<RestartOperation> PendingRestartOperations();
// The path waits for the restart to move or delete it.
bool WaitsForRestart(const std::string& path);
// Takes back the operations the predicate picks.
bool TakeBackRestartOperations(const std::function<bool(const RestartOperation&)>& picked);
// Takes back the deletions the restart is to make of these paths.
bool TakeBackDeletionsAtRestart(const std::vector<std::string>& paths);
