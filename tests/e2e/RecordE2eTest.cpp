// What the machine knows of an installation: the product key's folder, the
// entry of Programs and Features, the record of every file placed, and the
// shared counts of the components, each counted once for the product.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/FileReplace.h"
#include "engine/Rules.h"
#include "framework/MachineChange.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <map>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

class RecordE2eTest : public E2eTest {
protected:
    std::string Ini(const std::string& version) const
    {
        std::string ini = StandardIni();
        return ini.insert(ini.find("[CHIAVI]"), "[PRODOTTO]\r\nNome=Tesmoro " + Unique() + "\r\nVersione=" + version +
                                                    "\r\nProduttore=Pelvora\r\n");
    }

    // The record's lines about files, without the product's.
    std::vector<std::string> RecordLines() const
    {
        std::vector<std::string> lines;
        bool files = false;
        for (const std::string& line :
             lumo_test::SplitLines(ReadFileBytes(RecordPath()))) {
            if (files)
                lines.push_back(line);
            files = files || line == "[FILE]";
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    // The record's file lines without its folders, which depend on what
    // earlier tests left below Program Files.
    std::vector<std::string> RecordFiles() const
    {
        std::vector<std::string> lines = RecordLines();
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.compare(0, 8, "cartella") == 0; }),
                    lines.end());
        return lines;
    }

    // Every value of the product's entry and of its journal, as text.
    std::map<std::string, std::string> EntryValues() const
    {
        std::map<std::string, std::string> values;
        for (const std::string& key : { UninstallKey(), UninstallKey() + "\\LumoGiornale" }) {
            HKEY open = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &open) !=
                ERROR_SUCCESS)
                continue;
            for (DWORD index = 0;; ++index) {
                wchar_t name[512];
                DWORD nameLength = 512;
                BYTE data[4096];
                DWORD size = sizeof(data);
                if (::RegEnumValueW(open, index, name, &nameLength, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
                    break;
                values[key + "\\" + Utf8(name)] = std::string(reinterpret_cast<const char*>(data), size);
            }
            ::RegCloseKey(open);
        }
        return values;
    }

    // A run of the delivery's own program (the test build's, for a seam).
    RunResult Remove(const std::vector<std::pair<std::string, std::string>>& env = {})
    {
        const std::string program = Program();
        Process& process = StartCommandLine(program, "\"" + program + "\" /UNINSTALL /S", env);
        RunResult result;
        result.ended = process.WaitExit(kRunTimeoutMs, &result.exitCode);
        return result;
    }
};

