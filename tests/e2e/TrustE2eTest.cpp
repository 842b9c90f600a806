// Nothing the product leaves on the machine can be turned against it: an
// edited record, a link planted where the program writes or cleans up, and
// a lock taken first. Each attack ends with nothing touched outside the
// product and the documented exit code.
//
// Wine runs every program as one identity and keeps no access list on a
// file, so these tests check the refusals and what is left on the machine,
// not the system's access checks. Wine shows only a link to a folder as a
// link; a link to a file looks like the file itself there.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/Rules.h"
#include "framework/Digest.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <functional>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::WriteFileBytes;
namespace component = lumo_test::component;

namespace {

// How many names the file has.
DWORD NamesOf(const std::string& path)
{
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = file != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    return read ? info.nNumberOfLinks : 0;
}

class TrustE2eTest : public E2eTest {};

// The removal acts on the record only when the digest the last run wrote in
// the product's entry vouches for it, and even then only on paths of the
// product's own. An edit the digest does not vouch for is refused before
// anything is touched: every file of the product stays. A sealed edit
// removes the product's own files and not the foreign one; the product is
// then installed afresh for the next row. The unedited record at last
// removes the product.
TEST_F(TrustE2eTest, AnEditedRecordRemovesNothing)
{
    lumo_test::TempDir victims("lumo-vittima");
    const std::string keep = victims / "tenere.txt";
    WriteFileBytes(keep, "di un altro");
    const std::string victimComponent = victims / "altrui.dll";
    lumo_test::CopyComponent(component::kRegisterOk, victimComponent);
    // Beside the installation folder, its name the folder's name and more: a
    // path that begins with the folder's text without lying below it.
    const std::string sibling = InstallDir() + "Altro\\x.txt";
    ASSERT_TRUE(::CreateDirectoryW(Wide(InstallDir() + "Altro").c_str(), nullptr));
    WriteFileBytes(sibling, "di un altro");
    // Another product's entry and another vendor's key.
    const std::string otherEntry =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LumoE2E.Altro" + Unique();
    const std::string otherKey = "Software\\LumoE2EAltro\\" + Unique();
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, otherEntry, "DisplayName", "Altro");
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, otherKey, "Impostazione", "di un altro");

    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n");
    delivery.MakeTrees();
    AddAppFiles(delivery, 2, 100);
    const std::string own = Placed(SystemFolder() + "\\" + Unique() + "_proprio.dll");
    delivery.AddSysFile(Unique() + "_proprio.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    std::string original = ReadFileBytes(RecordPath());
    std::string digest = RegistryText(UninstallKey(), "LumoElenco");
    std::vector<std::string> productFiles = AppFileTargets();
    productFiles.push_back(own);
    auto everyProductFileThere = [&productFiles] {
        return std::all_of(productFiles.begin(), productFiles.end(), [](const std::string& f) { return FileExists(f); });
    };
    auto noProductFileThere = [&productFiles] {
        return std::none_of(productFiles.begin(), productFiles.end(), [](const std::string& f) { return FileExists(f); });
    };
    ASSERT_TRUE(everyProductFileThere());

    // ..\ from the installation folder up to the root of its drive.
    std::string up;
    for (size_t at = InstallDir().find('\\'); at != std::string::npos; at = InstallDir().find('\\', at + 1))
        up += "..\\";
    const std::string relative = up + keep.substr(3);
    auto replaced = [&original](const std::string& from, const std::string& to) {
        std::string text = original;
        const size_t at = text.find(from);
        return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
    };
    // An edit that a digest written by hand vouches for: only the paths of
    // the product's own are acted on.
    auto sealed = [this](const std::string& text) {
        lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(), "LumoElenco", Sha256Hex(text));
        return text;
    };
    struct Row {
        const char* what;
        std::function<std::string()> record;
        std::string line;
        // Vouched for by a digest: the product's own paths are removed.
        bool isSealed;
    } rows[] = {
        { "a file outside the product", [&] { return original + "applicativo | copiato | - | - | " + keep + "\r\n"; },
          "NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE: NULLA E' STATO RIMOSSO", false },
        { "a relative path", [&] { return original + "applicativo | copiato | - | - | " + relative + "\r\n"; },
          "NON E' QUELLO SCRITTO", false },
        { "another product's entry",
          [&] { return replaced("Voce=LumoE2E." + Unique(), "Voce=LumoE2E.Altro" + Unique()); },
          "NON E' QUELLO SCRITTO", false },
        { "another vendor's key", [&] { return replaced("PathKey=" + PathKey(), "PathKey=" + otherKey); },
          "NON E' QUELLO SCRITTO", false },
        { "a component of another product to unregister",
          [&] { return original + "sistema | copiato | registrato | contato | " + victimComponent + "\r\n"; },
          "NON E' QUELLO SCRITTO", false },
        { "a path beside the installation folder",
          [&] { return original + "applicativo | copiato | - | - | " + sibling + "\r\n"; }, "NON E' QUELLO SCRITTO",
          false },
        { "an empty record", [] { return std::string(); }, "NON E' QUELLO SCRITTO", false },
        { "a record cut in half", [&] { return original.substr(0, original.size() / 2); }, "NON E' QUELLO SCRITTO",
          false },
        { "sealed, a file outside the product",
          [&] { return sealed(original + "applicativo | copiato | - | - | " + keep + "\r\n"); },
          "IL PERCORSO: " + keep + " NON E' STATO TOCCATO: E' FUORI DALLE CARTELLE DEL PRODOTTO", true },
        { "sealed, a relative path",
          [&] { return sealed(original + "applicativo | copiato | - | - | " + relative + "\r\n"); },
          "IL PERCORSO: " + relative + " NON E' STATO TOCCATO: NON E' UN PERCORSO COMPLETO", true },
        { "sealed, a path beside the installation folder",
          [&] { return sealed(original + "applicativo | copiato | - | - | " + sibling + "\r\n"); },
          "IL PERCORSO: " + sibling + " NON E' STATO TOCCATO: E' FUORI DALLE CARTELLE DEL PRODOTTO", true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string edited = row.record();
        ASSERT_TRUE(!edited.empty() || std::string(row.what) == "an empty record");
        WriteFileBytes(RecordPath(), edited);
        const RunResult removed = RemoveQuietly();
        EXPECT_TRUE(removed.ended);
        EXPECT_EQ(kFailure, removed.exitCode);
        EXPECT_TRUE(HasLineWith(LogMessages(), row.line));
        EXPECT_EQ("di un altro", ReadFileBytes(keep));
        EXPECT_EQ("di un altro", ReadFileBytes(sibling));
        EXPECT_TRUE(FileExists(victimComponent));
        EXPECT_EQ(0u, lumo_test::UnregistrationCount(victimComponent));
        EXPECT_EQ("Altro", RegistryText(otherEntry, "DisplayName"));
        EXPECT_EQ("di un altro", RegistryText(otherKey, "Impostazione"));
        EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey())) << "the entry must stay";
        if (!row.isSealed) {
            EXPECT_TRUE(everyProductFileThere()) << "a refused record removed a file of the product";
            EXPECT_EQ(0u, lumo_test::UnregistrationCount(own));
            lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(), "LumoElenco", digest);
            continue;
        }
        EXPECT_TRUE(noProductFileThere()) << "the product's own paths were not removed";
        // What the removal left names the foreign path alone: the product
        // is forgotten and installed afresh.
        lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, UninstallKey());
        lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, PathKey());
        lumo_test::RemoveTree(HomeDir());
        ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
        ASSERT_TRUE(everyProductFileThere());
        original = ReadFileBytes(RecordPath());
        digest = RegistryText(UninstallKey(), "LumoElenco");
    }
    // The unedited record removes the product, and nothing else.
    WriteFileBytes(RecordPath(), original);
    const RunResult removed = RemoveQuietly();
    EXPECT_EQ(kRemoved, removed.exitCode);
    EXPECT_TRUE(noProductFileThere());
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_EQ("di un altro", ReadFileBytes(keep));
    EXPECT_EQ("di un altro", ReadFileBytes(sibling));
    EXPECT_EQ("Altro", RegistryText(otherEntry, "DisplayName"));
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, otherEntry);
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\LumoE2EAltro");
}

