// Every operation of a run can be its last. A small delivery holding every
// kind of file is installed, and then removed, by the test build of the
// program stopped just before its n-th operation (LUMO_STOP_AT), for each n
// of an uninterrupted run in turn. After each stop every file is whole (as it
// was before, or as the uninterrupted run leaves it), and the runs that
// follow, not stopped, must leave the machine exactly as the uninterrupted
// sequence does: the same run again, or an installation after a removal, a
// removal that fails and what comes after it, a removal after an
// installation.
//
// Work left to the restart is compared by doing it: Wine's restart
// ("wineboot -r") follows the uninterrupted run and each repaired one, and
// the machines are compared after it. A file set aside without its deletion
// left to the restart then stays and shows, and so does a restart operation
// that undoes a run's work; a request made twice does not, since the second
// finds its work done, as on Windows.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/FileReplace.h"
#include "engine/Rules.h"
#include "framework/MachineChange.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

// What the delivery holds, and what the machine holds before the first run.
enum class Place {
    App,    // FilesToCopy
    System, // SysFile, to the system folder
    Sub,    // a subfolder of SysFile listed after the files beside it
    Own,    // SysFile, to a folder of its own that SYSFILE names, with REG
};
struct Case {
    const char* stem;      // the file's name after the test's own prefix
    Place place;
    const char* delivered; // a built component, or an application file's text
    const char* before;    // the same on the machine before, or nullptr
};
enum CaseIndex { kNewFile, kOlderFile, kNewer, kInUse, kRegistered, kOlder, kShared, kHeldOpen, kSub, kOwn };
const Case kCases[] = {
    { "_nuovo.dat", Place::App, "la versione nuova", nullptr },
    { "_sostituito.dat", Place::App, "la versione nuova", "la versione precedente" },
    { "_recente.dll", Place::System, component::kVer2_0_0_0, component::kVer1_2_3_4 },
    // Held loaded by the test program: set aside, deleted at the restart.
    { "_inuso.dll", Place::System, component::kVer2_0_0_0, component::kVer1_2_3_4 },
    { "_registrato.dll", Place::System, component::kRegisterOk, nullptr },
    // Newer on the machine: not copied, counted as used.
    { "_piunuovo.dll", Place::System, component::kVer2_0_0_0, component::kVer7_0_0_0 },
    // Equal, and counted by another product before.
    { "_condiviso.dll", Place::System, component::kVer1_2_3_4, component::kVer1_2_3_4 },
    // Held open without sharing through a removal: it can be neither
    // unregistered nor deleted, and the removal fails.
    { "_trattenuto.dll", Place::System, component::kRegisterOk, nullptr },
    // Its folder is made after the run first looked at the system folder.
    { "_sub.dll", Place::Sub, component::kVer2_0_0_0, nullptr },
    { "_proprio.dll", Place::Own, component::kRegisterOk, nullptr },
};
bool IsComponent(const Case& c)
{
    return c.place != Place::App;
}

// The DAO pair: fixed names, copied to two shared folders each and counted;
// the library is registered at the end of each folder of FilesToCopy.
struct DaoFile {
    const char* name;
    const char* delivered; // a built component, or the file's text
};
const DaoFile kDaoFiles[] = { { "dao350.dll", component::kRegisterOk }, { "DAO2535.TLB", nullptr } };
constexpr char kDaoText[] = "libreria dei tipi";
const char* const kDaoFolders[] = { "\\Common Files\\microsoft shared\\DAO", "\\File Comuni\\microsoft shared\\DAO" };

std::string Bytes(const Case& c, const char* what)
{
    return IsComponent(c) ? ReadFileBytes(lumo_test::ComponentPath(what)) : std::string(what);
}

std::string FolderOfPath(const std::string& path)
{
    return path.substr(0, path.rfind('\\'));
}

std::string NameOfPath(const std::string& path)
{
    return path.substr(path.rfind('\\') + 1);
}

bool IsFolderThere(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ContainsIgnoringCase(const std::wstring& text, const std::string& part)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
        return s;
    };
    return lower(Utf8(text)).find(lower(part)) != std::string::npos;
}

// ---------------------------------------------------------------------------
// The registry, read and put back value by value.

struct RegValue {
    DWORD type = REG_NONE;
    std::string data;
};
using Values = std::map<std::wstring, RegValue>;
// Each key of a tree by its path, with its values.
using Tree = std::map<std::wstring, Values>;
using Keep = std::function<bool(const std::wstring&)>;
// Pending renames: from, to (empty: deleted).
using Renames = std::vector<std::pair<std::wstring, std::wstring>>;

