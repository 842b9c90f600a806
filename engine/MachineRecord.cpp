#include "engine/MachineRecord.h"

#include "engine/InstallFolder.h"
#include "engine/InstallationRecord.h"
#include "engine/ProductHome.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Text.h"

#include <cstdio>

namespace {

constexpr wchar_t kSharedDlls[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The registry answers with a status; the callers read a failure's as the
// thread's last error.
bool Succeeded(LONG status)
{
    if (status == ERROR_SUCCESS)
        return true;
    ::SetLastError(static_cast<DWORD>(status));
    return false;
}

// A value or key that is not there is as good as deleted.
bool Gone(LONG status)
{
    return status == ERROR_FILE_NOT_FOUND || Succeeded(status);
}

bool OpenKey(const std::wstring& path, REGSAM access, bool create, RegKey& key)
{
    LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | kMachineRegistryView, key.Receive());
    // Only a key that is not there yet is made: opening one changes nothing.
    if (create && status == ERROR_FILE_NOT_FOUND)
        status = machine::MakeKey(HKEY_LOCAL_MACHINE, path, access | kMachineRegistryView, key.Receive());
    if (!Succeeded(status)) {
        key.Release();
        return false;
    }
    return true;
}

bool SetString(HKEY key, const wchar_t* name, const std::string& value)
{
    const std::wstring wide = Wide(value);
    return Succeeded(
        machine::SetValue(key, name, REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))));
}

// A text value, whatever its length; false when it is not there or not a text.
bool QueryText(HKEY key, const wchar_t* name, std::string& value)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    // A value written without its terminator is read as if it had one.
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return false;
    value = Utf8(text.data());
    return true;
}

std::wstring EntryPath(const std::string& keyName)
{
    return std::wstring(kUninstall) + L"\\" + Wide(keyName);
}

constexpr wchar_t kJournal[] = L"LumoGiornale";

bool SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    return Succeeded(machine::SetValue(key, name, REG_DWORD, &value, sizeof(value)));
}

} // namespace

namespace {

// The counts are read and written for every shared file of a run: the key is
// opened once (and made when a count is first written).
HKEY SharedDllsKey(bool create)
{
    static RegKey key;
    if (!key)
        OpenKey(kSharedDlls, KEY_QUERY_VALUE | KEY_SET_VALUE, create, key);
    return key ? key.Get() : nullptr;
}

} // namespace

bool ReadSharedCount(const std::string& path, DWORD& count)
{
    const HKEY key = SharedDllsKey(false);
    if (key == nullptr)
        return false;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key, Wide(path).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return false;
    count = value;
    return true;
}

bool WriteSharedCount(const std::string& path, DWORD count)
{
    const HKEY key = SharedDllsKey(true);
    return key != nullptr && SetNumber(key, Wide(path).c_str(), count);
}

bool RemoveSharedCount(const std::string& path)
{
    const HKEY key = SharedDllsKey(false);
    if (key == nullptr)
        return true;
    return Gone(machine::RemoveValue(key, Wide(path)));
}

UninstallEntry MakeUninstallEntry(const ProductIdentity& product, const std::string& installDir,
                                  const std::string& home, DWORD sizeKb)
{
    const std::string program = HomeProgramPath(home);
    UninstallEntry entry;
    entry.displayName = product.name;
    entry.displayVersion = product.version;
    entry.publisher = product.publisher;
    entry.installLocation = installDir;
    entry.installDate = InstallDateToday();
    entry.uninstallString = "\"" + program + "\" /UNINSTALL";
    entry.quietUninstallString = "\"" + program + "\" /UNINSTALL /S";
    entry.displayIcon = program + ",0";
    entry.estimatedSizeKb = sizeKb;
    return entry;
}

std::string InstallDateToday()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

bool WriteUninstallEntry(const std::string& keyName, const UninstallEntry& entry)
{
    // Without a name the values would land in the Uninstall key itself.
    if (keyName.empty())
        return false;
    RegKey key;
    if (!OpenKey(std::wstring(kUninstall) + L"\\" + Wide(keyName), KEY_SET_VALUE | KEY_QUERY_VALUE, true, key))
        return false;
    bool written = SetString(key.Get(), L"DisplayName", entry.displayName) &&
                   SetString(key.Get(), L"InstallLocation", entry.installLocation) &&
                   SetString(key.Get(), L"InstallDate", entry.installDate) &&
                   SetString(key.Get(), L"UninstallString", entry.uninstallString) &&
                   SetString(key.Get(), L"QuietUninstallString", entry.quietUninstallString) &&
                   SetString(key.Get(), L"DisplayIcon", entry.displayIcon) &&
                   SetNumber(key.Get(), L"EstimatedSize", entry.estimatedSizeKb) &&
                   SetNumber(key.Get(), L"NoModify", 1) && SetNumber(key.Get(), L"NoRepair", 1);
    // A value the description file no longer gives goes, rather than stay from an older version.
    auto optional = [&](const wchar_t* name, const std::string& value) {
        if (!value.empty())
            return SetString(key.Get(), name, value);
        return Gone(machine::RemoveValue(key.Get(), name));
    };
    written = optional(L"DisplayVersion", entry.displayVersion) && written;
    written = optional(L"Publisher", entry.publisher) && written;
    return written;
}

bool RemoveUninstallEntry(const std::string& keyName)
{
    // An empty name would take every product's entry with it.
    if (keyName.empty())
        return true;
    RegKey parent;
    if (!OpenKey(kUninstall, KEY_ALL_ACCESS, false, parent))
        return true;
    return Gone(machine::RemoveTree(parent.Get(), Wide(keyName)));
}