// Links where the program writes: the installation folder reached through
// one, the log and the record as second names of someone else's files, and
// the program's temporary folder in a target folder planted as a link to a
// folder of someone else's. Nothing is written or deleted through any of
// them.
TEST_F(TrustE2eTest, LinksWhereTheProgramWritesAreNeverFollowed)
{
    lumo_test::TempDir victims("lumo-vittima");
    const std::string keep = victims / "tenere.txt";
    WriteFileBytes(keep, "di un altro");
    lumo_test::TempDir root("lumo-radice");
    ::CreateDirectoryW(Wide(root / "vera").c_str(), nullptr);
    const lumo_test::FolderLink throughLink(root / "collegamento", "vera");
    const std::string copy = root / "copia.log";

    // The installation folder through a link: the run ends before anything.
    {
        Delivery delivery;
        std::string ini = StandardIni();
        const size_t at = ini.find("InstallationDir=");
        ini.replace(at, ini.find("\r\n", at) - at, "InstallationDir=" + root / "collegamento\\Tesmoro");
        delivery.WriteIni(ini);
        AddAppFiles(delivery, 1, 10);
        const RunResult run = RunWithoutWindow(delivery, "/S /LOG=" + copy);
        EXPECT_EQ(kFailure, run.exitCode);
        EXPECT_EQ(std::vector<std::string>{}, lumo_test::ListEntries(root / "vera"));
        EXPECT_FALSE(FileExists(AppFileTargets()[0]));
        EXPECT_TRUE(HasLineWith(lumo_test::SplitLines(ReadFileBytes(copy)),
                             "INSTALLAZIONE NON ESEGUITA: LA CARTELLA DI INSTALLAZIONE " + root /
                                 "collegamento\\Tesmoro PASSA PER IL COLLEGAMENTO " + root /
                                 "collegamento (CODICE DI USCITA: 1603)"));
    }

    // The log and the record as second names of a file outside: neither is
    // written through; the record's name is taken back by a record of its
    // own. The record's old place in the installation folder is not read.
    Delivery delivery;
    delivery.WriteIni(StandardIni());
    AddAppFiles(delivery, 1, 10);
    ::CreateDirectoryW(Wide(InstallDir()).c_str(), nullptr);
    ::CreateDirectoryW(Wide(HomeRoot()).c_str(), nullptr);
    ::CreateDirectoryW(Wide(HomeDir()).c_str(), nullptr);
    // The first test of a new prefix finds no application folder yet.
    ::SHCreateDirectoryExW(nullptr, Wide(AppTargetFolder()).c_str(), nullptr);
    const struct {
        std::string path;
        DWORD exitCode;
    } seconds[] = {
        { LogPath(), kFailure },
        { InstallDir() + "\\Installatore-elenco.txt", kSuccess },
        { RecordPath(), kFailure },
    };
    for (const auto& row : seconds) {
        SCOPED_TRACE(row.path);
        ::DeleteFileW(Wide(row.path).c_str());
        ASSERT_TRUE(::CreateHardLinkW(Wide(row.path).c_str(), Wide(keep).c_str(), nullptr));
        const RunResult run = RunWithoutWindow(delivery, "/S /LOG=" + copy);
        EXPECT_EQ(row.exitCode, run.exitCode);
        EXPECT_EQ("di un altro", ReadFileBytes(keep));
        ::DeleteFileW(Wide(row.path).c_str());
    }
    EXPECT_TRUE(HasLineWith(lumo_test::SplitLines(ReadFileBytes(copy)),
                         "E' UN COLLEGAMENTO O HA UN ALTRO NOME (CODICE DI USCITA: 1603)"));
    EXPECT_TRUE(HasLineWith(LogMessages(), "  L'ELENCO DEI FILE INSTALLATI: " + RecordPath() +
                                            " E' UN COLLEGAMENTO O HA UN ALTRO NOME: NON E' STATO USATO"));

    // The program's temporary folder planted as a link to someone else's
    // folder: the run goes on without it and leaves that folder whole.
    const std::string planted = AppTargetFolder() + "\\~LumoInstall";
    ASSERT_FALSE(lumo_test::DirectoryExists(planted));
    {
        const lumo_test::FolderLink link(planted, victims.Path());
        const RunResult run = RunWithoutWindow(delivery, "/S");
        EXPECT_EQ(kRemoved, run.exitCode);
        EXPECT_EQ("di un altro", ReadFileBytes(keep));
        EXPECT_TRUE(FileExists(AppFileTargets()[0]));
        EXPECT_TRUE(HasLineWith(LogMessages(), "  LA CARTELLA: " + planted + " E' UN COLLEGAMENTO: NON E' STATA SEGUITA"));
    }
    EXPECT_EQ(std::vector<std::string>{ "tenere.txt" }, lumo_test::ListEntries(victims.Path()));
}