struct Key {
    HKEY root;
    REGSAM view;
    std::wstring path;
};
const Key kSharedDllsKey{ HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, Wide(kSharedDlls) };
// Whatever the build, the restart reads it from the 64-bit view.
const Key kRunOnceKey{ HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce" };
const Key kRegisteredKey{ HKEY_CURRENT_USER, 0, Wide(lumo_test::kRegistrationCountsKey) };
const Key kUnregisteredKey{ HKEY_CURRENT_USER, 0, Wide(lumo_test::kUnregistrationCountsKey) };
const Key kLastEntryKey{ HKEY_CURRENT_USER, 0, Wide(lumo_test::kLastEntryPointKey) };
const Key kSessionManagerKey{ HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY,
                              L"System\\CurrentControlSet\\Control\\Session Manager" };
constexpr wchar_t kPendingName[] = L"PendingFileRenameOperations";

Values ReadValues(const Key& key, const Keep& keep)
{
    Values values;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(key.root, key.path.c_str(), 0, KEY_QUERY_VALUE | key.view, &opened) != ERROR_SUCCESS)
        return values;
    DWORD count = 0, nameMax = 0, dataMax = 0;
    ::RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &nameMax, &dataMax,
                       nullptr, nullptr);
    std::vector<wchar_t> name(nameMax + 1);
    std::vector<BYTE> data(dataMax + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        if (::RegEnumValueW(opened, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            continue;
        const std::wstring valueName(name.data(), nameLength);
        if (keep(valueName))
            values[valueName] = RegValue{ type, std::string(reinterpret_cast<const char*>(data.data()), size) };
    }
    ::RegCloseKey(opened);
    return values;
}

// The kept values of the key become exactly the given ones.
bool WriteValues(const Key& key, const Keep& keep, const Values& values)
{
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(key.root, key.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | key.view, nullptr, &opened,
                          nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const auto& old : ReadValues(key, keep))
        ok = ::RegDeleteValueW(opened, old.first.c_str()) == ERROR_SUCCESS && ok;
    for (const auto& [name, value] : values)
        ok = ::RegSetValueExW(opened, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                              static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS &&
             ok;
    ::RegCloseKey(opened);
    return ok;
}

void ReadTree(const Key& key, Tree& tree)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(key.root, key.path.c_str(), 0, KEY_READ | key.view, &opened) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> children;
    wchar_t name[256];
    for (DWORD length = 256; ::RegEnumKeyExW(opened, static_cast<DWORD>(children.size()), name, &length, nullptr,
                                             nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         length = 256)
        children.emplace_back(name, length);
    ::RegCloseKey(opened);
    tree[key.path] = ReadValues(key, [](const std::wstring&) { return true; });
    for (const std::wstring& child : children)
        ReadTree(Key{ key.root, key.view, key.path + L"\\" + child }, tree);
}

bool DeleteTree(const Key& key)
{
    const size_t slash = key.path.rfind(L'\\');
    HKEY parent = nullptr;
    if (::RegOpenKeyExW(key.root, key.path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | key.view, &parent) !=
        ERROR_SUCCESS)
        return true;
    const LONG status = ::RegDeleteTreeW(parent, key.path.substr(slash + 1).c_str());
    ::RegCloseKey(parent);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool IsPendingValue(const std::wstring& name)
{
    return name == kPendingName;
}

// The value holds pairs of strings; a deletion's second string is empty, so
// it is not read as a plain list of strings.
Renames ReadRenames()
{
    Renames renames;
    const Values values = ReadValues(kSessionManagerKey, IsPendingValue);
    if (values.empty())
        return renames;
    const std::string& raw = values.begin()->second.data;
    std::wstring text(raw.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&text[0], raw.data(), text.size() * sizeof(wchar_t));
    size_t at = 0;
    auto next = [&] {
        if (at >= text.size())
            return std::wstring();
        const size_t end = std::min(text.find(L'\0', at), text.size());
        const std::wstring part = text.substr(at, end - at);
        at = end + 1;
        return part;
    };
    for (std::wstring from = next(); !from.empty(); from = next())
        renames.emplace_back(from, next());
    return renames;
}

bool WriteRenames(const Renames& renames)
{
    std::wstring text;
    for (const auto& [from, to] : renames)
        text += from + L'\0' + to + L'\0';
    text += L'\0';
    Values values;
    if (!renames.empty())
        values[kPendingName] =
            RegValue{ REG_MULTI_SZ, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2) };
    return WriteValues(kSessionManagerKey, IsPendingValue, values);
}

std::string Shown(const RegValue& value)
{
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && value.data.size() % 2 == 0) {
        std::wstring text(value.data.size() / 2, L'\0');
        std::memcpy(&text[0], value.data.data(), value.data.size());
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return "\"" + Utf8(text) + "\"";
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, value.data.data(), 4);
        return std::to_string(number);
    }
    std::string hex = "type " + std::to_string(value.type) + ":";
    for (unsigned char c : value.data) {
        char two[4];
        std::snprintf(two, sizeof(two), "%02x", c);
        hex += two;
    }
    return hex;
}

// ---------------------------------------------------------------------------