TEST_F(RecordE2eTest, TheMachineKnowsWhatIsInstalledAndCountsEachSharedComponentOnce)
{
    const std::string u = Unique();
    const std::string system = SystemFolder();
    // On the machine before: a newer component counted by another product, an
    // equal one and an older one that nothing counts.
    const std::string counted = Placed(system + "\\" + u + "_contato.dll");
    const std::string equal = Placed(system + "\\" + u + "_uguale.dll");
    const std::string older = Placed(system + "\\" + u + "_vecchio.dll");
    const std::string fresh = Placed(system + "\\" + u + "_nuovo.dll");
    lumo_test::CopyComponent(component::kVer7_0_0_0, counted);
    SetSharedCount(counted, 3);
    lumo_test::CopyComponent(component::kVer1_2_3_4, equal);
    lumo_test::CopyComponent(component::kVer1_2_3_4, older);

    Delivery delivery;
    delivery.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(delivery, 2, 3000);
    for (const auto& [name, built] : std::map<std::string, const char*>{ { "_contato.dll", component::kVer2_0_0_0 },
                                                                         { "_uguale.dll", component::kVer1_2_3_4 },
                                                                         { "_vecchio.dll", component::kVer2_0_0_0 },
                                                                         { "_nuovo.dll", component::kRegisterOk } })
        delivery.AddSysFile(u + name, ReadFileBytes(lumo_test::ComponentPath(built)));
    // The DAO files are shared too; other runs may have counted them already.
    delivery.AddAppFile("DAO2535.TLB", "type library");
    const std::string bin = AppTargetFolder();
    const std::string programFiles = bin.substr(0, bin.rfind("\\Common Files\\"));
    std::vector<std::pair<std::string, long long>> daoExpected;
    // A copy over one that was there before is an update of it.
    std::vector<std::string> daoOrigin;
    for (const char* folder : { "\\Common Files\\microsoft shared\\DAO", "\\File Comuni\\microsoft shared\\DAO" }) {
        const std::string path = programFiles + folder + "\\DAO2535.TLB";
        daoOrigin.push_back(lumo_test::FileExists(path) ? "aggiornato" : "copiato");
        daoExpected.emplace_back(path, Shared(path));
    }

    const RunResult first = RunWithoutWindow(delivery, "/S");
    ASSERT_TRUE(first.Clean()) << "exit code " << first.exitCode;

    const std::string program = Program();
    const std::string entry = UninstallKey();
    EXPECT_EQ(InstallDir(), RegistryText(PathKey(), "InstallationDir"));
    EXPECT_EQ("Tesmoro " + u, RegistryText(entry, "DisplayName"));
    EXPECT_EQ("1.0.0.0", RegistryText(entry, "DisplayVersion"));
    EXPECT_EQ("Pelvora", RegistryText(entry, "Publisher"));
    EXPECT_EQ(InstallDir(), RegistryText(entry, "InstallLocation"));
    EXPECT_EQ(lumo_test::Today(), RegistryText(entry, "InstallDate"));
    EXPECT_EQ("\"" + program + "\" /UNINSTALL", RegistryText(entry, "UninstallString"));
    EXPECT_EQ("\"" + program + "\" /UNINSTALL /S", RegistryText(entry, "QuietUninstallString"));
    EXPECT_EQ(program + ",0", RegistryText(entry, "DisplayIcon"));
    EXPECT_EQ(1, RegistryNumber(entry, "NoModify"));
    EXPECT_EQ(1, RegistryNumber(entry, "NoRepair"));
    // Two application files, the components copied, the DAO copies: some KB.
    EXPECT_GE(RegistryNumber(entry, "EstimatedSize"), 6);
    EXPECT_LT(RegistryNumber(entry, "EstimatedSize"), 1024);
    EXPECT_EQ(ReadFileBytes(ProductExe()), ReadFileBytes(program));

    auto expectCounts = [&] {
        EXPECT_EQ(4, RegistryNumber(kSharedDlls, counted)) << "counted by another product before";
        EXPECT_EQ(2, RegistryNumber(kSharedDlls, equal)) << "there before, without a count";
        EXPECT_EQ(2, RegistryNumber(kSharedDlls, older)) << "replaced, there before without a count";
        EXPECT_EQ(1, RegistryNumber(kSharedDlls, fresh)) << "new on the machine";
        for (const auto& [path, count] : daoExpected)
            EXPECT_EQ(count, RegistryNumber(kSharedDlls, path)) << path;
    };
    expectCounts();
    std::vector<std::string> expected = {
        "sistema | presente | - | contato | " + counted,
        "sistema | presente | - | contato | " + equal,
        "sistema | aggiornato | registrato | contato | " + older,
        "sistema | copiato | registrato | contato | " + fresh,
        "dao | " + daoOrigin[0] + " | - | contato | " + daoExpected[0].first,
        "dao | " + daoOrigin[1] + " | - | contato | " + daoExpected[1].first,
    };
    for (const std::string& path : AppFileTargets())
        expected.push_back("applicativo | copiato | - | - | " + path);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, RecordFiles());

    // The program kept for the removal installs nothing when started as it is.
    Process& kept = StartCommandLine(program, "\"" + program + "\"");
    const MessageBoxState box = WaitForMessageBox(kept, kStartTimeoutMs);
    EXPECT_EQ("Informazioni di installazione non presenti.", box.text);
    PostClick(box.hwnd, IDOK);
    EXPECT_EQ(1619u, ExitCodeOf(kept));

    // The same product again, through the wizard: nothing counted twice, nothing forgotten.
    EXPECT_EQ(0u, RunOnce(delivery));
    expectCounts();
    EXPECT_EQ(expected, RecordFiles());

    // A newer version of the product updates its entry, and still counts nothing twice.
    delivery.WriteIni(Ini("2.0.0.0"));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_EQ("2.0.0.0", RegistryText(entry, "DisplayVersion"));
    expectCounts();
}

