// What the machine records of an installed product, in the registry view of
// the shipped 32-bit installer: the product key's InstallationDir, the entry
// of Programs and Features, and the counts of shared components. A function
// that changes the registry and fails leaves the registry's status as the
// thread's last error, for the log to give the reason.
#pragma once

#include <windows.h>

#include <string>

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

// Where an installation keeps the program that removes it, beside its record.
std::string RemovalProgramPath(const std::string& installDir);
// The entry of the product installed in installDir.
UninstallEntry MakeUninstallEntry(const ProductIdentity& product, const std::string& installDir, DWORD sizeKb);

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
