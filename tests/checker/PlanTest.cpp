// The plan against the real thing: on this machine, LumoCheck.exe --piano
// names the targets, the copies and the registrations that a run of the
// installer then logs, on the sample delivery and on a delivery whose
// components are newer, older and as new as the machine's. It changes nothing.
#include "checker/CheckRun.h"

#include "TestSupport.h"
#include "components/Components.h"
#include "e2e/E2eTest.h"
#include "engine/Folders.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace lumo_check_test;
using namespace lumo_e2e;
using lumo_test::ComponentPath;
namespace component = lumo_test::component;

namespace {

// Runs its clean-up whatever way the test ends.
class Cleanup {
public:
    ~Cleanup()
    {
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it)
            (*it)();
    }
    void Add(std::function<void()> step) { steps_.push_back(std::move(step)); }

private:
    std::vector<std::function<void()>> steps_;
};

// Copies a folder tree, for a delivery made from the built sample.
void CopyTree(const std::string& from, const std::string& to)
{
    ::CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& name : lumo_test::ListEntries(from)) {
        const std::string source = from + "\\" + name;
        if (lumo_test::DirectoryExists(source))
            CopyTree(source, to + "\\" + name);
        else
            ASSERT_TRUE(::CopyFileA(source.c_str(), (to + "\\" + name).c_str(), FALSE)) << source;
    }
}

// UTF-16 LE with its byte-order mark, as an editor saves "Unicode" text.
std::string Utf16File(const std::string& utf8)
{
    const std::wstring wide = Wide(utf8);
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    return bytes;
}

class PlanTest : public E2eTest {
protected:
    // The Program Files folder the run copies below.
    static std::string ProgramFiles()
    {
        const std::string bin = AppTargetFolder();
        return bin.substr(0, bin.rfind("\\Common Files\\"));
    }

    CheckRun Plan(const Delivery& delivery)
    {
        CheckRun run = RunLumoCheck("--piano \"" + delivery.Folder() + "\"");
        EXPECT_TRUE(run.started && run.ended);
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }

    static std::string Unlistable(const PlanRow& row)
    {
        return "  LA CARTELLA: " + row.unlistable + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI";
    }

