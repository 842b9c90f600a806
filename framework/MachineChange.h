// Every change the program makes to the machine passes through here: files
// and folders, registry values and keys, work left to the restart, access
// lists, and a component's own code run to register it. One thin call per
// platform operation, no policy inside; a failure leaves the platform's
// error as the thread's last error (the registry's status too, which the
// registry calls also return).
//
// Each operation is counted before it is made. A test build can end the
// process abruptly just before the n-th one (LUMO_STOP_AT=n), as a kill
// would, and list them all (LUMO_STEPS=<file>): that is how the tests prove
// that a run stopped anywhere leaves the machine whole. The shipped program
// takes the same path without the stop.
#pragma once

#include <windows.h>

#include <string>

namespace machine {

// The code a process stopped by LUMO_STOP_AT ends with.
constexpr UINT kStoppedExitCode = 0x5707;

// Counts one operation about to be made; the stop of test builds happens here.
void Step(const char* what, const std::wstring& subject);
// Operations counted so far in this process.
unsigned long StepsTaken();

// Files and folders.
bool MakeFolder(const std::wstring& path);
// A new folder with the owner and access list of the SDDL text from its
// first instant (CreateDirectoryW with SECURITY_ATTRIBUTES); fails when
// anything is there under that name, a link too.
bool MakeFolderWithSecurity(const std::wstring& path, const std::wstring& sddl);
// The same, named by the last name of path inside the open folder in, which
// is all that is looked up; the handle it gives (shared with all) is the one
// files are made in relative to it. INVALID_HANDLE_VALUE on failure.
HANDLE MakeFolderIn(HANDLE in, const std::wstring& path, const std::wstring& sddl);
bool RemoveFolder(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
// Deletes what the handle (opened with DELETE access) refers to; subject names it.
bool RemoveOpenFile(HANDLE file, const std::wstring& subject);
bool SetAttributes(const std::wstring& path, DWORD attributes);
// The attributes of an open file (opened with FILE_WRITE_ATTRIBUTES); subject names it.
bool SetOpenFileAttributes(HANDLE file, DWORD attributes, const std::wstring& subject);
// A new file named by target's last name inside the open folder in, holding
// the bytes of the open source (read access), with its attributes and time
// of last writing, as CopyFileW makes it: only that name is looked up, not
// every folder above it again. Fails when anything is there under the name
// (a link, a second name of another file), as CREATE_NEW does. The handle it
// gives (write and DELETE access, shared with nobody) is the one the new
// file is flushed and renamed through, so nothing can take hold of it in
// between; INVALID_HANDLE_VALUE on failure, which may leave part of the file
// at target.
HANDLE CopyToNewFile(HANDLE source, const std::wstring& target, HANDLE in);
// MoveFileExW; an empty target with MOVEFILE_DELAY_UNTIL_REBOOT deletes at the restart.
bool Move(const std::wstring& from, const std::wstring& to, DWORD flags);
// Gives the open file (opened with DELETE access) the name to, replacing
// what is there: the one rename that puts a new file in place. Without
// replace, a name that is taken fails it with ERROR_ALREADY_EXISTS.
bool RenameOver(HANDLE file, const std::wstring& to, bool replace = true);
// The same, to's last name taken inside the open folder in.
bool RenameOver(HANDLE file, const std::wstring& to, bool replace, HANDLE in);
// A new file, never one that is there (not even a link): CREATE_NEW.
HANDLE CreateNewFile(const std::wstring& path, DWORD flagsAndAttributes);
// Writes all the bytes to an open file, then flushes them to the disk: two
// operations, counted one after the other.
bool WriteAndFlush(HANDLE file, const void* bytes, size_t size);

// The owner and access list of an open file or folder (SetSecurityInfo).
bool SetSecurity(HANDLE object, SECURITY_INFORMATION what, PSID owner, PACL dacl);

// Registry; each returns the registry's status.
LONG MakeKey(HKEY root, const std::wstring& path, REGSAM access, HKEY* key);
LONG SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, DWORD size);
LONG RemoveValue(HKEY key, const std::wstring& name);
// A subkey with everything below it (RegDeleteTreeW).
LONG RemoveTree(HKEY key, const std::wstring& subKey);
// An empty key, in the given registry view.
LONG RemoveKey(HKEY root, const std::wstring& path, REGSAM view);

// A component's DllRegisterServer or DllUnregisterServer, about to run.
inline void RunComponentCode(const char* entry, const std::wstring& path)
{
    Step(entry, path);
}

} // namespace machine
