// Replacing a target file whole, the way the platform's own updaters do: the
// new file is written beside the target under a name of the program's own and
// renamed over it in one step, so that a run ended at any instant leaves the
// target either as it was or complete. A target in use is renamed aside first,
// or, when even that is refused, replaced at the next restart.
#pragma once

#include <windows.h>

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

// Where the new file is written before it takes the target's place; a file
// left there by a run that ended is removed when its target is next handled.
std::string ReplacementTempPath(const std::string& target);

// Copies source over target, whole or not at all, through the copier.
ReplaceOutcome ReplaceFileWhole(BackgroundCopy& copier, const std::string& source, const std::string& target);

// The path as a restart will see it. A 32-bit program on 64-bit Windows sees
// the 32-bit system folder under the name of the 64-bit one; an operation
// left to the restart, which a 64-bit process carries out, needs the real
// folder.
std::string RealPath(const std::string& path);

// Leaves the deletion of a file to the next restart.
bool DeleteAtRestart(const std::string& path);