    // The log lines of the last run, as the plan says they will be.
    static std::vector<std::string> ExpectedLog(const CheckRun& plan)
    {
        std::vector<std::string> lines = { "*****INIZIO INSTALLAZIONE *****", "*INIZIO COPIA DEI FILES*" };
        for (const PlanRow& row : PlanRows(plan, "FilesToCopy"))
            lines.push_back(row.unlistable.empty() ? "  Copiato il file: " + row.target : Unlistable(row));
        lines.push_back("*FINE COPIA DEI FILES*");
        lines.push_back("*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
        for (const PlanRow& row : PlanRows(plan, "SysFile")) {
            if (!row.unlistable.empty()) {
                lines.push_back(Unlistable(row));
                continue;
            }
            if (row.fields.size() != 4) {
                ADD_FAILURE() << "a system file without its four fields: " << row.source;
                continue;
            }
            if (row.fields[2] == "copia") {
                lines.push_back("  Copiato il file: " + row.target);
                // Every test component reports success.
                if (row.fields[3] == "registra")
                    lines.push_back("  FILE: " + row.target + " REGISTRATO CORRETTAMENTE");
            } else {
                EXPECT_EQ("non copia", row.fields[2]) << row.source;
                EXPECT_EQ("non registra", row.fields[3]) << row.source;
                lines.push_back("  FILE " + row.target +
                                " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ");
            }
        }
        lines.push_back("*FINE COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
        lines.push_back("*****FINE INSTALLAZIONE*****");
        return lines;
    }

    // The messages of the log's last run, without time stamps.
    static std::vector<std::string> LastRun(const std::string& logPath)
    {
        std::vector<std::string> messages;
        for (const std::string& line : lumo_test::SplitLinesAnyEnd(lumo_test::ReadFileBytes(logPath))) {
            std::string message;
            if (!SplitLogLine(line, message))
                continue;
            if (message == "*****INIZIO INSTALLAZIONE *****")
                messages.clear();
            messages.push_back(message);
        }
        return messages;
    }

    void Install(const Delivery& delivery)
    {
        Process* process = nullptr;
        const Wizard wizard = StartWizard(process, delivery);
        ASSERT_TRUE(wizard) << "no wizard";
        ASSERT_NE(nullptr, RunToCompletion(wizard)) << "no completion page";
        PostClick(wizard.Hwnd(), IDCANCEL);
        EXPECT_TRUE(process->WaitExit(kExitTimeoutMs)) << "Fine did not end the program";
    }

    // Plan, run, compare; then a second plan sees what the run left.
    void PlanThenRun(const Delivery& delivery, Cleanup& cleanup)
    {
        const CheckRun plan = Plan(delivery);
        const std::string logPath = PlanValue(plan, "File di log");
        ASSERT_FALSE(logPath.empty());
        for (const PlanRow& row : PlanRows(plan, "FilesToCopy"))
            cleanup.Add([target = row.target] { ::DeleteFileA(target.c_str()); });
        for (const PlanRow& row : PlanRows(plan, "SysFile")) {
            if (row.fields.size() == 4 && row.fields[2] == "copia")
                cleanup.Add([target = row.target] { ::DeleteFileA(target.c_str()); });
        }
        // Whatever an earlier run left there, the test reads only its own run.
        Install(delivery);
        EXPECT_EQ(ExpectedLog(plan), LastRun(logPath));

        const CheckRun after = Plan(delivery);
        EXPECT_EQ(PlanRows(plan, "FilesToCopy").size(), PlanRows(after, "FilesToCopy").size());
        for (const PlanRow& row : PlanRows(after, "SysFile")) {
            if (!row.unlistable.empty())
                continue;
            ASSERT_EQ(4u, row.fields.size()) << row.source;
            EXPECT_EQ("non copia", row.fields[2]) << row.source << ": the run left an older file at " << row.target;
        }
    }
};

TEST_F(PlanTest, PlanNamesTheInstallFolderAndChangesNothing)
{
    Delivery delivery;
    const std::string ownFolder = delivery.Folder() + "\\Condivisi";
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n" + Unique() + "_own.dll=" + ownFolder + "|REG\r\n");
    delivery.AddAppFile(Unique() + ".txt", "dati");
    delivery.AddSysFile(Unique() + "_own.dll", lumo_test::ReadFileBytes(ComponentPath(component::kRegisterOk)));

    CheckRun plan = Plan(delivery);
    EXPECT_EQ(InstallDir() + " (dal file di descrizione: [CHIAVI] InstallationDir)",
              PlanValue(plan, "Cartella di installazione"));
    EXPECT_EQ(LogPath(), PlanValue(plan, "File di log"));
    const std::vector<PlanRow> rows = PlanRows(plan, "SysFile");
    ASSERT_EQ(1u, rows.size());
    // The installer writes an own folder in capitals.
    EXPECT_EQ(UpperText(ownFolder) + "\\" + Unique() + "_own.dll", rows[0].target);
    EXPECT_EQ((std::vector<std::string>{ "versione 1.0.0.0", "sul computer 0.0.0.0", "copia", "registra" }),
              rows[0].fields);
    // Nothing made, nothing copied, nothing registered.
    EXPECT_FALSE(lumo_test::DirectoryExists(InstallDir()));
    EXPECT_FALSE(lumo_test::DirectoryExists(ownFolder));
    EXPECT_FALSE(lumo_test::FileExists(PlanRows(plan, "FilesToCopy").at(0).target));

    // An earlier installation's folder in the registry wins.
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, PathKey(), "Other", "x");
    plan = Plan(delivery);
    EXPECT_EQ(InstallDir() + " (dal file di descrizione: [CHIAVI] InstallationDir; la chiave HKEY_LOCAL_MACHINE\\" +
                  PathKey() + " non ha il valore InstallationDir)",
              PlanValue(plan, "Cartella di installazione"));
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, PathKey(), "InstallationDir", "C:\\Precedente");
    plan = Plan(delivery);
    EXPECT_EQ("C:\\Precedente (dal registro: HKEY_LOCAL_MACHINE\\" + PathKey() + ", valore InstallationDir)",
              PlanValue(plan, "Cartella di installazione"));
    EXPECT_EQ("C:\\Precedente\\Installatore.log", PlanValue(plan, "File di log"));