// A run that fails (one copy cannot be made) still records what it placed.
TEST_F(RecordE2eTest, ARunThatFailsStillRecordsWhatItPlaced)
{
    Delivery delivery;
    delivery.WriteIni(StandardIni());
    AddAppFiles(delivery, 1, 100);
    // A file where the mirrored folder should be: that copy fails.
    const std::string bin = AppTargetFolder();
    const std::string blocker = Placed(bin.substr(0, bin.rfind("\\Common Files\\")) + "\\" + Unique() + "_bloccata");
    lumo_test::WriteFileBytes(blocker, "not a folder");
    delivery.AddAppFile(Unique() + "_bloccata\\a.txt", "a");

    const RunResult result = RunWithoutWindow(delivery, "/S");
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(1603u, result.exitCode);
    EXPECT_EQ(std::vector<std::string>{ "applicativo | copiato | - | - | " + AppFileTargets()[0] }, RecordFiles());
    EXPECT_EQ(InstallDir(), RegistryText(PathKey(), "InstallationDir"));
    // Without [PRODOTTO] the caption names the product.
    EXPECT_EQ("Installazione Tesmoro (prova)", RegistryText(UninstallKey(), "DisplayName"));
    EXPECT_EQ("(assente)", RegistryText(UninstallKey(), "DisplayVersion"));
}

// A removal that gave the product's count of its own component back and
// then could not unregister it marks the count given back; an installation
// that uses the component again takes the count again, and the removal after
// it gives it back once. A component another product counts keeps its count
// through the same steps.
TEST_F(RecordE2eTest, ACountGivenBackIsTakenAgain)
{
    const std::string own = Placed(SystemFolder() + "\\" + Unique() + "_proprio.dll");
    const std::string shared = Placed(SystemFolder() + "\\" + Unique() + "_condiviso.dll");
    lumo_test::CopyComponent(component::kVer1_2_3_4, shared);
    SetSharedCount(shared, 1);
    Delivery delivery;
    delivery.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(delivery, 1, 100);
    delivery.AddSysFile(Unique() + "_proprio.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
    delivery.AddSysFile(Unique() + "_condiviso.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer1_2_3_4)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    ASSERT_EQ(1, RegistryNumber(kSharedDlls, own));
    ASSERT_EQ(2, RegistryNumber(kSharedDlls, shared));

    // The component changed under it into one that cannot be loaded: once
    // its count is given back it cannot be unregistered, and stays.
    lumo_test::CopyComponent(component::kOtherBitness, own);
    EXPECT_EQ(kFailure, Remove().exitCode);
    EXPECT_EQ(0, RegistryNumber(kSharedDlls, own));
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, shared));
    EXPECT_EQ(std::vector<std::string>{ "sistema | copiato | registrato | rilasciato | " + own }, RecordFiles());

    lumo_test::CopyComponent(component::kRegisterOk, own);
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, own)) << "the count given back was not taken again";
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, shared));
    const std::vector<std::string> reinstalled = RecordFiles();
    EXPECT_EQ(1, std::count(reinstalled.begin(), reinstalled.end(), "sistema | copiato | registrato | contato | " + own));
    // Once taken again, a run after it counts nothing more.
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, own));

    EXPECT_EQ(kRemoved, Remove().exitCode);
    EXPECT_FALSE(FileExists(own)) << "given back other than once: the component stays";
    EXPECT_EQ(-1, RegistryNumber(kSharedDlls, own));
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, shared));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
}

