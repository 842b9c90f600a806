// The walk over a source folder that both passes and the installation plan
// share: every entry at any depth, in the order the file system lists them, a
// subfolder walked when its turn comes in its parent's listing.
#pragma once

#include <string>

// Why a folder of the source is not walked.
enum class FolderProblem {
    // It is there but cannot be listed: its search pattern is too long for
    // the platform, or the search failed for another reason than a missing
    // folder. A missing folder is simply empty.
    CannotList,
    // A link that leads back to a folder already being walked: following it
    // would never end.
    LeadsBack,
};

// What the walk meets, level by level; depth is 0 for the folder the walk
// starts from. Each level of the walk is guarded on its own: an exception
// thrown while a level is walked ends that level only (FolderInterrupted),
// and the enclosing level goes on.
class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;

    // A level starts, before its folder is searched.
    virtual void BeginFolder(const std::string& source, const std::string& target, size_t depth) = 0;
    // A folder that is not walked, and why; error is the platform's code for
    // it (a link that leads back counts as a name the system cannot resolve).
    virtual void FolderUnlistable(const std::string& source, FolderProblem problem, unsigned long error) = 0;
    // The search has started; the entries follow.
    virtual void FolderListed() = 0;
    // A subfolder is about to be walked into the given target folder.
    virtual void EnterFolder(const std::string& target) = 0;
    // One file: its full path and name, and the target folder of its level.
    virtual void VisitFile(const std::string& source, const std::string& name, const std::string& target,
                           size_t depth) = 0;
    // Every entry of the level has been visited.
    virtual void EndFolder() = 0;
    // The level ended with an exception; must not throw.
    virtual void FolderInterrupted() noexcept = 0;
    // The name under which test builds may make the walk throw.
    virtual const char* FaultPoint() const = 0;
};

// Walks source, mirroring its subfolders below target; a folder is never
// entered twice on one path. False when the top level was interrupted by an
// exception; a subfolder's interruption is the visitor's to count.
bool WalkFolder(const std::string& source, const std::string& target, FolderVisitor& visitor);

// Where the fault-injection seam of test builds can make a walk throw.
#ifdef LUMO_FAULT_INJECTION
void MaybeInjectFault(const char* where);
#else
inline void MaybeInjectFault(const char*) {}
#endif