// The test program holds a component as another running program would:
// loaded (it can be renamed aside, not deleted), or open without sharing
// (not even loaded or renamed). It lets go before each restart, as a
// restart would.
class Holder {
public:
    ~Holder() { Release(); }
    bool Hold(const std::string& path, bool open)
    {
        if (path == path_ && open == open_ && (module_ != nullptr || file_ != INVALID_HANDLE_VALUE))
            return true;
        Release();
        path_ = path;
        open_ = open;
        if (open)
            file_ = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        else
            module_ = ::LoadLibraryW(Wide(path).c_str());
        return module_ != nullptr || file_ != INVALID_HANDLE_VALUE;
    }
    void Release()
    {
        if (module_ != nullptr)
            ::FreeLibrary(module_);
        if (file_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(file_);
        module_ = nullptr;
        file_ = INVALID_HANDLE_VALUE;
        path_.clear();
    }

private:
    std::string path_;
    bool open_ = false;
    HMODULE module_ = nullptr;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// One run of a sequence: an installation or a removal, and the component
// the test holds through it.
struct Pass {
    bool removal;
    int held;  // a CaseIndex, or -1
    bool open; // held open without sharing, else loaded
    bool fails; // ends with 1603, else with 0 or 3010
};
constexpr int kNone = -1;
constexpr Pass kInstall{ false, kNone, false, false };
constexpr Pass kInstallHoldingInUse{ false, kInUse, false, false };
constexpr Pass kRemove{ true, kNone, false, false };
constexpr Pass kRemoveHoldingRegistered{ true, kRegistered, false, false };
constexpr Pass kRemoveHeldOpen{ true, kHeldOpen, true, true };
using Sequence = std::vector<Pass>;

// What the product may change, in the places where this test's product
// works: its files (and whatever it left beside them), its folders, its
// registry keys, the shared counts, restart work and registration counters
// of its paths.
struct Snapshot {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    Tree tree;
    Values shared, runOnce, registered, unregistered, lastEntry;
    Renames renames;
};
// A snapshot as the comparison sees it: one line per fact, its value after it.
using Facts = std::map<std::string, std::string>;

class SweepTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        madeTargetFolder_ = ::SHCreateDirectoryExW(nullptr, Wide(AppTargetFolder()).c_str(), nullptr) == ERROR_SUCCESS;
        // The folder of the products' homes is made once for every product:
        // there before the first run, so that every run makes the same steps.
        madeHomeRoot_ = ::CreateDirectoryW(Wide(HomeRoot()).c_str(), nullptr) != FALSE;
        // Folders of the program's own that killed runs of other tests left:
        // the first run here would remove them, and the state before it could
        // not be put back.
        for (const std::string& folder : { AppTargetFolder(), SystemFolder() }) {
            WIN32_FIND_DATAW found{};
            const HANDLE find = ::FindFirstFileW(Wide(folder + "\\~LumoInstall*").c_str(), &found);
            if (find == INVALID_HANDLE_VALUE)
                continue;
            std::vector<std::string> left;
            do
                left.push_back(folder + "\\" + Utf8(found.cFileName));
            while (::FindNextFileW(find, &found));
            ::FindClose(find);
            for (const std::string& path : left)
                lumo_test::RemoveTree(path);
        }

        delivery_ = std::make_unique<Delivery>("deliv", "LumoInstall.exe", FaultsExe());
        ownFolder_ = FolderOfPath(InstallDir()) + "\\Condivisi";
        std::string ini = StandardIni();
        ini.insert(ini.find("[CHIAVI]"),
                   "[PRODOTTO]\r\nNome=Tesmoro " + Unique() + "\r\nVersione=1.0.0.0\r\nProduttore=Pelvora\r\n");
        delivery_->WriteIni(ini + "[SYSFILE]\r\n" + Unique() + kCases[kOwn].stem + "=" + ownFolder_ + "|REG\r\n");
        const std::string sysFile = delivery_->Folder() + "\\SysFile";
        for (const Case& c : kCases) {
            const std::string delivered = Bytes(c, c.delivered);
            labels_[delivered] = IsComponent(c) ? c.delivered : "\"" + delivered + "\"";
            if (c.place == Place::App)
                delivery_->AddAppFile(Unique() + c.stem, delivered);
            else if (c.place != Place::Sub)
                delivery_->AddSysFile(Unique() + c.stem, delivered);
            if (c.before != nullptr) {
                const std::string before = Bytes(c, c.before);
                labels_[before] = IsComponent(c) ? c.before : "\"" + before + "\"";
                lumo_test::WriteFileBytes(Target(c), before);
            }
        }
        // The walk meets names in the file system's order: of a few names
        // for the subfolder, one listed after every file beside it (or at
        // least after one, where no name is).
        for (int n = 0; n < 64 && subFolder_.empty(); ++n) {
            const std::string name = "Zub" + Unique() + "_" + std::to_string(n);
            ::CreateDirectoryW(Wide(sysFile + "\\" + name).c_str(), nullptr);
            const std::vector<std::string> order = WalkOrder(sysFile);
            if (order.back() == UpperText(name) || (n == 63 && order.front() != UpperText(name)))
                subFolder_ = name;
            else
                ::RemoveDirectoryW(Wide(sysFile + "\\" + name).c_str());
        }
        ASSERT_FALSE(subFolder_.empty()) << "the subfolder of SysFile is listed first whatever its name";
        delivery_->AddSysFile(subFolder_ + "\\" + Unique() + kCases[kSub].stem,
                              Bytes(kCases[kSub], kCases[kSub].delivered));
        for (const Case& c : kCases)
            Placed(Target(c));
        for (const DaoFile& dao : kDaoFiles) {
            const std::string bytes =
                dao.delivered != nullptr ? ReadFileBytes(lumo_test::ComponentPath(dao.delivered)) : kDaoText;
            labels_[bytes] = dao.delivered != nullptr ? dao.delivered : "\"" + bytes + "\"";
            delivery_->AddAppFile(dao.name, bytes);
        }
        // What of the DAO folders the run would make, or the folders themselves.
        const std::string bin = AppTargetFolder();
        const std::string programFiles = bin.substr(0, bin.rfind("\\Common Files\\"));
        for (const char* folder : kDaoFolders) {
            std::string level = programFiles + folder;
            while (!IsFolderThere(FolderOfPath(level)) && FolderOfPath(level).size() > programFiles.size())
                level = FolderOfPath(level);
            daoScope_.push_back(level);
            for (const DaoFile& dao : kDaoFiles)
                daoTargets_.push_back(programFiles + folder + "\\" + dao.name);
        }
        labels_[ReadFileBytes(FaultsExe())] = "the program";
        SetSharedCount(Target(kCases[kShared]), 1);
        initial_ = Capture();
    }

    void TearDown() override
    {
        holder_.Release();
        if (initial_)
            Restore(*initial_);
        E2eTest::TearDown();
        if (madeTargetFolder_)
            ::RemoveDirectoryW(Wide(AppTargetFolder()).c_str());
        if (madeHomeRoot_)
            ::RemoveDirectoryW(Wide(HomeRoot()).c_str());
    }

    std::string Target(const Case& c) const
    {
        switch (c.place) {
        case Place::App:
            return AppTargetFolder() + "\\" + Unique() + c.stem;
        case Place::System:
            return SystemFolder() + "\\" + Unique() + c.stem;
        case Place::Sub:
            return SystemFolder() + "\\" + subFolder_ + "\\" + Unique() + c.stem;
        case Place::Own:
            // The description file's folder is read in capitals.
            return UpperText(ownFolder_) + "\\" + Unique() + c.stem;
        }
        return std::string();
    }

    bool Mine(const std::wstring& text) const
    {
        return ContainsIgnoringCase(text, Unique()) || ContainsIgnoringCase(text, InstallDir()) ||
               ContainsIgnoringCase(text, ownFolder_) || ContainsIgnoringCase(text, "\\microsoft shared\\DAO\\");
    }