// A removal stopped after it gave a component's count back: the component
// lies in a SYSFILE folder of its own, outside the product's folders, where
// only its count vouched for it. Stopped before the file's deletion (the
// component already unregistered), the next installation registers it again
// and counts it again; stopped once the count went with the file, the next
// removal still knows the path for the product's and finishes.
TEST_F(RecordE2eTest, ARemovalStoppedAfterGivingACountBackLeavesNoRunStuck)
{
    lumo_test::TempDir shared("lumo-condivisi");
    const std::string name = Unique() + "_proprio.dll";
    // The description's folder is read in capitals.
    const std::string own = UpperText(shared.Path()) + "\\" + name;
    Delivery delivery("deliv", "LumoInstall.exe", FaultsExe());
    delivery.WriteIni(Ini("1.0.0.0") + "[SYSFILE]\r\n" + name + "=" + shared.Path() + "|REG\r\n");
    delivery.MakeTrees();
    AddAppFiles(delivery, 1, 100);
    delivery.AddSysFile(name, ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));

    // The operation a removal makes on the component, as the list of a whole
    // removal from the same state numbers it; 0 when it makes none.
    auto stepOf = [&](const std::string& what) {
        lumo_test::TempDir work("lumo-passi");
        const std::string list = work / "passi.txt";
        EXPECT_EQ(kRemoved, Remove({ { "LUMO_STEPS", list } }).exitCode);
        for (const std::string& line : lumo_test::SplitLinesAnyEnd(ReadFileBytes(list))) {
            const size_t tab = line.find('\t');
            if (EqualIgnoringCase(line.substr(tab + 1), what + "\t" + own))
                return std::stoul(line.substr(0, tab));
        }
        return 0ul;
    };
    // Once installed and removed first, every later installation and removal
    // starts from the same machine and makes the same operations.
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    ASSERT_EQ(kRemoved, Remove().exitCode);

    const struct {
        const char* what;
        // The component's operation, and the stop before it (0) or after it (1).
        const char* step;
        unsigned long after;
        // The run that follows the stopped removal; the last run removes.
        bool installsNext;
    } rows[] = {
        { "stopped unregistered before its deletion, then installed", "elimina", 0, true },
        { "stopped after its count went with the file, then removed", "elimina valore", 1, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
        const unsigned long step = stepOf(row.step);
        ASSERT_NE(0ul, step) << "no \"" << row.step << "\" of the component";
        ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
        ASSERT_EQ(1, RegistryNumber(kSharedDlls, own));
        const RunResult stopped = Remove({ { "LUMO_STOP_AT", std::to_string(step + row.after) } });
        ASSERT_EQ(machine::kStoppedExitCode, stopped.exitCode);

        if (row.installsNext) {
            ASSERT_TRUE(FileExists(own));
            ASSERT_EQ(lumo_test::RegistrationCount(own), lumo_test::UnregistrationCount(own));
            EXPECT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
            EXPECT_EQ(1, RegistryNumber(kSharedDlls, own)) << "the count given back was not taken again";
            EXPECT_EQ(lumo_test::RegistrationCount(own), lumo_test::UnregistrationCount(own) + 1)
                << "the component the stopped removal unregistered was not registered again";
        } else {
            ASSERT_FALSE(FileExists(own));
            ASSERT_EQ(-1, RegistryNumber(kSharedDlls, own));
        }
        const RunResult removed = Remove();
        EXPECT_EQ(kRemoved, removed.exitCode) << ::testing::PrintToString(LogMessages());
        EXPECT_FALSE(FileExists(own));
        EXPECT_EQ(-1, RegistryNumber(kSharedDlls, own));
        EXPECT_EQ(lumo_test::RegistrationCount(own), lumo_test::UnregistrationCount(own));
        EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    }
}