bool UninstallEntryExists(const std::string& keyName)
{
    if (keyName.empty())
        return false;
    RegKey key;
    return OpenKey(std::wstring(kUninstall) + L"\\" + Wide(keyName), KEY_QUERY_VALUE, false, key);
}

bool WriteInstallationDir(const std::string& pathKey, const std::string& folder)
{
    RegKey key;
    return !pathKey.empty() && OpenKey(Wide(pathKey), KEY_SET_VALUE, true, key) &&
           SetString(key.Get(), L"InstallationDir", folder);
}

bool RemoveInstallationDir(const std::string& pathKey)
{
    if (pathKey.empty())
        return true;
    {
        RegKey key;
        if (!OpenKey(Wide(pathKey), KEY_SET_VALUE | KEY_QUERY_VALUE, false, key))
            return true;
        if (!Gone(machine::RemoveValue(key.Get(), L"InstallationDir")))
            return false;
        DWORD subKeys = 0;
        DWORD values = 0;
        if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0)
            return true;
    }
    // Nothing else in it: the key goes too.
    return Gone(machine::RemoveKey(HKEY_LOCAL_MACHINE, Wide(pathKey), kMachineRegistryView));
}

bool ReadEntryText(const std::string& keyName, const wchar_t* name, std::string& value)
{
    RegKey key;
    return !keyName.empty() && OpenKey(EntryPath(keyName), KEY_QUERY_VALUE, false, key) &&
           QueryText(key.Get(), name, value);
}

bool WriteEntryText(const std::string& keyName, const wchar_t* name, const std::string& value)
{
    RegKey key;
    return !keyName.empty() && OpenKey(EntryPath(keyName), KEY_SET_VALUE, true, key) &&
           SetString(key.Get(), name, value);
}

bool RemoveEntryValue(const std::string& keyName, const wchar_t* name)
{
    RegKey key;
    if (keyName.empty() || !OpenKey(EntryPath(keyName), KEY_SET_VALUE, false, key))
        return true;
    return Gone(machine::RemoveValue(key.Get(), name));
}

bool OpenJournal(const std::string& keyName, RegKey& journal)
{
    return !keyName.empty() && OpenKey(EntryPath(keyName) + L"\\" + kJournal, KEY_SET_VALUE, true, journal);
}

#ifdef LUMO_FAULT_INJECTION
namespace {

// The test build refuses a journal line that holds the text LUMO_GIORNALE_NEGATO
// gives, as a registry that is full or denies the write would.
bool JournalLineRefused(const std::string& line)
{
    char refused[512] = {};
    const DWORD length = ::GetEnvironmentVariableA("LUMO_GIORNALE_NEGATO", refused, sizeof(refused));
    return length > 0 && length < sizeof(refused) && line.find(refused) != std::string::npos;
}

} // namespace
#endif

bool WriteJournalLine(HKEY journal, const std::string& path, const std::string& line)
{
#ifdef LUMO_FAULT_INJECTION
    if (JournalLineRefused(line)) {
        ::SetLastError(ERROR_REGISTRY_IO_FAILED);
        return false;
    }
#endif
    return SetString(journal, Wide(path).c_str(), line);
}

bool RemoveJournalLine(const std::string& keyName, const std::string& path)
{
    RegKey key;
    if (keyName.empty() || !OpenKey(EntryPath(keyName) + L"\\" + kJournal, KEY_SET_VALUE, false, key))
        return true;
    return Gone(machine::RemoveValue(key.Get(), Wide(path)));
}

std::vector<std::string> ReadJournal(const std::string& keyName)
{
    std::vector<std::string> lines;
    RegKey key;
    if (keyName.empty() || !OpenKey(EntryPath(keyName) + L"\\" + kJournal, KEY_QUERY_VALUE, false, key))
        return lines;
    for (DWORD index = 0;; ++index) {
        // A value's name may be as long as the registry allows.
        std::vector<wchar_t> name(32768);
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (::RegEnumValueW(key.Get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::string line;
        if (QueryText(key.Get(), name.data(), line))
            lines.push_back(line);
    }
    return lines;
}

bool ClearJournal(const std::string& keyName)
{
    RegKey entry;
    if (keyName.empty() || !OpenKey(EntryPath(keyName), KEY_ALL_ACCESS, false, entry))
        return true;
    RegKey journal;
    if (!OpenKey(EntryPath(keyName) + L"\\" + kJournal, KEY_QUERY_VALUE, false, journal))
        return true;
    journal.Reset();
    return Gone(machine::RemoveTree(entry.Get(), kJournal));
}

namespace {

// The entries whose value (a folder) is the given one, holding a digest when
// asked to.
std::vector<std::string> EntriesNaming(const wchar_t* value, const std::string& folder, bool withDigest)
{
    std::vector<std::string> found;
    RegKey uninstall;
    if (!OpenKey(kUninstall, KEY_ENUMERATE_SUB_KEYS, false, uninstall))
        return found;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (::RegEnumKeyExW(uninstall.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_NO_MORE_ITEMS)
            break;
        RegKey entry;
        std::string location;
        std::string digest;
        if (OpenKey(std::wstring(kUninstall) + L"\\" + name, KEY_QUERY_VALUE, false, entry) &&
            QueryText(entry.Get(), value, location) && EqualIgnoringCase(location, folder) &&
            (!withDigest || QueryText(entry.Get(), kRecordDigest, digest)))
            found.push_back(Utf8(name));
    }
    return found;
}

} // namespace

std::vector<std::string> EntriesInstalledIn(const std::string& folder)
{
    return EntriesNaming(L"InstallLocation", folder, true);
}

std::vector<std::string> EntriesHomedIn(const std::string& folder)
{
    // Whatever became of its record, the product is still there.
    return EntriesNaming(kHomeValue, folder, false);
}
