// What a standard user can reach before or after an installation, tried as
// they would: plant names where the program works, make a folder on its way
// first, swap a folder after it. A distribution system runs the program and
// the entry's removal command as SYSTEM, so each attack must end with no file
// of the user's run, nothing outside the product written, and the documented
// exit code.
//
// Wine runs every program as one identity and reports one descriptor, owned
// by that identity, for every file and folder: a folder a user made looks
// like any other there. The attacks that rest on who owns a folder hand the
// test build a real Windows descriptor for that folder (LUMO_DESCRITTORI);
// everything else is done to the real file system.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <functional>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::WriteFileBytes;
namespace component = lumo_test::component;

namespace {

// A folder made by a signed-in user at the root of a drive: the user owns it,
// and what it inherits gives them full control.
constexpr char kUserFolderSddl[] =
    "O:S-1-5-21-1004336348-1177238915-682003330-1001D:(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1001)"
    "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

void MakeFolders(const std::string& path)
{
    ::SHCreateDirectoryExW(nullptr, Wide(path).c_str(), nullptr);
}

class StandardUserE2eTest : public E2eTest {
protected:
    // The entry's silent removal, as a distribution system starts it.
    RunResult RemoveAsTheEntrySays()
    {
        const std::string command = RegistryText(UninstallKey(), "QuietUninstallString");
        EXPECT_EQ("\"" + Program() + "\" /UNINSTALL /S", command);
        return RemoveQuietly();
    }
};

// Each row plants or prepares something, runs the installation (and, when it
// installed, the entry's removal) and checks its outcome. victim is a file of
// someone else's outside the product; user a program of the user's own.
TEST_F(StandardUserE2eTest, NothingAUserPlantsIsRunOrWrittenThrough)
{
    lumo_test::TempDir outside("lumo-fuori");
    const std::string victim = outside / "vittima.txt";
    const std::string userProgram = outside / "utente.exe";
    const std::string condivisi = outside / "Condivisi";
    const std::string component = Unique() + "_ui.dll";
    const std::string copy = outside / "copia.log";

    struct Row {
        const char* what;
        std::function<void()> plant;
        // The description file's SYSFILE lines.
        std::string sysFile;
        // LUMO_DESCRITTORI for the test build; empty runs the shipped program.
        std::function<std::string()> descriptors;
        DWORD installExit;
        // A line the installation must write (the log, or the /LOG copy when
        // it did not start); empty for none.
        std::function<std::string()> line;
        // The product is installed (with its entry), to be removed then.
        bool installs;
        // After the installation, before the removal.
        std::function<void()> afterInstall;
        DWORD removalExit;
        // InstallationDir as the description file writes it; empty for the usual one.
        std::function<std::string()> installationDir;
    };
    const std::string parent = InstallDir().substr(0, InstallDir().rfind('\\'));
    const Row rows[] = {
        { "a folder in the place of the record's new copy, where an earlier version kept it",
          [&] { MakeFolders(InstallDir() + "\\Installatore-elenco.txt.nuovo"); }, "", nullptr,
          kSuccess, nullptr, true, nullptr, kRemoved, nullptr },
        { "a folder in the place of the program's copy, where an earlier version kept it",
          [&] { MakeFolders(InstallDir() + "\\LumoInstall.exe"); }, "", nullptr, kSuccess, nullptr,
          true, nullptr, kRemoved, nullptr },
        { "the installation folder renamed away after the installation, and the user's program in its place",
          nullptr, "", nullptr, kSuccess, nullptr, true,
          [&] {
              ASSERT_TRUE(::MoveFileW(Wide(InstallDir()).c_str(), Wide(InstallDir() + ".via").c_str()));
              MakeFolders(InstallDir());
              WriteFileBytes(InstallDir() + "\\LumoInstall.exe", ReadFileBytes(userProgram));
          },
          kRemoved, nullptr },
        { "a parent of the installation folder made by a user", nullptr, "",
          [&] { return parent + "*" + kUserFolderSddl; }, kFailure,
          [&] {
              return "INSTALLAZIONE NON ESEGUITA: LA CARTELLA " + parent +
                     " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI (CODICE DI USCITA: 1603)";
          },
          false, nullptr, 0, nullptr },
        { "a SYSFILE folder made by a user", [&] { MakeFolders(condivisi); },
          component + "=" + condivisi + "|REG\r\n", [&] { return condivisi + "*" + kUserFolderSddl; }, kFailure,
          [&] {
              // The description file's folder is read in capitals.
              return "  IL FILE: " + UpperText(condivisi) + "\\" + component +
                     " NON E' STATO COPIATO NE' REGISTRATO: LA CARTELLA " + UpperText(condivisi) +
                     " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI";
          },
          true, nullptr, kRemoved, nullptr },
        { "an installation folder written with other separators, dots and blanks", nullptr, "", nullptr, kSuccess,
          nullptr, true, nullptr, kRemoved,
          [&] {
              std::string written = InstallDir() + "\\..\\Tesmoro. \\";
              std::replace(written.begin(), written.end(), '\\', '/');
              return written;
          } },
        { "an installation folder on a network share", nullptr, "", nullptr, kFailure,
          [] {
              return std::string("INSTALLAZIONE NON ESEGUITA: LA CARTELLA DI INSTALLAZIONE \\\\server\\condivisa\\Tesmoro NON "
                                 "E' UN PERCORSO COMPLETO DI UN'UNITA' LOCALE (CODICE DI USCITA: 1603)");
          },
          false, nullptr, 0, [] { return std::string("\\\\server\\condivisa\\Tesmoro"); } },
        { "a relative installation folder", nullptr, "", nullptr, kFailure,
          [] { return std::string("LA CARTELLA DI INSTALLAZIONE Pelvora\\Tesmoro NON E' UN PERCORSO COMPLETO"); },
          false, nullptr, 0, [] { return std::string("Pelvora\\Tesmoro"); } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFileBytes(victim, "di un altro");
        WriteFileBytes(userProgram, "MZ del programma dell'utente");
        ::DeleteFileW(Wide(copy).c_str());
        if (row.plant)
            row.plant();

        Delivery delivery("deliv", "LumoInstall.exe", row.descriptors ? FaultsExe() : ProductExe());
        std::string ini = StandardIni() + "[SYSFILE]\r\n" + row.sysFile;
        if (row.installationDir) {
            const size_t at = ini.find("InstallationDir=");
            ini.replace(at, ini.find("\r\n", at) - at, "InstallationDir=" + row.installationDir());
        }
        delivery.WriteIni(ini);
        delivery.MakeTrees();
        AddAppFiles(delivery, 1, 100);
        delivery.AddSysFile(component, ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
        std::vector<std::pair<std::string, std::string>> env;
        if (row.descriptors)
            env.emplace_back("LUMO_DESCRITTORI", row.descriptors());
        const RunResult installed = RunWithoutWindow(delivery, "/S /LOG=" + copy, env);
        EXPECT_TRUE(installed.ended);
        EXPECT_EQ(row.installExit, installed.exitCode);
        if (row.line) {
            EXPECT_TRUE(HasLineWith(lumo_test::SplitLines(ReadFileBytes(copy)), row.line())) << row.line();
        }
        EXPECT_EQ("di un altro", ReadFileBytes(victim));
        EXPECT_EQ(0u, lumo_test::RegistrationCount(condivisi + "\\" + component)) << "a component ran from the user's folder";
        EXPECT_FALSE(FileExists(condivisi + "\\" + component));

        if (row.installs) {
            // The entry starts the program in the home below Program Files,
            // whatever the user did to the installation folder.
            EXPECT_EQ(0u, Program().find(HomeRoot() + "\\"));
            // One form of the folder wherever it is recorded.
            EXPECT_EQ(InstallDir(), RegistryText(UninstallKey(), "InstallLocation"));
            EXPECT_EQ(InstallDir(), RegistryText(PathKey(), "InstallationDir"));
            if (row.afterInstall)
                row.afterInstall();
            const RunResult removed = RemoveAsTheEntrySays();
            EXPECT_TRUE(removed.ended);
            EXPECT_EQ(row.removalExit, removed.exitCode);
            EXPECT_FALSE(FileExists(AppFileTargets()[0]));
            EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
            EXPECT_EQ("MZ del programma dell'utente", ReadFileBytes(userProgram));
        } else {
            // Refused before anything: no folder, no file, no entry.
            EXPECT_FALSE(lumo_test::DirectoryExists(InstallDir()));
            EXPECT_FALSE(FileExists(AppFileTargets()[0]));
            EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
        }
        EXPECT_EQ("di un altro", ReadFileBytes(victim));

        // The next row starts from a machine without the product.
        RemoveInstalledAppFiles();
        lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, UninstallKey());
        lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, PathKey());
        lumo_test::RemoveTree(HomeDir());
        lumo_test::RemoveTree(InstallDir());
        lumo_test::RemoveTree(InstallDir() + ".via");
        lumo_test::RemoveTree(condivisi);
        ::DeleteFileW(Wide(SystemFolder() + "\\" + component).c_str());
        lumo_test::RemoveSharedCount(SystemFolder() + "\\" + component);
    }
}

// A SYSFILE folder that only administrators could change at the
// installation, and that a user could change by the removal: the removal
// does not run the component's DllUnregisterServer from it, keeps it, says
// why and ends with 1603; the entry stays for another try once the folder
// is mended.
TEST_F(StandardUserE2eTest, TheRemovalRunsNoCodeFromAFolderUsersCouldChange)
{
    lumo_test::TempDir outside("lumo-fuori");
    const std::string condivisi = outside / "Condivisi";
    const std::string component = Unique() + "_ui.dll";
    const std::string installed = UpperText(condivisi) + "\\" + component;
    Delivery delivery("deliv", "LumoInstall.exe", FaultsExe());
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n" + component + "=" + condivisi + "|REG\r\n");
    delivery.MakeTrees();
    AddAppFiles(delivery, 1, 100);
    delivery.AddSysFile(component, ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    ASSERT_EQ(1u, lumo_test::RegistrationCount(installed));

    // The entry's program is the test build's copy: it takes the descriptor too.
    const RunResult refused = RemoveQuietly({ { "LUMO_DESCRITTORI", condivisi + "*" + kUserFolderSddl } });
    EXPECT_TRUE(refused.ended);
    EXPECT_EQ(kFailure, refused.exitCode);
    EXPECT_TRUE(HasLineWith(LogMessages(), "  IL PERCORSO: " + installed + " NON E' STATO TOCCATO: LA CARTELLA " +
                                            UpperText(condivisi) + " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI"));
    EXPECT_EQ(0u, lumo_test::UnregistrationCount(installed));
    EXPECT_TRUE(FileExists(installed));
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));

    // Mended: the next removal finishes, and gives the count back once.
    const RunResult finished = RemoveAsTheEntrySays();
    EXPECT_TRUE(finished.ended);
    EXPECT_EQ(kRemoved, finished.exitCode);
    EXPECT_EQ(1u, lumo_test::UnregistrationCount(installed));
    EXPECT_FALSE(FileExists(installed));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
}

} // namespace
