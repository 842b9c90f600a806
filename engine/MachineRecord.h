// What the machine records of an installed product, in the registry view of
// the shipped 32-bit installer: the product key's InstallationDir, the entry
// of Programs and Features, and the counts of shared components. A function
// that changes the registry and fails leaves the registry's status as the
// thread's last error, for the log to give the reason.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <string>
#include <vector>

struct ProductIdentity;

// The count below ...\CurrentVersion\SharedDLLs of the path; false when the
// value is not there.
bool ReadSharedCount(const std::string& path, DWORD& count);
bool WriteSharedCount(const std::string& path, DWORD count);
bool RemoveSharedCount(const std::string& path);
// The count a product writes for a shared component it counts for the first
// time: one more than the count there is; without one, 2 when the file was
// there before (its earlier owner counts as one), else 1.
inline DWORD NewSharedCount(bool hasCount, DWORD countNow, bool fileThere)
{
    return hasCount ? countNow + 1 : fileThere ? 2 : 1;
}

// What Programs and Features shows, and how it removes the product.
struct UninstallEntry {
    std::string displayName;
    std::string displayVersion; // left out when empty
    std::string publisher;      // left out when empty
    std::string installLocation;
    std::string installDate; // yyyymmdd
    std::string uninstallString;
    std::string quietUninstallString;
    std::string displayIcon;
    DWORD estimatedSizeKb = 0;
};

// Bytes as estimatedSizeKb counts them: whole KB, rounded up.
inline DWORD SizeInKb(ULONGLONG bytes)
{
    return static_cast<DWORD>((bytes + 1023) / 1024);
}

// The entry of the product installed in installDir, whose removal program
// lies in its home (ProductHome).
UninstallEntry MakeUninstallEntry(const ProductIdentity& product, const std::string& installDir,
                                  const std::string& home, DWORD sizeKb);

// The local date as installDate holds it.
std::string InstallDateToday();

// Below HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall.
bool WriteUninstallEntry(const std::string& key, const UninstallEntry& entry);
bool RemoveUninstallEntry(const std::string& key);
bool UninstallEntryExists(const std::string& key);

// InstallationDir below HKEY_LOCAL_MACHINE\<pathKey>, where the next
// installation looks for this one.
bool WriteInstallationDir(const std::string& pathKey, const std::string& folder);
// Removes the value, and the key itself when nothing else is left in it.
bool RemoveInstallationDir(const std::string& pathKey);

// The names of those values.
constexpr wchar_t kRecordDigest[] = L"LumoElenco";
constexpr wchar_t kRecordDigestPending[] = L"LumoElencoNuovo";
constexpr wchar_t kProductKeyValue[] = L"LumoPathKey";
// The product's home, where its record and its removal program lie.
constexpr wchar_t kHomeValue[] = L"LumoCasa";
// What kRecordDigest holds once a removal has done with the files and has
// the registry left to clean.
constexpr char kRemovalFinishing[] = "rimozione";

// Values of the program's own in the product's entry of Programs and
// Features, where only administrators write: the digest of the record that
// the last run wrote (and of one being written), the product key, and the
// journal of a run under way. The entry's key is named as WriteUninstallEntry
// names it; a missing value reads as false.
bool ReadEntryText(const std::string& key, const wchar_t* name, std::string& value);
bool WriteEntryText(const std::string& key, const wchar_t* name, const std::string& value);
bool RemoveEntryValue(const std::string& key, const wchar_t* name);
// The journal: one line per path, written before the change it tells of,
// through the journal's key, opened (and made) once.
bool OpenJournal(const std::string& key, RegKey& journal);
bool WriteJournalLine(HKEY journal, const std::string& path, const std::string& line);
bool RemoveJournalLine(const std::string& key, const std::string& path);
std::vector<std::string> ReadJournal(const std::string& key);
bool ClearJournal(const std::string& key);
// The entries whose InstallLocation is the folder (compared without regard
// to case) and which hold a record's digest: the product installed there.
std::vector<std::string> EntriesInstalledIn(const std::string& folder);
// The entries whose home (kHomeValue) is the folder: the product that the
// program in that folder removes, with or without a record.
std::vector<std::string> EntriesHomedIn(const std::string& folder);