    // Every file and folder of the scope now on the machine: the test's
    // names in the two target folders, the program's own folders there, and
    // the installation folder.
    void ListScope(std::vector<std::string>& files, std::vector<std::string>& folders) const
    {
        std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& folder,
                                                                               const std::string& pattern) {
            WIN32_FIND_DATAW found{};
            const HANDLE find = ::FindFirstFileW(Wide(folder + "\\" + pattern).c_str(), &found);
            if (find == INVALID_HANDLE_VALUE)
                return;
            do {
                const std::string name = Utf8(found.cFileName);
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "\\" + name;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    folders.push_back(path);
                    walk(path, "*");
                } else {
                    files.push_back(path);
                }
            } while (::FindNextFileW(find, &found));
            ::FindClose(find);
        };
        for (const std::string& folder : { AppTargetFolder(), SystemFolder() }) {
            walk(folder, Unique() + "*");
            walk(folder, "~LumoInstall*");
        }
        walk(SystemFolder(), "Zub" + Unique() + "*");
        for (const std::string& folder : { InstallDir(), ownFolder_ })
            walk(FolderOfPath(folder), NameOfPath(folder));
        for (const std::string& folder : daoScope_)
            walk(FolderOfPath(folder), NameOfPath(folder));
        // The product's home below Program Files.
        walk(HomeRoot(), "LumoE2E." + Unique());
    }

    Snapshot Capture() const
    {
        Snapshot s;
        std::vector<std::string> files, folders;
        ListScope(files, folders);
        for (const std::string& file : files)
            s.files[file] = ReadFileBytes(file);
        s.folders.insert(folders.begin(), folders.end());
        for (const std::string& key : { UninstallKey(), PathKey() })
            ReadTree(Key{ HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, Wide(key) }, s.tree);
        const Keep mine = [this](const std::wstring& name) { return Mine(name); };
        s.shared = ReadValues(kSharedDllsKey, mine);
        s.runOnce = ReadValues(kRunOnceKey, mine);
        s.registered = ReadValues(kRegisteredKey, mine);
        s.unregistered = ReadValues(kUnregisteredKey, mine);
        s.lastEntry = ReadValues(kLastEntryKey, mine);
        for (const auto& rename : ReadRenames()) {
            if (Mine(rename.first) || Mine(rename.second))
                s.renames.push_back(rename);
        }
        return s;
    }

    // Puts the scope back as the snapshot holds it, whatever a run left.
    void Restore(const Snapshot& s) const
    {
        std::vector<std::string> files, folders;
        ListScope(files, folders);
        for (const std::string& file : files) {
            ::SetFileAttributesW(Wide(file).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileW(Wide(file).c_str()))
                ADD_FAILURE() << "the restore cannot delete " << file << " (error " << ::GetLastError() << ")";
        }
        // The deepest first.
        std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) { return a > b; });
        for (const std::string& folder : folders) {
            if (!::RemoveDirectoryW(Wide(folder).c_str()))
                ADD_FAILURE() << "the restore cannot delete " << folder << " (error " << ::GetLastError() << ")";
        }
        for (const std::string& folder : s.folders)
            ::CreateDirectoryW(Wide(folder).c_str(), nullptr);
        for (const auto& [path, bytes] : s.files)
            lumo_test::WriteFileBytes(path, bytes);

        bool registry = true;
        for (const std::string& key : { UninstallKey(), PathKey() })
            registry = DeleteTree(Key{ HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, Wide(key) }) && registry;
        for (const auto& [path, values] : s.tree)
            registry = WriteValues(Key{ HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, path },
                                   [](const std::wstring&) { return true; }, values) &&
                       registry;
        const Keep mine = [this](const std::wstring& name) { return Mine(name); };
        registry = WriteValues(kSharedDllsKey, mine, s.shared) && WriteValues(kRunOnceKey, mine, s.runOnce) &&
                   WriteValues(kRegisteredKey, mine, s.registered) &&
                   WriteValues(kUnregisteredKey, mine, s.unregistered) &&
                   WriteValues(kLastEntryKey, mine, s.lastEntry) && registry;
        Renames renames = ReadRenames();
        renames.erase(std::remove_if(renames.begin(), renames.end(),
                                     [this](const auto& r) { return Mine(r.first) || Mine(r.second); }),
                      renames.end());
        renames.insert(renames.end(), s.renames.begin(), s.renames.end());
        registry = WriteRenames(renames) && registry;
        EXPECT_TRUE(registry) << "the restore could not write the registry";
    }

    std::string Label(const std::optional<std::string>& bytes) const
    {
        if (!bytes)
            return "missing";
        const auto known = labels_.find(*bytes);
        if (known != labels_.end())
            return known->second;
        uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : *bytes)
            hash = (hash ^ c) * 1099511628211ull;
        char text[64];
        std::snprintf(text, sizeof(text), "%llu bytes (%016llx)", static_cast<unsigned long long>(bytes->size()),
                      static_cast<unsigned long long>(hash));
        return text;
    }

    // The entry's InstallDate is the day of the run that wrote it: a sweep
    // that runs over midnight meets two days, each the day of a run.
    static std::string DayOfARun(const std::string& shown)
    {
        for (ULONGLONG daysBack = 0; daysBack <= 1; ++daysBack) {
            FILETIME now{};
            ::GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER at{};
            at.LowPart = now.dwLowDateTime;
            at.HighPart = now.dwHighDateTime;
            at.QuadPart -= daysBack * 24ull * 60 * 60 * 10000000;
            const FILETIME then{ at.LowPart, at.HighPart };
            FILETIME local{};
            SYSTEMTIME day{};
            if (!::FileTimeToLocalFileTime(&then, &local) || !::FileTimeToSystemTime(&local, &day))
                continue;
            char text[16];
            std::snprintf(text, sizeof(text), "\"%04u%02u%02u\"", day.wYear, day.wMonth, day.wDay);
            if (shown == text)
                return "(the day of a run)";
        }
        return shown;
    }

    // The log is no part of the machine's state; the record is compared by
    // its lines as a set, so that its layout may change. Values are compared
    // as they are, but for the day of the entry's InstallDate.
    Facts Describe(const Snapshot& s) const
    {
        Facts facts;
        for (const auto& [path, bytes] : s.files) {
            if (EqualIgnoringCase(path, LogPath())) {
                facts["file " + path] = "(the log)";
            } else if (EqualIgnoringCase(path, RecordPath())) {
                facts["file " + path] = "(the record)";
                const size_t mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
                for (const std::string& line : lumo_test::SplitLinesAnyEnd(bytes.substr(mark)))
                    facts["record line \"" + line + "\""];
            } else {
                facts["file " + path] = Label(bytes);
            }
        }
        for (const std::string& folder : s.folders)
            facts["folder " + folder];
        for (const auto& [key, values] : s.tree) {
            facts["key " + Utf8(key)];
            for (const auto& [name, value] : values)
                facts["value " + Utf8(key) + " : " + Utf8(name)] =
                    name == L"InstallDate" ? DayOfARun(Shown(value)) : Shown(value);
        }
        for (const auto& [name, value] : s.shared)
            facts["shared count " + Utf8(name)] = Shown(value);
        for (const auto& [name, value] : s.runOnce)
            facts["run at the restart " + Utf8(name)] = Shown(value);
        // Registered or not is what ran last, however often each ran: a
        // stopped run's work is done again.
        for (const auto& [name, value] : s.lastEntry)
            facts["last entry point of " + Utf8(name)] = Shown(value);
        for (const auto& [from, to] : s.renames)
            facts["at the restart " + Utf8(from) + (to.empty() ? " deleted" : " becomes " + Utf8(to))];
        return facts;
    }

    static std::vector<std::string> Differences(const Facts& expected, const Facts& actual)
    {
        std::vector<std::string> differences;
        auto shown = [](const std::string& value) { return value.empty() ? std::string() : " = " + value; };
        for (const auto& [fact, value] : expected) {
            const auto found = actual.find(fact);
            if (found == actual.end())
                differences.push_back("missing: " + fact + shown(value));
            else if (found->second != value)
                differences.push_back(fact + " = " + found->second + " instead of " + value);
        }
        for (const auto& [fact, value] : actual) {
            if (expected.count(fact) == 0)
                differences.push_back("left over: " + fact + shown(value));
        }
        return differences;
    }

    // After a stop, each file is as before the run or as after an
    // uninterrupted one: never missing when both have it, never a part.
    std::vector<std::string> BrokenFiles(const Snapshot& before, const Snapshot& after) const
    {
        std::set<std::string> paths;
        for (const Snapshot* s : { &before, &after }) {
            for (const auto& file : s->files) {
                if (!EqualIgnoringCase(file.first, LogPath()))
                    paths.insert(file.first);
            }
        }
        std::vector<std::string> broken;
        auto in = [](const Snapshot& s, const std::string& path) {
            const auto found = s.files.find(path);
            return found == s.files.end() ? std::optional<std::string>() : found->second;
        };
        for (const std::string& path : paths) {
            const std::optional<std::string> now =
                FileExists(path) ? std::optional<std::string>(ReadFileBytes(path)) : std::nullopt;
            // A target loaded by a program cannot be replaced in one step on
            // Windows: between its rename aside and the new file's rename it
            // is missing, and its old bytes wait in the file set aside, which
            // the next run puts back first.
            const std::string aside = AsidePath(path);
            if (!now && FileExists(aside) && in(before, path) && ReadFileBytes(aside) == *in(before, path))
                continue;
            if (now != in(before, path) && now != in(after, path))
                broken.push_back(path + " is " + Label(now) + ", neither " + Label(in(before, path)) + " nor " +
                                 Label(in(after, path)));
        }
        return broken;
    }

    DWORD Run(const std::string& exe, const std::string& arguments, const Env& env) const
    {
        Process process;
        if (!process.Start(exe, "\"" + exe + "\" " + arguments, exe.substr(0, exe.rfind('\\')), env)) {
            ADD_FAILURE() << "cannot start " << exe << " (error " << ::GetLastError() << ")";
            return STILL_ACTIVE;
        }
        DWORD code = STILL_ACTIVE;
        process.WaitExit(kRunTimeoutMs, &code);
        return code;
    }
    DWORD Install(const Env& env = {}) const { return Run(delivery_->ExePath(), "/S", env); }
    DWORD Remove(const Env& env = {}) const { return Run(Program(), "/UNINSTALL /S", env); }

    // One pass, holding what it holds; what the pass before held and this
    // one does not is let go first. A removal is started as the entry of
    // Programs and Features starts it: an installation stopped before it
    // wrote the entry offers none, and the user installs again.
    DWORD Perform(const Pass& pass, const Env& env, std::vector<std::string>& problems)
    {
        if (pass.held == kNone)
            holder_.Release();
        else if (!holder_.Hold(Target(kCases[pass.held]), pass.open))
            problems.push_back("the test could not hold " + Target(kCases[pass.held]));
        skipped_ = pass.removal && RegistryText(UninstallKey(), "QuietUninstallString") == "(assente)";
        if (skipped_)
            return kSuccess;
        return pass.removal ? Remove(env) : Install(env);
    }

    static bool Ended(const Pass& pass, DWORD code)
    {
        return pass.fails ? code == kFailure : code == kSuccess || code == kRestartNeeded;
    }

    // The sequence uninterrupted, then the restart; the operations its first
    // run counted, each as "what subject". afterPasses holds the machine
    // after each run, the last one before the restart.
    std::vector<std::string> Reference(const Sequence& sequence, std::vector<Snapshot>& afterPasses)
    {
        lumo_test::TempDir work("lumo-sweep");
        const std::string list = work / "steps.txt";
        std::vector<std::string> problems;
        afterPasses.clear();
        for (size_t i = 0; i < sequence.size(); ++i) {
            const DWORD code = Perform(sequence[i], i == 0 ? Env{ { "LUMO_STEPS", list } } : Env{}, problems);
            EXPECT_TRUE(Ended(sequence[i], code)) << "run " << i + 1 << " of the sequence ended with " << code;
            afterPasses.push_back(Capture());
        }
        EXPECT_EQ(std::vector<std::string>{}, problems);
        holder_.Release();
        RestartWine();
        std::vector<std::string> steps;
        for (std::string line : lumo_test::SplitLinesAnyEnd(ReadFileBytes(list))) {
            const size_t tab = line.find('\t');
            EXPECT_EQ(std::to_string(steps.size() + 1), line.substr(0, tab)) << "the list skips an operation";
            std::replace(line.begin(), line.end(), '\t', ' ');
            // An operation without a subject ends with the separator.
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            steps.push_back(line.substr(tab + 1));
        }
        EXPECT_EQ(std::vector<std::string>{}, UnflushedRecords(steps));
        return steps;
    }

    // A record renamed into place must have been written and then flushed
    // by its own operations just before: a stop between the write and the
    // flush is then one of the sweep's stops, and a record renamed unflushed
    // shows here. Returns the renames that are not.
    std::vector<std::string> UnflushedRecords(const std::vector<std::string>& steps) const
    {
        std::vector<std::string> unflushed;
        const std::string rename = "rinomina " + RecordPath();
        for (size_t n = 0; n < steps.size(); ++n) {
            if (EqualIgnoringCase(steps[n], rename) && (n < 2 || steps[n - 2] != "scrivi" || steps[n - 1] != "scarica"))
                unflushed.push_back("operation " + std::to_string(n + 1) + " renames the record without " +
                                    "a write and a flush just before it");
        }
        return unflushed;
    }

    size_t RecordRenames(const std::vector<std::string>& steps) const
    {
        return static_cast<size_t>(std::count_if(steps.begin(), steps.end(), [this](const std::string& step) {
            return EqualIgnoringCase(step, "rinomina " + RecordPath());
        }));
    }

    static Facts Only(const Facts& facts, std::initializer_list<const char*> kinds)
    {
        Facts some;
        for (const auto& [fact, value] : facts) {
            for (const char* kind : kinds) {
                if (fact.rfind(kind, 0) == 0)
                    some[fact] = value;
            }
        }
        return some;
    }

    // Every shared count is what the products that use the file hold, and
    // each component was last registered or unregistered as it should be.
    static Facts CountsAndRegistrations(const Facts& facts)
    {
        return Only(facts, { "shared count ", "last entry point of " });
    }

    // What a plain run leaves must be left by any sequence that ends with
    // the same run: the counts and registrations, the files and folders.
    static Facts PlainFacts(const Facts& facts)
    {
        return Only(facts, { "shared count ", "last entry point of ", "file ", "folder ", "at the restart ",
                             "run at the restart " });
    }

    // The machine without the history the record tells: a removal stopped
    // before it came to a component the product had replaced leaves it
    // recorded as replaced, while one that gave it back leaves it to be
    // found by the next installation; either is true, and so are the size
    // and the digest that follow from it.
    static Facts MachineFacts(const Facts& facts)
    {
        Facts some;
        for (const auto& [fact, value] : facts) {
            const bool history = fact.rfind("record line ", 0) == 0 ||
                                 (fact.rfind("value ", 0) == 0 && (EndsWith(fact, " : EstimatedSize") ||
                                                                    EndsWith(fact, " : LumoElenco")));
            if (!history)
                some[fact] = value;
        }
        return some;
    }

    static bool EndsWith(const std::string& text, const std::string& end)
    {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    }

    // Stops the first run of the sequence before each of its operations in
    // turn, then makes the others unstopped; each stop must leave every file
    // whole, each later run every file whole and the counts and
    // registrations the uninterrupted one left, and the sequence, after the
    // restart, what the uninterrupted one left as the view shows it. Failures name the stop and go on to
    // the next.
    void Sweep(const char* name, const Snapshot& start, const std::vector<Snapshot>& afterPasses,
               const Snapshot& reference, const std::vector<std::string>& steps, const Sequence& sequence,
               const std::function<Facts(const Facts&)>& view,
               const std::function<std::vector<std::string>()>& alsoCheck = nullptr)
    {
        const Facts expected = view(Describe(reference));
        const ULONGLONG began = ::GetTickCount64();
        std::vector<size_t> failing;
        for (size_t n = 1; n <= steps.size(); ++n) {
            std::vector<std::string> problems;
            holder_.Release();
            Restore(start);
            const DWORD stopped = Perform(sequence[0], { { "LUMO_STOP_AT", std::to_string(n) } }, problems);
            if (stopped != machine::kStoppedExitCode)
                problems.push_back("the run did not stop there: exit code " + std::to_string(stopped));
            for (const std::string& broken : BrokenFiles(start, afterPasses[0]))
                problems.push_back("after the stop " + broken);
            for (size_t i = 1; i < sequence.size(); ++i) {
                const DWORD code = Perform(sequence[i], {}, problems);
                if (!Ended(sequence[i], code))
                    problems.push_back("run " + std::to_string(i + 1) + " ended with " + std::to_string(code));
                // Once a run was not made the sequence is another one.
                if (i + 1 == sequence.size() || skipped_)
                    continue;
                // A removal after a stopped installation has no new file to
                // put over a target the stop took away: it puts the old one back.
                for (const std::string& broken : BrokenFiles(start, afterPasses[i]))
                    problems.push_back("after run " + std::to_string(i + 1) + " " + broken);
                const Facts now = CountsAndRegistrations(Describe(Capture()));
                for (const std::string& difference : Differences(CountsAndRegistrations(Describe(afterPasses[i])), now))
                    problems.push_back("after run " + std::to_string(i + 1) + ", " + difference);
            }
            holder_.Release();
            RestartWine();
            for (const std::string& difference : Differences(expected, view(Describe(Capture()))))
                problems.push_back("after the sequence and the restart, " + difference);
            if (alsoCheck) {
                for (const std::string& problem : alsoCheck())
                    problems.push_back(problem);
            }
            if (problems.empty())
                continue;
            failing.push_back(n);
            // An operation without a subject names the one before it.
            const std::string& step = steps[n - 1];
            std::string message = std::string(name) + " stopped before operation " + std::to_string(n) + " of " +
                                  std::to_string(steps.size()) + ", \"" + step + "\"" +
                                  (step.find(' ') == std::string::npos && n > 1 ? " after \"" + steps[n - 2] + "\""
                                                                                : std::string()) +
                                  ":";
            // A fault that leaves the whole product behind would drown the others.
            constexpr size_t kShown = 16;
            for (size_t i = 0; i < problems.size() && i < kShown; ++i)
                message += "\n    " + problems[i];
            if (problems.size() > kShown)
                message += "\n    and " + std::to_string(problems.size() - kShown) + " more";
            ADD_FAILURE() << message;
        }
        std::string list;
        for (size_t n : failing)
            list += " " + std::to_string(n);
        std::printf("[ sweep    ] %s: %u stops in %.0f s, %u failed:%s\n", name, static_cast<unsigned>(steps.size()),
                    static_cast<double>(::GetTickCount64() - began) / 1000.0, static_cast<unsigned>(failing.size()),
                    list.c_str());
        std::fflush(stdout);
    }

    // The plain outcome of one run from the machine as it is, after the
    // restart.
    Snapshot Plain(const Pass& pass)
    {
        std::vector<Snapshot> afterPasses;
        EXPECT_FALSE(Reference({ pass }, afterPasses).empty());
        return Capture();
    }

    // A sequence swept from the start given. Its uninterrupted runs are held
    // first to the plain installation's or removal's counts and
    // registrations after each, and its end to what the plain run leaves.
    void SweepSequence(const char* name, const Snapshot& start, const Sequence& sequence, const Snapshot& installed,
                       const Snapshot& removed)
    {
        Restore(start);
        std::vector<Snapshot> afterPasses;
        const std::vector<std::string> steps = Reference(sequence, afterPasses);
        const Snapshot reference = Capture();
        ASSERT_FALSE(steps.empty());
        ASSERT_FALSE(HasFailure()) << "the uninterrupted sequence is not a reference";
        // A fault of the uninterrupted sequence itself shows here once; the
        // sweep still looks for the faults of the stops.
        for (size_t i = 0; i < sequence.size(); ++i) {
            if (sequence[i].fails)
                continue;
            EXPECT_EQ(std::vector<std::string>{},
                      Differences(CountsAndRegistrations(Describe(sequence[i].removal ? removed : installed)),
                                  CountsAndRegistrations(Describe(afterPasses[i]))))
                << name << ", uninterrupted, after run " << i + 1 << ", against a plain run";
        }
        EXPECT_EQ(std::vector<std::string>{},
                  Differences(PlainFacts(Describe(sequence.back().removal ? removed : installed)),
                              PlainFacts(Describe(reference))))
            << name << ", uninterrupted, after the restart, against a plain run";
        Sweep(name, start, afterPasses, reference, steps, sequence, MachineFacts);
    }

    std::unique_ptr<Delivery> delivery_;
    std::string ownFolder_;
    std::string subFolder_;
    std::vector<std::string> daoScope_;
    std::vector<std::string> daoTargets_;
    std::optional<Snapshot> initial_;
    // The last pass was a removal that nothing offered.
    bool skipped_ = false;
    Holder holder_;
    std::map<std::string, std::string> labels_;
    bool madeTargetFolder_ = false;
    bool madeHomeRoot_ = false;
};