// A user makes the program's temporary folder first, beside an application
// file and in a folder of its own named for a system file, and puts in it,
// under each target's name, a second name of a file outside. The run passes
// each planted folder by for a name it makes new and succeeds; nothing is
// written through a second name, and the run's cleanup takes the planted
// folders away by their names, leaving the files outside whole, with one
// name each. The installation folder, where an earlier version kept the
// program's copy, now gets nothing of the program's but its log: a folder
// planted there is not the program's to clean, and nothing goes through it.
// (The product's home, where the copy goes, is beyond a user's reach; a
// leftover there is passed by all the same.)
TEST_F(TrustE2eTest, AFolderPlantedUnderTheTemporaryNameIsPassedBy)
{
    lumo_test::TempDir victims("lumo-vittima");
    lumo_test::TempDir shared("lumo-condivisi");
    const std::string systemName = Unique() + "_condiviso.dll";
    const std::string systemBytes = ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk));
    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n" + systemName + "=" + shared.Path() + "|\r\n");
    delivery.MakeTrees();
    AddAppFiles(delivery, 1, 100);
    delivery.AddSysFile(systemName, systemBytes);
    ::CreateDirectoryW(Wide(InstallDir()).c_str(), nullptr);
    ::CreateDirectoryW(Wide(HomeRoot()).c_str(), nullptr);
    ::CreateDirectoryW(Wide(HomeDir()).c_str(), nullptr);
    // The first test of a new prefix finds no application folder yet.
    ::SHCreateDirectoryExW(nullptr, Wide(AppTargetFolder()).c_str(), nullptr);
    const struct {
        std::string folder;
        std::string name;
        bool programWorksThere;
    } places[] = {
        { InstallDir(), "LumoInstall.exe", false },
        { HomeDir(), "LumoInstall.exe", true },
        { AppTargetFolder(), AppFileTargets()[0].substr(AppTargetFolder().size() + 1), true },
        { shared.Path(), systemName, true },
    };
    std::vector<std::string> victimFiles;
    for (const auto& place : places) {
        const std::string victim = victims / ("vittima" + std::to_string(victimFiles.size()) + ".txt");
        WriteFileBytes(victim, "di un altro");
        victimFiles.push_back(victim);
        ASSERT_TRUE(::CreateDirectoryW(Wide(place.folder + "\\~LumoInstall").c_str(), nullptr))
            << place.folder << " (error " << ::GetLastError() << ")";
        ASSERT_TRUE(::CreateHardLinkW(Wide(place.folder + "\\~LumoInstall\\" + place.name).c_str(),
                                      Wide(victim).c_str(), nullptr));
    }

    const RunResult run = RunWithoutWindow(delivery, "/S");
    EXPECT_TRUE(run.Clean()) << "exit code " << run.exitCode;
    const std::vector<std::string> messages = LogMessages();
    EXPECT_EQ(ReadFileBytes(delivery.ExePath()), ReadFileBytes(Program()));
    EXPECT_TRUE(FileExists(AppFileTargets()[0]));
    EXPECT_EQ(systemBytes, ReadFileBytes(shared / systemName)) << ::testing::PrintToString(messages);
    for (size_t i = 0; i < victimFiles.size(); ++i) {
        SCOPED_TRACE(places[i].folder);
        EXPECT_EQ("di un altro", ReadFileBytes(victimFiles[i]));
        EXPECT_FALSE(lumo_test::DirectoryExists(places[i].folder + "\\~LumoInstall-1"));
        EXPECT_EQ(!places[i].programWorksThere, lumo_test::DirectoryExists(places[i].folder + "\\~LumoInstall"));
        EXPECT_EQ(places[i].programWorksThere ? 1u : 2u, NamesOf(victimFiles[i]));
    }
    EXPECT_EQ(kRemoved, RemoveQuietly().exitCode);
    EXPECT_FALSE(FileExists(shared / systemName));
}