// A record that its digest does not vouch for, or that cannot be read, stops
// the installation before anything changes: 1603 and a line saying which
// record and why; the files, the counts, the entry and the record stay as
// they were. Put back, the record is used again.
TEST_F(RecordE2eTest, AnUnusableRecordStopsTheInstallationBeforeAnythingChanges)
{
    const std::string own = SystemFolder() + "\\" + Unique() + "_proprio.dll";
    Placed(own);
    Delivery delivery;
    delivery.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(delivery, 2, 100);
    delivery.AddSysFile(Unique() + "_proprio.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    const std::string sealed = ReadFileBytes(RecordPath());
    // A newer version of the product: a run that went on would write it in the entry.
    delivery.WriteIni(Ini("2.0.0.0"));
    const std::string notTheLast = " NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE: L'INSTALLAZIONE NON E' STATA ESEGUITA";
    const std::string unreadable = " NON PUO' ESSERE LETTO: L'INSTALLAZIONE NON E' STATA ESEGUITA";
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::string line;
        bool heldOpen;
    } rows[] = {
        { "edited", [&] { lumo_test::WriteFileBytes(RecordPath(), sealed + "applicativo | copiato | - | - | C:\\altro.txt\r\n"); },
          notTheLast, false },
        { "cut short", [&] { lumo_test::WriteFileBytes(RecordPath(), sealed.substr(0, sealed.size() / 2)); }, notTheLast,
          false },
        { "emptied", [&] { lumo_test::WriteFileBytes(RecordPath(), ""); }, notTheLast, false },
        { "held open without sharing", [] {}, unreadable, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.spoil();
        const std::string record = FileExists(RecordPath()) ? ReadFileBytes(RecordPath()) : "(none)";
        std::vector<std::string> files;
        for (const std::string& path : AppFileTargets())
            files.push_back(FileExists(path) ? ReadFileBytes(path) : "(none)");
        const std::map<std::string, std::string> entry = EntryValues();
        const long long count = RegistryNumber(kSharedDlls, own);
        const std::string dir = RegistryText(PathKey(), "InstallationDir");
        const size_t logBefore = LogMessages().size();
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.heldOpen)
            held = ::CreateFileW(Wide(RecordPath()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_EQ(row.heldOpen, held != INVALID_HANDLE_VALUE);

        const RunResult run = RunWithoutWindow(delivery, "/S");
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        EXPECT_EQ(kFailure, run.exitCode);
        const std::vector<std::string> log = LogMessages();
        const std::vector<std::string> block(log.begin() + static_cast<std::ptrdiff_t>(logBefore), log.end());
        ASSERT_GE(block.size(), 4u);
        EXPECT_EQ("*****INIZIO INSTALLAZIONE *****", block.front());
        EXPECT_EQ("  L'ELENCO DEI FILE INSTALLATI: " + RecordPath() + row.line, block[2]);
        EXPECT_EQ(row.line == unreadable ? 6u : 5u, block.size()) << "a reason line under the unreadable one only";
        EXPECT_EQ("*****FINE INSTALLAZIONE*****", block[block.size() - 2]);
        EXPECT_EQ("  CODICE DI USCITA: 1603", block.back());
        EXPECT_EQ(record, FileExists(RecordPath()) ? ReadFileBytes(RecordPath()) : "(none)");
        for (size_t i = 0; i < files.size(); ++i)
            EXPECT_EQ(files[i], FileExists(AppFileTargets()[i]) ? ReadFileBytes(AppFileTargets()[i]) : "(none)");
        EXPECT_EQ(entry, EntryValues());
        EXPECT_EQ(count, RegistryNumber(kSharedDlls, own));
        EXPECT_EQ(dir, RegistryText(PathKey(), "InstallationDir"));
        EXPECT_EQ(1u, lumo_test::RegistrationCount(own));
        lumo_test::WriteFileBytes(RecordPath(), sealed);
    }
    // The record the digest vouches for, put back: the run goes on, counting nothing twice.
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, own));
    EXPECT_EQ("2.0.0.0", RegistryText(UninstallKey(), "DisplayVersion"));
}

// A count change whose note cannot be written to the journal is not made:
// the run, or the removal, says so and ends with 1603; the next one, able to
// note it, makes it once. The test build refuses the notes that hold a text.
TEST_F(RecordE2eTest, AChangeThatCannotBeNotedIsNotMade)
{
    const std::string shared = Placed(SystemFolder() + "\\" + Unique() + "_condiviso.dll");
    lumo_test::CopyComponent(component::kVer1_2_3_4, shared);
    SetSharedCount(shared, 1);
    Delivery delivery("deliv", "LumoInstall.exe", FaultsExe());
    delivery.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(delivery, 1, 100);
    delivery.AddSysFile(Unique() + "_condiviso.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer1_2_3_4)));
    const std::vector<std::pair<std::string, std::string>> noCounting = { { "LUMO_GIORNALE_NEGATO", "contando" } };
    const std::string notUpdated = "  IL CONTATORE DEL FILE: " + shared + " NON E' STATO AGGIORNATO";
    auto has = [&](const std::string& line) {
        const std::vector<std::string> log = LogMessages();
        return std::count(log.begin(), log.end(), line);
    };

    EXPECT_EQ(kFailure, RunWithoutWindow(delivery, "/S", noCounting).exitCode);
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, shared)) << "counted without a note";
    EXPECT_EQ(1, has(notUpdated));
    const std::vector<std::string> uncounted = RecordFiles();
    EXPECT_TRUE(std::count(uncounted.begin(), uncounted.end(), "sistema | presente | - | - | " + shared));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, shared));

    EXPECT_EQ(kFailure, Remove({ { "LUMO_GIORNALE_NEGATO", "rilasciando" } }).exitCode);
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, shared)) << "given back without a note";
    EXPECT_EQ(2, has(notUpdated));
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_EQ(kRemoved, Remove().exitCode);
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, shared));
}