TEST_F(SweepTest, AnInstallationStoppedAtAnyStepIsRepairedByTheNextRun)
{
    std::vector<Snapshot> afterPasses;
    const std::vector<std::string> steps = Reference({ kInstallHoldingInUse }, afterPasses);
    const Snapshot reference = Capture();
    const Snapshot& pending = afterPasses[0];
    // The delivery holds every case: the file in use went aside for the
    // restart, the shared one counts both products, the late subfolder and
    // the folder of its own are recorded as made.
    EXPECT_TRUE(std::any_of(pending.renames.begin(), pending.renames.end(), [&](const auto& rename) {
        return ContainsIgnoringCase(rename.first, Unique() + kCases[kInUse].stem) && rename.second.empty();
    })) << "nothing of the component in use was left to the restart";
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, Target(kCases[kShared])));
    for (const CaseIndex registered : { kRegistered, kHeldOpen, kSub, kOwn })
        EXPECT_EQ(1u, lumo_test::RegistrationCount(Target(kCases[registered]))) << Target(kCases[registered]);
    const std::string record = ReadFileBytes(RecordPath());
    const std::vector<std::string> lines = lumo_test::SplitLinesAnyEnd(record);
    const auto recorded = [&lines](const std::string& end) {
        return std::any_of(lines.begin(), lines.end(), [&end](const std::string& line) {
            return line.size() >= end.size() && EqualIgnoringCase(line.substr(line.size() - end.size()), end);
        });
    };
    for (const std::string& folder : { FolderOfPath(Target(kCases[kSub])), ownFolder_ })
        EXPECT_TRUE(recorded("cartella | creata | - | - | " + folder)) << folder << "\n" << record;
    for (const std::string& dao : daoTargets_)
        EXPECT_TRUE(recorded(" | contato | " + dao)) << dao << "\n" << record;
    // The late subfolder's component is copied after a component beside it.
    const auto first = [&](const Case& c) {
        return std::find_if(steps.begin(), steps.end(), [&](const std::string& step) {
            return ContainsIgnoringCase(Wide(step), Unique() + c.stem);
        });
    };
    EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases), [&](const Case& c) {
        return c.place == Place::System && first(c) < first(kCases[kSub]);
    })) << "no component beside the subfolder was copied before it";
    EXPECT_NE(0u, RecordRenames(steps)) << "the record was never renamed into place";
    ASSERT_FALSE(steps.empty());
    ASSERT_FALSE(HasFailure()) << "the uninterrupted run is not a reference";

    Sweep("the installation", *initial_, afterPasses, reference, steps, { kInstallHoldingInUse, kInstallHoldingInUse },
          [](const Facts& facts) { return facts; });
}

