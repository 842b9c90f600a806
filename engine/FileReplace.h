// Replacing a target file whole, the way the platform's own updaters do: the
// new file is written into a folder of the program's own inside the target's
// folder and renamed over the target in one step, so that a run ended at any
// instant leaves the target either as it was or complete. A target in use is
// renamed aside first, or, when even that is refused, replaced at the next
// restart.
#pragma once

#include <windows.h>

#include <set>
#include <string>

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
    bool Copied() const { return replacement != Replacement::Failed; }
    bool WaitsForRestart() const
    {
        return replacement == Replacement::OldDeletedAtRestart || replacement == Replacement::NewAtRestart;
    }
};

// Where the new file is written before it takes the target's place: the
// program's own folder inside the target's folder. (A small folder of its
// own, because looking up a name that is not there costs the size of the
// folder on some file systems, Wine's among them.)
std::string ReplacementTempPath(const std::string& target);
// Where a new file waits beside its target for the restart.
std::string WaitingPath(const std::string& target);
// Where the old file goes aside when it is in use; n counts earlier ones
// that still wait for their restart.
std::string AsidePath(const std::string& target, int n = 0);

class FileReplacer {
public:
    explicit FileReplacer(BackgroundCopy& copier) : copier_(copier) {}
    // The program's folders go with whatever an ended run left in them.
    ~FileReplacer() { RemoveTemporaryFolders(); }
    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Copies source over target, whole or not at all.
    ReplaceOutcome Replace(const std::string& source, const std::string& target);
    void RemoveTemporaryFolders() noexcept;

private:
    BackgroundCopy& copier_;
    std::set<std::string> temporaryFolders_;
};

// The path as a restart will see it. A 32-bit program on 64-bit Windows sees
// the 32-bit system folder under the name of the 64-bit one; an operation
// left to the restart, which a 64-bit process carries out, needs the real
// folder.
std::string RealPath(const std::string& path);

// Leaves the deletion of a file to the next restart.
bool DeleteAtRestart(const std::string& path);