// Neither is a copy or a folder that the journal cannot note: a run stopped
// after it would not know it as the product's, and its removal would leave it.
TEST_F(RecordE2eTest, ACopyOrAFolderThatCannotBeNotedIsNotMade)
{
    Delivery delivery("deliv", "LumoInstall.exe", FaultsExe());
    delivery.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(delivery, 2, 100);
    const std::string sub = Unique() + "_cartella";
    delivery.AddAppFile(sub + "\\dentro.dat", "dentro");
    // A subfolder of the delivery's files goes below Program Files, with the same folders below it.
    const std::string bin = "\\Common Files\\Business Objects\\3.0\\bin";
    const std::string folder = AppTargetFolder().substr(0, AppTargetFolder().size() - bin.size()) + "\\" + sub;
    const std::string inside = folder + bin + "\\dentro.dat";
    const std::string other = AppFileTargets()[0];
    struct Row {
        std::string refused; // the journal line refused
        std::string missing; // what the run must not make
        std::string line;    // why the log says it failed
    } rows[] = {
        // The folder first: its file cannot be copied either, and the next run makes both.
        { "cartella | creata | - | - | " + folder, folder, "  LA CARTELLA: " + folder + " NON E' STATA CREATA" },
        { "applicativo | copiato | - | - | " + inside, inside, "  Copia del file: \\dentro.dat NON RIUSCITA!!" },
    };
    auto times = [this](const std::string& line) {
        const std::vector<std::string> log = LogMessages();
        return std::count(log.begin(), log.end(), line);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.refused);
        const auto before = times(row.line);
        EXPECT_EQ(kFailure, RunWithoutWindow(delivery, "/S", { { "LUMO_GIORNALE_NEGATO", row.refused } }).exitCode);
        EXPECT_FALSE(FileExists(row.missing) || lumo_test::DirectoryExists(row.missing)) << "made without a note";
        EXPECT_TRUE(FileExists(other));
        EXPECT_EQ(before + 1, times(row.line));
        const std::vector<std::string> lines = RecordLines();
        EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(row.missing) != std::string::npos;
        })) << "recorded, yet not made";
    }
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    EXPECT_TRUE(FileExists(inside));
    EXPECT_EQ(kRemoved, Remove().exitCode);
    for (const std::string& path : { other, inside, folder })
        EXPECT_FALSE(FileExists(path) || lumo_test::DirectoryExists(path)) << path;
}

// A run stopped between setting a file in use aside and putting the new one
// in its place leaves the target missing and the old file under the aside
// name. Whatever runs next puts the old file back before anything else: a
// removal, which then keeps it as a file that was there before the product,
// and an installation that does not copy that file at all.
TEST_F(RecordE2eTest, AFileSetAsideByAStoppedRunIsPutBackByWhateverRunsNext)
{
    const std::string name = Unique() + "_accanto.dat";
    const std::string target = AppTargetFolder() + "\\" + name;
    const std::string aside = AsidePath(target);
    Placed(target);
    Placed(aside);
    Delivery with("deliv");
    with.WriteIni(Ini("1.0.0.0"));
    AddAppFiles(with, 1, 100);
    with.AddAppFile(name, "del prodotto");
    Delivery without("deliv2");
    without.WriteIni(Ini("1.0.0.0"));
    without.AddAppFile(Unique() + "_altro.dat", "altro");
    Placed(AppTargetFolder() + "\\" + Unique() + "_altro.dat");

    const struct {
        const char* next;
        std::function<RunResult()> run;
    } rows[] = {
        { "a removal", [this] { return RemoveQuietly(); } },
        { "an installation without the file", [&] { return RunWithoutWindow(without, "/S"); } },
    };
    ::SHCreateDirectoryExA(nullptr, AppTargetFolder().c_str(), nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.next);
        lumo_test::WriteFileBytes(target, "dell'utente");
        ASSERT_TRUE(RunWithoutWindow(with, "/S").Clean());
        const std::vector<std::string> lines = RecordLines();
        ASSERT_TRUE(std::count(lines.begin(), lines.end(), "applicativo | preesistente | - | - | " + target));
        // As the stop leaves it: the user's file aside, nothing at its name.
        ASSERT_TRUE(::DeleteFileA(target.c_str()));
        lumo_test::WriteFileBytes(aside, "dell'utente");

        const RunResult next = row.run();
        EXPECT_TRUE(next.Clean()) << next.exitCode;
        EXPECT_EQ("dell'utente", FileExists(target) ? ReadFileBytes(target) : std::string("(missing)"));
        EXPECT_FALSE(FileExists(aside));
    }
    EXPECT_EQ(kRemoved, RemoveQuietly().exitCode);
    EXPECT_EQ("dell'utente", ReadFileBytes(target)) << "there before the product: kept";
}

} // namespace

