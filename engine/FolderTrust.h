// Whether a standard user could change a folder. The program runs elevated
// and as SYSTEM: a folder it loads code from, or writes into, must be one
// that only administrators and the system can change, at every level from
// the drive's root down. The decision is the platform's own access check,
// made for a member of a standard user's groups (Users, Authenticated Users,
// Everyone, Interactive) and of any account the list names, never a reading
// of names.
//
// Wine keeps no access list on a file: it reports one descriptor for every
// file and folder (the one user as owner, Everyone read only), which passes.
#pragma once

#include <windows.h>

#include <string>

enum class FolderChange {
    // Only administrators, the system and TrustedInstaller can change it.
    None,
    // Its owner is someone else, and an owner can always rewrite the list.
    ByOwner,
    // An entry, or the lack of any list, gives someone else a change.
    ByEntry,
    // Its descriptor could not be read or judged: refused as well.
    Undecided,
};

// What a standard user could do to the folder of this descriptor. A change is
// DELETE, WRITE_DAC, WRITE_OWNER, FILE_DELETE_CHILD or FILE_ADD_FILE. Adding a
// subfolder alone is not: the root of a system drive allows it to every
// signed-in user, and a folder made that way is that user's, which its owner
// then refuses. The owner may also be the administrator running the program.
FolderChange StandardUserCanChange(PSECURITY_DESCRIPTOR descriptor);

// The first level of a folder's chain that a standard user could change.
struct ChangeableLevel {
    // The level ("C:\" for the root); empty when every level passes.
    std::string level;
    FolderChange why = FolderChange::None;
    // The platform's error when the level's descriptor could not be read.
    unsigned long error = 0;

    bool Found() const { return !level.empty(); }
    // The level is not there (only reported when missing levels are refused).
    bool Missing() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
};

// A folder the program will make may not be there yet; one it loads code
// from must be there whole.
enum class MissingLevels { Pass, Refused };

// Judges every existing level from the drive's root down to the folder, each
// read through a handle that sees a link rather than its target. A test build
// (LUMO_FAULT_INJECTION) takes a level's descriptor from LUMO_DESCRITTORI
// instead when it names that level: "<level>*<SDDL>" entries separated by
// "|", levels compared without regard to case.
ChangeableLevel FirstLevelUsersCanChange(const std::string& folder, MissingLevels missing);
