// Every operation of a run can be its last. A small delivery holding every
// kind of file is installed, and then removed, by the test build of the
// program stopped just before its n-th operation (LUMO_STOP_AT), for each n
// of an uninterrupted run in turn. After each stop every file is whole (as it
// was before, or as the uninterrupted run leaves it), and one more run, not
// stopped, must leave the machine exactly as the uninterrupted run does.
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
struct Case {
    const char* stem;      // the file's name after the test's own prefix
    bool component;        // a system component, else an application file
    const char* delivered; // a built component, or an application file's text
    const char* before;    // the same on the machine before, or nullptr
};
enum CaseIndex { kNewFile, kOlderFile, kNewer, kInUse, kRegistered, kOlder, kShared };
const Case kCases[] = {
    { "_nuovo.dat", false, "la versione nuova", nullptr },
    { "_sostituito.dat", false, "la versione nuova", "la versione precedente" },
    { "_recente.dll", true, component::kVer2_0_0_0, component::kVer1_2_3_4 },
    // Held loaded by the test program: set aside, deleted at the restart.
    { "_inuso.dll", true, component::kVer2_0_0_0, component::kVer1_2_3_4 },
    { "_registrato.dll", true, component::kRegisterOk, nullptr },
    // Newer on the machine: not copied, counted as used.
    { "_piunuovo.dll", true, component::kVer2_0_0_0, component::kVer7_0_0_0 },
    // Equal, and counted by another product before.
    { "_condiviso.dll", true, component::kVer1_2_3_4, component::kVer1_2_3_4 },
};