TEST_F(SweepTest, ARemovalStoppedAtAnyStepIsFinishedByTheNextRemoval)
{
    const Snapshot installed = Plain(kInstallHoldingInUse);
    // The delivery's program is the test build: so is the copy that removes.
    ASSERT_EQ(ReadFileBytes(FaultsExe()), installed.files.at(Program()));

    // Every count is given back once: the other product's, the earlier
    // owner's of a component found or replaced, and the product's own.
    auto countsGivenBackOnce = [&] {
        std::vector<std::string> wrong;
        for (const auto& [name, value] : installed.shared) {
            const long long before = std::stoll(Shown(value));
            const long long now = RegistryNumber(kSharedDlls, Utf8(name));
            if (now != (before > 1 ? before - 1 : -1))
                wrong.push_back("the shared count of " + Utf8(name) + " is " + std::to_string(now) + ", " +
                                std::to_string(before) + " before the removal");
        }
        return wrong;
    };
    std::vector<Snapshot> afterPasses;
    const std::vector<std::string> steps = Reference({ kRemoveHoldingRegistered }, afterPasses);
    const Snapshot removed = Capture();
    EXPECT_EQ(std::vector<std::string>{}, countsGivenBackOnce());
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, Target(kCases[kShared]))) << "the other product's count";
    EXPECT_EQ(0u, removed.files.count(Target(kCases[kRegistered]))) << "the component in use stayed";
    for (const std::string& folder : { FolderOfPath(Target(kCases[kSub])), ownFolder_ })
        EXPECT_FALSE(IsFolderThere(folder)) << "the folder the run made stayed: " << folder;
    ASSERT_FALSE(steps.empty());
    ASSERT_FALSE(HasFailure()) << "the uninterrupted removal is not a reference";

    Sweep("the removal", installed, afterPasses, removed, steps, { kRemoveHoldingRegistered, kRemoveHoldingRegistered },
          [](const Facts& facts) { return facts; }, countsGivenBackOnce);
}

