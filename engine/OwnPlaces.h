// The places of the program's own, which it writes and deletes elevated:
// the installation folder, the log, the record, its own copy, its temporary
// folders and the files it sets aside. A standard user may have made any of
// them first (a folder at the root of a drive is open to every signed-in
// user), so the program never goes through a link there: it looks at the
// link, not at what it leads to, and gives the folders it makes an access
// list of administrators.
//
// Wine shows a link to a folder as a link, but a link to a file as the file
// itself, and carries out every operation on a link on its target: there a
// link can be refused, never removed.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <string>

// What a refusal leaves as the last error: a link or a second name where the
// program wanted a file or a folder of its own.
constexpr DWORD kLinkRefused = ERROR_CANT_ACCESS_FILE;

// The path itself is a link (a symbolic link, a junction, a mount point).
bool IsLink(const std::string& path);
// The first link on the way to the path, from below the drive's root to the
// path itself; empty when there is none.
std::string LinkOnTheWay(const std::string& path);

// Opens a file of the program's own (CreateFileW's access, share and
// disposition), looking at a link rather than through it: a link, or a file
// with a second name (a hard link), is refused with kLinkRefused.
FileHandle OpenOwnFile(const std::string& path, DWORD access, DWORD share, DWORD disposition);

// Removes a link as a link, never what it leads to. False when the platform
// reaches only the link's target (Wine); the link then stays.
bool RemoveLinkItself(const std::string& path);

// The access list of the program's own folders: SYSTEM and Administrators
// full control, Users read and execute, inherited by what is inside and not
// from above; the owner is Administrators.
std::wstring ProtectedFolderSddl();
// Gives the folder that owner and access list, through a handle that sees a
// link rather than its target (a link is refused with kLinkRefused).
bool ProtectFolder(const std::string& path);