// /LOG naming a second name of someone else's file, a file reached through
// a link to someone else's folder, or a folder to be made below such a
// link: the installation and the removal run all the same with
// Installatore.log alone (and end as they would without /LOG), and nothing
// of theirs reaches the other files or folders. Wine shows a link to a file
// as the file itself, so a symbolic link to a file cannot be told apart
// there and is not among these; a link to a folder shows as a link.
TEST_F(TrustE2eTest, ALogCopyThroughALinkOrASecondNameIsNotWritten)
{
    lumo_test::TempDir victims("lumo-vittima");
    const std::string victim = victims / "vittima.txt";
    WriteFileBytes(victim, "di un altro");
    lumo_test::TempDir collect("lumo-raccolta");
    const std::string secondName = collect / "pc1.log";
    ASSERT_TRUE(::CreateHardLinkW(Wide(secondName).c_str(), Wide(victim).c_str(), nullptr));
    const lumo_test::FolderLink link(collect / "collegamento", victims.Path());

    Delivery delivery;
    delivery.WriteIni(StandardIni());
    AddAppFiles(delivery, 1, 10);
    const std::string copies[] = { secondName, collect / "collegamento\\pc2.log",
                                   collect / "collegamento\\nuova\\pc3.log" };
    for (const std::string& copy : copies) {
        SCOPED_TRACE(copy);
        const size_t before = FileExists(LogPath()) ? ReadFileBytes(LogPath()).size() : 0;
        const RunResult run = RunWithoutWindow(delivery, "/S /LOG=\"" + copy + "\"");
        EXPECT_TRUE(run.Clean()) << "exit code " << run.exitCode;
        EXPECT_LT(before, ReadFileBytes(LogPath()).size()) << "Installatore.log got nothing";
        Process& removal = StartCommandLine(Program(), "\"" + Program() + "\" /UNINSTALL /S /LOG=\"" + copy + "\"");
        DWORD exitCode = STILL_ACTIVE;
        EXPECT_TRUE(removal.WaitExit(kRunTimeoutMs, &exitCode));
        EXPECT_EQ(kRemoved, exitCode);
        EXPECT_EQ("di un altro", ReadFileBytes(victim));
        EXPECT_EQ(std::vector<std::string>{ "vittima.txt" }, lumo_test::ListEntries(victims.Path()));
    }
}