// An installation stopped while it writes the product's entry: whenever the
// entry offers its removal, the removal finds the product and removes it.
TEST_F(SweepTest, AnEntryStoppedHalfWrittenOffersOnlyARemovalThatWorks)
{
    std::vector<Snapshot> afterPasses;
    const std::vector<std::string> steps = Reference({ kInstall }, afterPasses);
    const auto at = [&steps](const std::string& step) {
        return static_cast<size_t>(std::find(steps.begin(), steps.end(), step) - steps.begin());
    };
    const size_t first = std::min({ at("valore DisplayName"), at("valore LumoCasa"), at("valore LumoPathKey") });
    const size_t last =
        std::max({ at("valore QuietUninstallString"), at("valore LumoCasa"), at("valore LumoPathKey") });
    ASSERT_LT(last, steps.size()) << "the entry is not written value by value";
    size_t offered = 0;
    for (size_t n = first + 1; n <= std::min(last + 2, steps.size()); ++n) {
        SCOPED_TRACE("stopped before \"" + steps[n - 1] + "\"");
        Restore(*initial_);
        ASSERT_EQ(machine::kStoppedExitCode, Install({ { "LUMO_STOP_AT", std::to_string(n) } }));
        if (RegistryText(UninstallKey(), "QuietUninstallString") == "(assente)")
            continue;
        ++offered;
        const DWORD removed = Remove();
        EXPECT_TRUE(removed == kRemoved || removed == kRestartNeeded) << "the removal ended with " << removed;
        EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    }
    EXPECT_NE(0u, offered) << "no stop left the entry's commands written";
}