std::string Bytes(const Case& c, const char* what)
{
    return c.component ? ReadFileBytes(lumo_test::ComponentPath(what)) : std::string(what);
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

// The test program holds a component loaded, as another running program
// would; it lets go before each restart, as a restart would.
class Holder {
public:
    ~Holder() { Release(); }
    bool Hold(const std::string& path)
    {
        Release();
        module_ = ::LoadLibraryW(Wide(path).c_str());
        return module_ != nullptr;
    }
    void Release()
    {
        if (module_ != nullptr)
            ::FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

// What the product may change, in the places where this test's product
// works: its files (and whatever it left beside them), its folders, its
// registry keys, the shared counts, restart work and registration counters
// of its paths.
struct Snapshot {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    Tree tree;
    Values shared, runOnce, registered, unregistered;
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
        std::string ini = StandardIni();
        delivery_->WriteIni(ini.insert(ini.find("[CHIAVI]"), "[PRODOTTO]\r\nNome=Tesmoro " + Unique() +
                                                                 "\r\nVersione=1.0.0.0\r\nProduttore=Pelvora\r\n"));
        for (const Case& c : kCases) {
            const std::string delivered = Bytes(c, c.delivered);
            labels_[delivered] = c.component ? c.delivered : "\"" + delivered + "\"";
            if (c.component)
                delivery_->AddSysFile(Unique() + c.stem, delivered);
            else
                delivery_->AddAppFile(Unique() + c.stem, delivered);
            if (c.before != nullptr) {
                const std::string before = Bytes(c, c.before);
                labels_[before] = c.component ? c.before : "\"" + before + "\"";
                lumo_test::WriteFileBytes(Target(c), before);
            }
            Placed(Target(c));
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
        return (c.component ? SystemFolder() : AppTargetFolder()) + "\\" + Unique() + c.stem;
    }

    bool Mine(const std::wstring& text) const
    {
        return ContainsIgnoringCase(text, Unique()) || ContainsIgnoringCase(text, InstallDir());
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
        const std::string install = InstallDir();
        const size_t slash = install.rfind('\\');
        walk(install.substr(0, slash), install.substr(slash + 1));
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
                   WriteValues(kUnregisteredKey, mine, s.unregistered) && registry;
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

    // The log is no part of the machine's state; the record is compared by
    // its lines as a set, so that its layout may change. Values are compared
    // as they are, the entry's InstallDate too (a sweep that runs over
    // midnight sees it change).
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
                facts["value " + Utf8(key) + " : " + Utf8(name)] = Shown(value);
        }
        for (const auto& [name, value] : s.shared)
            facts["shared count " + Utf8(name)] = Shown(value);
        for (const auto& [name, value] : s.runOnce)
            facts["run at the restart " + Utf8(name)] = Shown(value);
        // Registered or not, however often.
        for (const auto& registered : s.registered)
            facts["registered " + Utf8(registered.first)];
        for (const auto& unregistered : s.unregistered)
            facts["unregistered " + Utf8(unregistered.first)];
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

    // An uninterrupted run, holding the component, then the restart; the
    // operations it counted, each as "what subject".
    std::vector<std::string> Reference(const std::function<DWORD(const Env&)>& run, const Case& held,
                                       DWORD expectedCode, Snapshot& beforeRestart)
    {
        lumo_test::TempDir work("lumo-sweep");
        const std::string list = work / "steps.txt";
        EXPECT_TRUE(holder_.Hold(Target(held))) << Target(held);
        EXPECT_EQ(expectedCode, run({ { "LUMO_STEPS", list } }));
        beforeRestart = Capture();
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
        return steps;
    }

    // Stops the run before each of its operations in turn; each stop must
    // leave every file whole, and the next run must leave what the
    // reference run left. Failures name the stop and go on to the next.
    void Sweep(const char* name, const Snapshot& start, const Snapshot& reference,
               const std::vector<std::string>& steps, const std::function<DWORD(const Env&)>& run, const Case& held,
               const std::function<std::vector<std::string>()>& alsoCheck = nullptr)
    {
        const Facts expected = Describe(reference);
        const ULONGLONG began = ::GetTickCount64();
        std::vector<size_t> failing;
        for (size_t n = 1; n <= steps.size(); ++n) {
            std::vector<std::string> problems;
            Restore(start);
            if (!holder_.Hold(Target(held)))
                problems.push_back("the test could not hold " + Target(held));
            const DWORD stopped = run({ { "LUMO_STOP_AT", std::to_string(n) } });
            if (stopped != machine::kStoppedExitCode)
                problems.push_back("the run did not stop there: exit code " + std::to_string(stopped));
            for (const std::string& broken : BrokenFiles(start, reference))
                problems.push_back("after the stop " + broken);
            const DWORD again = run({});
            if (again != kSuccess && again != kRestartNeeded)
                problems.push_back("the next run ended with " + std::to_string(again));
            holder_.Release();
            RestartWine();
            for (const std::string& difference : Differences(expected, Describe(Capture())))
                problems.push_back("after the next run and the restart, " + difference);
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
            for (const std::string& problem : problems)
                message += "\n    " + problem;
            ADD_FAILURE() << message;
        }
        std::string list;
        for (size_t n : failing)
            list += " " + std::to_string(n);
        std::printf("[ sweep    ] %s: %u stops in %.0f s, %u failed:%s\n", name, static_cast<unsigned>(steps.size()),
                    static_cast<double>(::GetTickCount64() - began) / 1000.0, static_cast<unsigned>(failing.size()),
                    list.c_str());
    }

    std::unique_ptr<Delivery> delivery_;
    std::optional<Snapshot> initial_;
    Holder holder_;
    std::map<std::string, std::string> labels_;
    bool madeTargetFolder_ = false;
    bool madeHomeRoot_ = false;
};

TEST_F(SweepTest, AnInstallationStoppedAtAnyStepIsRepairedByTheNextRun)
{
    Snapshot pending;
    const std::vector<std::string> steps =
        Reference([this](const Env& env) { return Install(env); }, kCases[kInUse], kRestartNeeded, pending);
    const Snapshot reference = Capture();
    // The delivery holds every case: the file in use went aside for the
    // restart, the shared one counts both products.
    EXPECT_TRUE(std::any_of(pending.renames.begin(), pending.renames.end(), [&](const auto& rename) {
        return ContainsIgnoringCase(rename.first, Unique() + kCases[kInUse].stem) && rename.second.empty();
    })) << "nothing of the component in use was left to the restart";
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, Target(kCases[kShared])));
    EXPECT_EQ(1u, lumo_test::RegistrationCount(Target(kCases[kRegistered])));
    ASSERT_FALSE(steps.empty());
    ASSERT_FALSE(HasFailure()) << "the uninterrupted run is not a reference";

    Sweep("the installation", *initial_, reference, steps, [this](const Env& env) { return Install(env); },
          kCases[kInUse]);
}

TEST_F(SweepTest, ARemovalStoppedAtAnyStepIsFinishedByTheNextRemoval)
{
    Snapshot unused;
    ASSERT_FALSE(
        Reference([this](const Env& env) { return Install(env); }, kCases[kInUse], kRestartNeeded, unused).empty());
    const Snapshot installed = Capture();
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
    Snapshot pending;
    const std::vector<std::string> steps =
        Reference([this](const Env& env) { return Remove(env); }, kCases[kRegistered], kRestartNeeded, pending);
    const Snapshot removed = Capture();
    EXPECT_EQ(std::vector<std::string>{}, countsGivenBackOnce());
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, Target(kCases[kShared]))) << "the other product's count";
    EXPECT_EQ(0u, removed.files.count(Target(kCases[kRegistered]))) << "the component in use stayed";
    ASSERT_FALSE(steps.empty());
    ASSERT_FALSE(HasFailure()) << "the uninterrupted removal is not a reference";

    Sweep("the removal", installed, removed, steps, [this](const Env& env) { return Remove(env); },
          kCases[kRegistered], countsGivenBackOnce);
}

} // namespace