    // Without Installatore.ini the installer does nothing.
    ::DeleteFileA((delivery.Folder() + "\\Installatore.ini").c_str());
    const CheckRun none = RunLumoCheck("--piano \"" + delivery.Folder() + "\"");
    ASSERT_TRUE(none.ended);
    EXPECT_EQ(2u, none.exitCode);
    ASSERT_EQ(2u, none.lines.size());
    EXPECT_NE(std::string::npos, none.lines[1].find("\"Informazioni di installazione non presenti.\""));
}

TEST_F(PlanTest, PlanMatchesARunOfTheSampleDelivery)
{
    Delivery delivery;
    CopyTree(LUMO_SAMPLE_DELIVERY_DIR, delivery.Folder());
    Cleanup cleanup;
    // The sample's own folders and the keys its components write, unless
    // they were there before.
    for (const std::string& folder : { std::string("C:\\Pelvora"), ProgramFiles() + "\\Report" }) {
        if (!lumo_test::DirectoryExists(folder))
            cleanup.Add([folder] { lumo_test::RemoveTree(folder); });
    }
    cleanup.Add([] { lumo_test::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Pelvora\\Tesmoro\\Componenti"); });
    PlanThenRun(delivery, cleanup);
}

TEST_F(PlanTest, PlanMatchesARunWithNewerAndOlderComponents)
{
    bool fellBack = false;
    const std::string system = GetSystemX86Dir(fellBack);
    const std::string windows = GetWindowsDir();
    lumo_test::TempDir own("lumo-plan-own");
    const std::string u = Unique();
    Cleanup cleanup;
    auto onMachine = [&](const std::string& path, const char* componentName) {
        lumo_test::CopyComponent(componentName, path);
        cleanup.Add([path] { ::DeleteFileA(path.c_str()); });
    };
    onMachine(system + "\\" + u + "_newer.dll", component::kVer1_9_9_9);
    onMachine(system + "\\" + u + "_older.dll", component::kVer1_2_3_5);
    onMachine(system + "\\" + u + "_equal.dll", component::kVer6_2_0_0);
    onMachine(windows + "\\" + u + "_win.dll", component::kVer1_2_3_4);
    // The run mirrors every SysFile folder, also for files sent elsewhere.
    cleanup.Add([&] {
        ::DeleteFileA((windows + "\\" + u + "_twin.dll").c_str());
        for (const char* folder : { "\\Sub", "\\A", "\\B" })
            lumo_test::RemoveTree(system + folder + u);
    });

    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n" +
                      u + "_older.dll=SYSPATH|REG\r\n" +
                      u + "_absent.dll=SYSPATH|\r\n" +
                      u + "_win.dll=WINPATH|REG\r\n" +
                      u + "_own.dll=" + own.Path() + "\\Condivisi|REG\r\n" +
                      u + "_twin.dll=WINPATH|\r\n");
    AddAppFiles(delivery, 2, 100);
    delivery.AddAppFile("Report" + u + "\\" + u + "_modelli.txt", "modelli");
    auto add = [&](const std::string& relative, const char* componentName) {
        delivery.AddSysFile(relative, lumo_test::ReadFileBytes(ComponentPath(componentName)));
    };
    add(u + "_newer.dll", component::kVer2_0_0_0);
    add(u + "_older.dll", component::kVer1_2_3_4);
    add(u + "_equal.dll", component::kVer6_2_0_0);
    add(u + "_absent.dll", component::kVer7_0_0_0);
    add(u + "_win.dll", component::kVer1_2_3_5);
    add(u + "_own.dll", component::kRegisterOk);
    add(u + "_nover.dll", component::kNoVersion);
    add("Sub" + u + "\\" + u + "_deep.dll", component::kVer1_2_3_4);
    // One target for two files: which comes first is the file system's
    // order, and the plan must follow it as the run does.
    add("A" + u + "\\" + u + "_twin.dll", component::kVer1_2_3_4);
    add("B" + u + "\\" + u + "_twin.dll", component::kVer2_0_0_0);
    // A folder too deep to list: the run logs it, and mirrors the folders
    // above it into the system folder.
    const std::string chain = MakeUnlistableFolder(delivery.Folder() + "\\SysFile");
    // Before the delivery's folder goes, which cannot remove so deep a tree.
    Cleanup deepCleanup;
    deepCleanup.Add([&, chain] {
        RemoveDeepFolder(delivery.Folder() + "\\SysFile", chain);
        RemoveDeepFolder(system, chain);
    });
    cleanup.Add([path = ProgramFiles() + "\\Report" + u] { lumo_test::RemoveTree(path); });

    // The decisions this machine calls for, before the run compares them.
    const CheckRun plan = Plan(delivery);
    const std::vector<PlanRow> rows = PlanRows(plan, "SysFile");
    auto row = [&](const std::string& relative) {
        for (const PlanRow& r : rows)
            if (r.source == "SysFile\\" + relative)
                return r;
        ADD_FAILURE() << "no plan line for " << relative;
        return PlanRow{};
    };
    using Fields = std::vector<std::string>;
    EXPECT_EQ((Fields{ "versione 2.0.0.0", "sul computer 1.9.9.9", "copia", "registra" }),
              row(u + "_newer.dll").fields);
    EXPECT_EQ((Fields{ "versione 1.2.3.4", "sul computer 1.2.3.5", "non copia", "non registra" }),
              row(u + "_older.dll").fields);
    EXPECT_EQ((Fields{ "versione 6.2.0.0", "sul computer 6.2.0.0", "non copia", "non registra" }),
              row(u + "_equal.dll").fields);
    EXPECT_EQ((Fields{ "versione 7.0.0.0", "sul computer 0.0.0.0", "copia", "non registra" }),
              row(u + "_absent.dll").fields);
    EXPECT_EQ(windows + "\\" + u + "_win.dll", row(u + "_win.dll").target);
    EXPECT_EQ((Fields{ "versione 0.0.0.0", "sul computer 0.0.0.0", "non copia", "non registra" }),
              row(u + "_nover.dll").fields);
    EXPECT_EQ(system + "\\Sub" + u + "\\" + u + "_deep.dll", row("Sub" + u + "\\" + u + "_deep.dll").target);
    EXPECT_EQ(delivery.Folder() + "\\SysFile\\" + chain, row(chain).unlistable);

    PlanThenRun(delivery, cleanup);
}

// Names that Windows-1252 cannot hold (Greek, Cyrillic, CJK), at several
// depths of both passes, a folder of such a name, two names that differ only
// by such a character, and components routed and registered through an entry
// of a UTF-16 description file: each file lands under its own name with its
// own bytes, each component is registered, the log writes "?" for what it
// cannot hold, the plan matches the run, and the checker warns of the names.
TEST_F(PlanTest, NamesBeyondTheCodePageAreInstalledUnderTheirOwnNames)
{
    const std::string u = Unique();
    bool fellBack = false;
    const std::string system = GetSystemX86Dir(fellBack);
    lumo_test::TempDir own("lumo-plan-own");
    const std::string ownFolder = own.Path() + "\\Κοινά";
    Cleanup cleanup;

    Delivery delivery;
    const std::pair<std::string, std::string> appFiles[] = {
        { u + "_Ω.dll", "omega" },
        { u + "_日本.txt", "nihon" },
        { u + "_Отчёт.txt", "otchet" },
        { u + "_Ω.cfg", "omega cfg" },
        { u + "_O.cfg", "o cfg" },
        { "Ωdir" + u + "\\α.txt", "alpha" },
        { "Ωdir" + u + "\\β.txt", "beta" },
        { "Ωdir" + u + "\\Папка\\深い.txt", "fukai" },
    };
    // The run puts each file into the shared folder of its mirrored folder.
    auto appTarget = [&](const std::string& relative) {
        const size_t slash = relative.rfind('\\');
        const std::string folder = slash == std::string::npos ? "" : "\\" + relative.substr(0, slash);
        return ProgramFiles() + folder + "\\Common Files\\Business Objects\\3.0\\bin\\" +
               relative.substr(slash == std::string::npos ? 0 : slash + 1);
    };
    for (const auto& file : appFiles) {
        delivery.AddAppFile(file.first, file.second);
        cleanup.Add([path = appTarget(file.first)] { ::DeleteFileW(Wide(path).c_str()); });
    }
    cleanup.Add([path = ProgramFiles() + "\\Ωdir" + u] { lumo_test::RemoveTree(path); });

    const std::string routed = UpperText(ownFolder) + "\\" + u + "_Ωcomp.dll";
    const std::string mirrored = system + "\\Σύστημα" + u + "\\" + u + "_Жcomp.dll";
    delivery.AddSysFile(u + "_Ωcomp.dll", lumo_test::ReadFileBytes(ComponentPath(component::kVer1_2_3_4)));
    delivery.AddSysFile("Σύστημα" + u + "\\" + u + "_Жcomp.dll",
                        lumo_test::ReadFileBytes(ComponentPath(component::kRegisterOk)));
    cleanup.Add([path = system + "\\Σύστημα" + u] { lumo_test::RemoveTree(path); });
    delivery.WriteIni(Utf16File(StandardIni() + "[SYSFILE]\r\n" + u + "_Ωcomp.dll=" + ownFolder + "|REG\r\n"));

    const CheckRun plan = Plan(delivery);
    const RunResult result = RunWithoutWindow(delivery, "/S");
    ASSERT_TRUE(result.Clean()) << "exit code " << result.exitCode;

    for (const auto& file : appFiles)
        EXPECT_EQ(file.second, lumo_test::ReadFileBytes(appTarget(file.first))) << file.first;
    for (const std::string& component : { routed, mirrored }) {
        EXPECT_TRUE(lumo_test::FileExists(component)) << component;
        EXPECT_EQ(1u, lumo_test::RegistrationCount(component)) << component;
    }

    // The log holds Windows-1252: each character it cannot hold is a "?",
    // never a look-alike.
    const std::vector<std::string> log = LastRun(LogPath());
    EXPECT_EQ(ExpectedLog(plan), log);
    for (const std::string& line :
         { "  Copiato il file: " + AppTargetFolder() + "\\" + u + "_?.dll",
           "  Copiato il file: " + AppTargetFolder() + "\\" + u + "_?.cfg",
           "  Copiato il file: " + AppTargetFolder() + "\\" + u + "_O.cfg",
           "  FILE: " + ToWindows1252(mirrored) + " REGISTRATO CORRETTAMENTE" })
        EXPECT_EQ(1, std::count(log.begin(), log.end(), line)) << line;
    EXPECT_NE(std::string::npos, ToWindows1252(mirrored).find("\\???????" + u + "\\" + u + "_?comp.dll"));

    // The checker names each file the log will show with "?".
    const CheckRun check = RunLumoCheck("\"" + delivery.Folder() + "\"");
    size_t warned = 0;
    for (const FindingLine& finding : Findings(check))
        warned += finding.code == "LC020" && finding.severity == "AVVISO" ? 1 : 0;
    EXPECT_EQ(9u, warned);
}

} // namespace