// A removal stopped anywhere, and then an installation instead of another
// removal: the installation takes over what the removal left half done.
TEST_F(SweepTest, AnInstallationAfterARemovalStoppedAtAnyStep)
{
    const Snapshot installed = Plain(kInstallHoldingInUse);
    const Snapshot removed = Plain(kRemove);
    SweepSequence("the removal before an installation", installed, { kRemoveHoldingRegistered, kInstall }, installed,
                  removed);
}

// A removal that fails on a component held open, stopped anywhere; then an
// installation and a removal: every count taken again is given back once,
// and the machine ends as after a plain removal.
TEST_F(SweepTest, AFailedRemovalStoppedAtAnyStepThenAnInstallationAndARemoval)
{
    const Snapshot installed = Plain(kInstallHoldingInUse);
    const Snapshot removed = Plain(kRemove);
    // The uninterrupted failure keeps the component held open, recorded.
    Restore(installed);
    Plain(kRemoveHeldOpen);
    EXPECT_TRUE(FileExists(Target(kCases[kHeldOpen])));
    EXPECT_NE(std::string::npos, ReadFileBytes(RecordPath()).find(Target(kCases[kHeldOpen])));
    SweepSequence("the failed removal", installed, { kRemoveHeldOpen, kInstall, kRemove }, installed, removed);
}

// An installation stopped anywhere, then a removal and an installation
// again: the removal finishes what the stopped run began (a target in use
// it had set aside comes back, since the removal copies nothing over it),
// and the second installation finds nothing of the first's in its way.
TEST_F(SweepTest, AnInstallationStoppedAtAnyStepThenARemovalAndAnInstallation)
{
    const Snapshot installed = Plain(kInstallHoldingInUse);
    const Snapshot removed = Plain(kRemove);
    SweepSequence("the installation before a removal", *initial_, { kInstallHoldingInUse, kRemove, kInstall },
                  installed, removed);
}

// The same over an installation: its entry offers the removal whatever the
// stop, so the removal always follows a stopped run.
TEST_F(SweepTest, AReinstallationStoppedAtAnyStepThenARemovalAndAnInstallation)
{
    const Snapshot installed = Plain(kInstallHoldingInUse);
    const Snapshot removed = Plain(kRemove);
    SweepSequence("the reinstallation before a removal", installed, { kInstallHoldingInUse, kRemove, kInstall },
                  installed, removed);
}

} // namespace