// The DAO library registered at the end of every folder of FilesToCopy runs
// its code elevated: it is loaded only when no level of its folder chain
// could be changed by a standard user. Wine keeps no access lists and
// reports a descriptor that passes, so the test build hands the check
// descriptors as Windows keeps them; each refusal skips the registration
// with a line, and the exit code stays that of a run that registers.
TEST_F(TrustE2eTest, TheDaoLibraryLoadsOnlyFromFoldersOfAdministrators)
{
    // Only the test build can be handed a descriptor: the name of its
    // variable is not even in the program that ships.
    auto names = [](const std::string& exe) {
        std::string wide;
        for (char c : std::string("LUMO_DESCRITTORI"))
            wide += std::string(1, c) + '\0';
        return ReadFileBytes(exe).find(wide) != std::string::npos;
    };
    EXPECT_TRUE(names(FaultsExe()));
    EXPECT_FALSE(names(ProductExe()));

    const std::string dao = kDaoLibraryPath;
    const std::string folder = dao.substr(0, dao.rfind('\\'));
    const std::string x86 = "C:\\Program Files (x86)";
    const std::string comuni = x86 + "\\File comuni";
    const std::string shared = comuni + "\\microsoft shared";
    ASSERT_EQ(shared + "\\DAO", folder);
    std::vector<std::string> made;
    for (const std::string& level : { comuni, shared, folder }) {
        if (::CreateDirectoryW(Wide(level).c_str(), nullptr))
            made.insert(made.begin(), level);
    }
    const bool there = FileExists(dao);
    const std::string before = there ? ReadFileBytes(dao) : std::string();
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{ [&] {
        if (there)
            WriteFileBytes(dao, before);
        else
            ::DeleteFileW(Wide(dao).c_str());
        for (const std::string& level : made)
            ::RemoveDirectoryW(Wide(level).c_str());
    } };
    lumo_test::CopyComponent(component::kRegisterOk, dao);

    const std::string user = "S-1-5-21-1004336348-1177238915-682003330-1001";
    const std::string root = "O:SYG:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
                             "(A;CI;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)";
    // What a folder an administrator makes at the root inherits.
    const std::string fromRoot = "O:BAG:SYD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIIOID;GA;;;CO)"
                                 "(A;OICIID;0x1200a9;;;BU)(A;CIID;LC;;;AU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)";
    std::string lowerFolder = folder;
    for (char& c : lowerFolder)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    struct Row {
        const char* what;
        std::string given;
        std::string refused;
    } rows[] = {
        { "what Wine reports", "", "" },
        { "the root as Windows keeps it", "C:\\*" + root, "" },
        { "a level a user made", comuni + "*O:" + user + "D:(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;BA)", comuni },
        { "the library's folder open to signed-in users, named in other case, below a root that passes",
          "C:\\*" + root + "|" + lowerFolder + "*" + fromRoot, folder },
        { "a creator owner entry on a level", shared + "*O:BAD:(A;OICI;FA;;;BA)(A;OICI;GA;;;CO)", shared },
        { "no access list on a level", x86 + "*O:BAG:BA", x86 },
    };
    auto delivery = StandardDelivery("LumoInstall.exe", FaultsExe());
    DWORD registrations = 0;
    DWORD exitCode = STILL_ACTIVE;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ::DeleteFileW(Wide(LogPath()).c_str());
        const DWORD counted = lumo_test::RegistrationCount(dao);
        std::vector<std::pair<std::string, std::string>> env;
        if (!row.given.empty())
            env.emplace_back("LUMO_DESCRITTORI", row.given);
        const RunResult run = RunWithoutWindow(*delivery, "/S", env);
        ASSERT_TRUE(run.ended);
        const DWORD added = lumo_test::RegistrationCount(dao) - counted;
        const std::vector<std::string> messages = LogMessages();
        const size_t skipped = std::count(
            messages.begin(), messages.end(),
            "  LA REGISTRAZIONE DI " + dao + " NON E' STATA ESEGUITA: LA CARTELLA " + row.refused +
                " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI");
        if (exitCode == STILL_ACTIVE) {
            // The first run registers once for each folder of FilesToCopy.
            ASSERT_GE(added, 1u);
            registrations = added;
            exitCode = run.exitCode;
            EXPECT_EQ(kSuccess, exitCode);
        }
        EXPECT_EQ(exitCode, run.exitCode);
        EXPECT_EQ(row.refused.empty() ? registrations : 0u, added);
        EXPECT_EQ(row.refused.empty() ? 0u : registrations, skipped);
        if (row.refused.empty()) {
            EXPECT_FALSE(HasLineWith(messages, "NON E' STATA ESEGUITA: LA CARTELLA"));
        }
    }
}

// A lock that another program made first under the lock's name: where the
// system has no private namespace of administrators (Wine), the lock is a
// global name; something of another kind there makes it impossible, and the
// run ends with the reason and 1618 rather than running unguarded.
TEST_F(TrustE2eTest, ALockThatCannotBeMadeEndsTheRunWith1618)
{
    const HANDLE squatter = ::CreateEventW(nullptr, TRUE, FALSE, L"Global\\LumoInstall.Installazione");
    ASSERT_NE(nullptr, squatter);
    Delivery delivery;
    delivery.WriteIni(StandardIni());
    AddAppFiles(delivery, 1, 10);
    lumo_test::TempDir logs("lumo-log");
    const RunResult run = RunWithoutWindow(delivery, "/S /LOG=" + logs / "copia.log");
    ::CloseHandle(squatter);
    EXPECT_EQ(kAlreadyRunning, run.exitCode);
    EXPECT_FALSE(FileExists(AppFileTargets()[0]));
    const std::vector<std::string> lines = lumo_test::SplitLines(ReadFileBytes(logs / "copia.log"));
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("INSTALLAZIONE NON ESEGUITA: IL BLOCCO CHE IMPEDISCE DUE INSTALLAZIONI "
                                               "CONTEMPORANEE NON PUO' ESSERE CREATO (CODICE DI USCITA: 1618)"));
    EXPECT_NE(std::string::npos, lines[1].find("    (errore 6"));
}

} // namespace
