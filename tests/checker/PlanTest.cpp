// The plan against the real thing: on this machine, LumoCheck.exe --piano
// names the targets, the copies and the registrations that a run of the
// installer then logs, on the sample delivery and on a delivery whose
// components are newer, older and as new as the machine's. It changes nothing.
#include "checker/CheckRun.h"

#include "CraftedImages.h"
#include "TestSupport.h"
#include "components/Components.h"
#include "e2e/E2eTest.h"
#include "engine/Folders.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace lumo_check_test;
using namespace lumo_e2e;
using lumo_test::ComponentPath;
namespace component = lumo_test::component;

namespace {

// The four fields that every system file has, without what the plan adds.
std::vector<std::string> Head(const PlanRow& row)
{
    return std::vector<std::string>(row.fields.begin(), row.fields.begin() + std::min<size_t>(4, row.fields.size()));
}

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

constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A value of the 32-bit view of HKEY_LOCAL_MACHINE as the plan writes it: a
// number in decimals, a text as it is; REG_NONE when it is not there.
struct RegistryRead {
    DWORD type = REG_NONE;
    std::string text;
};

RegistryRead ReadMachineValue(const std::string& key, const std::string& name)
{
    RegistryRead read;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) !=
        ERROR_SUCCESS)
        return read;
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(opened, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        read.type = type;
        DWORD number = 0;
        std::memcpy(&number, data, sizeof(number));
        read.text = type == REG_DWORD ? std::to_string(number) : type == REG_SZ ? Utf8(data) : "?";
    }
    ::RegCloseKey(opened);
    return read;
}

// Sets a shared count as read: a number, or no value at all.
void SetSharedCount(const std::string& path, const RegistryRead& count)
{
    if (count.type == REG_DWORD) {
        const DWORD value = static_cast<DWORD>(std::stoul(count.text));
        lumo_test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kSharedDlls, path, REG_DWORD,
                                      std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
        return;
    }
    lumo_test::RemoveSharedCount(path);
}

class PlanTest : public E2eTest {
protected:
    // The Program Files folder the run copies below.
    static std::string ProgramFiles()
    {
        const std::string bin = AppTargetFolder();
        return bin.substr(0, bin.rfind("\\Common Files\\"));
    }

    // The plan exits 2 exactly when it predicts a failed run.
    CheckRun Plan(const Delivery& delivery)
    {
        CheckRun run = RunLumoCheck("--piano \"" + delivery.Folder() + "\"");
        EXPECT_TRUE(run.started && run.ended) << "start error " << run.startError;
        const std::string outcome = PlanValue(run, "Esito previsto");
        EXPECT_FALSE(outcome.empty());
        EXPECT_EQ(outcome.rfind("1603", 0) == 0 ? 2u : 0u, run.exitCode) << outcome;
        return run;
    }

    static bool Says(const PlanRow& row, const std::string& text)
    {
        for (const std::string& field : row.fields)
            if (field.find(text) != std::string::npos)
                return true;
        return false;
    }

    // The plan judges as the installer that ships, a 32-bit program, which
    // cannot load a 64-bit component; the 64-bit test build's installer loads
    // the test components of its own bitness.
    static bool TestBuildLoads(const PlanRow& row)
    {
        return sizeof(void*) == 8 && Says(row, "\xE8 a 64 bit");
    }

    static std::string Unlistable(const PlanRow& row)
    {
        return "  LA CARTELLA: " + row.unlistable + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI";
    }

    // The log lines of the last run, as the plan says they will be.
    static std::vector<std::string> ExpectedLog(const CheckRun& plan, const std::string& deliveryFolder)
    {
        std::vector<std::string> lines = { "*****INIZIO INSTALLAZIONE *****", "*INIZIO COPIA DEI FILES*" };
        const std::string inUse =
            " ERA IN USO: E' STATO SOSTITUITO, LA VERSIONE PRECEDENTE SARA' ELIMINATA AL RIAVVIO DEL COMPUTER";
        for (const PlanRow& row : PlanRows(plan, "FilesToCopy")) {
            if (!row.unlistable.empty()) {
                lines.push_back(Unlistable(row));
            } else if (Says(row, "la copia non riuscir")) {
                lines.push_back("  Copia del file: " + row.target.substr(row.target.rfind('\\')) + " NON RIUSCITA!!");
            } else {
                lines.push_back("  Copiato il file: " + row.target);
                if (Says(row, "caricato da questa installazione"))
                    lines.push_back("  IL FILE: " + row.target + inUse);
            }
        }
        lines.push_back("*FINE COPIA DEI FILES*");
        lines.push_back("*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
        for (const PlanRow& row : PlanRows(plan, "SysFile")) {
            if (!row.unlistable.empty()) {
                lines.push_back(Unlistable(row));
                continue;
            }
            if (row.fields.size() < 4) {
                ADD_FAILURE() << "a system file without its four fields: " << row.source;
                continue;
            }
            if (row.fields[2] == "non copia: versione illeggibile, non riuscirebbe") {
                lines.push_back(UnreadableVersionLine(deliveryFolder + "\\" + row.source, row.target));
                continue;
            }
            if (row.fields[2] != "copia") {
                EXPECT_EQ("non copia", row.fields[2]) << row.source;
                EXPECT_EQ("non registra", row.fields[3]) << row.source;
                lines.push_back("  FILE " + row.target +
                                " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ");
                continue;
            }
            if (Says(row, "la copia non riuscir")) {
                lines.push_back("  Copia del file: " + row.target + " NON RIUSCITA!!");
            } else {
                lines.push_back("  Copiato il file: " + row.target);
                if (Says(row, "caricato da questa installazione"))
                    lines.push_back("  IL FILE: " + row.target + inUse);
            }
            if (row.fields[3] != "registra")
                continue;
            // Every test component's DllRegisterServer reports success.
            if (Says(row, "non esporta DllRegisterServer"))
                lines.push_back("  PER IL FILE DA REGISTRARE: " + row.target +
                                " NON E' STATO TROVATO IL PUNTO DI INGRESSO");
            else if (Says(row, "NON PUO' ESSERE CARICATO") && !TestBuildLoads(row))
                lines.push_back("  IL FILE: " + row.target + " NON PUO' ESSERE CARICATO E QUINDI REGISTRATO");
            else
                lines.push_back("  FILE: " + row.target + " REGISTRATO CORRETTAMENTE");
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
            // The command line, a failure's reason and the exit code are no
            // part of the plan.
            if (message.rfind("  RIGA DI COMANDO: ", 0) == 0 || message.rfind("    (errore ", 0) == 0 ||
                message.rfind("  CODICE DI USCITA: ", 0) == 0)
                continue;
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

    // The shared counts a run will write go back as they are now, so that
    // no later test meets them.
    static void KeepCounts(const CheckRun& plan, Cleanup& cleanup)
    {
        for (const PlanRegistryValue& value : PlanRegistry(plan)) {
            if (value.key == kSharedDlls)
                cleanup.Add([name = value.name, before = ReadMachineValue(kSharedDlls, value.name)] {
                    SetSharedCount(name, before);
                });
        }
    }

    // Plan, run, compare; then a second plan sees what the run left.
    void PlanThenRun(const Delivery& delivery, Cleanup& cleanup)
    {
        const CheckRun plan = Plan(delivery);
        KeepCounts(plan, cleanup);
        const std::string logPath = PlanValue(plan, "File di log");
        ASSERT_FALSE(logPath.empty());
        for (const PlanRow& row : PlanRows(plan, "FilesToCopy"))
            cleanup.Add([target = row.target] { ::DeleteFileA(target.c_str()); });
        for (const PlanRow& row : PlanRows(plan, "SysFile")) {
            if (row.fields.size() >= 4 && row.fields[2] == "copia")
                cleanup.Add([target = row.target] { ::DeleteFileA(target.c_str()); });
        }
        // Whatever an earlier run left there, the test reads only its own run.
        Install(delivery);
        EXPECT_EQ(ExpectedLog(plan, delivery.Folder()), LastRun(logPath));

        const CheckRun after = Plan(delivery);
        EXPECT_EQ(PlanRows(plan, "FilesToCopy").size(), PlanRows(after, "FilesToCopy").size());
        for (const PlanRow& row : PlanRows(after, "SysFile")) {
            if (!row.unlistable.empty())
                continue;
            ASSERT_LE(4u, row.fields.size()) << row.source;
            EXPECT_EQ(0u, row.fields[2].rfind("non copia", 0))
                << row.source << ": the run left an older file at " << row.target;
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
              Head(rows[0]));
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
    // And what the run records of the product.
    for (const char* key :
         { "Software\\Pelvora", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelvora.Tesmoro" }) {
        if (!lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, key))
            cleanup.Add([key] { lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, key); });
    }
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
    add(u + "_notrans.dll", component::kNoTranslation);
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
              Head(row(u + "_newer.dll")));
    EXPECT_EQ((Fields{ "versione 1.2.3.4", "sul computer 1.2.3.5", "non copia", "non registra" }),
              Head(row(u + "_older.dll")));
    EXPECT_EQ((Fields{ "versione 6.2.0.0", "sul computer 6.2.0.0", "non copia", "non registra" }),
              Head(row(u + "_equal.dll")));
    EXPECT_EQ((Fields{ "versione 7.0.0.0", "sul computer 0.0.0.0", "copia", "non registra" }),
              Head(row(u + "_absent.dll")));
    EXPECT_EQ(windows + "\\" + u + "_win.dll", row(u + "_win.dll").target);
    EXPECT_EQ((Fields{ "versione 0.0.0.0", "sul computer 0.0.0.0", "non copia", "non registra" }),
              Head(row(u + "_nover.dll")));
    // A version that cannot be read fails the run: the plan says so.
    EXPECT_EQ((Fields{ "versione 0.0.0.0", "sul computer 0.0.0.0", "non copia: versione illeggibile, non riuscirebbe",
                       "non registra" }),
              Head(row(u + "_notrans.dll")));
    EXPECT_EQ(system + "\\Sub" + u + "\\" + u + "_deep.dll", row("Sub" + u + "\\" + u + "_deep.dll").target);
    EXPECT_EQ(delivery.Folder() + "\\SysFile\\" + chain, row(chain).unlistable);

    PlanThenRun(delivery, cleanup);
}

// The registry section against the real thing: a silent run writes every
// value and shared count the plan names, with the plan's value, for a
// component counted by another product, one there without a count (found
// equal, and replaced), a new one and the two DAO copies; the plan after the
// run says that no count changes, and a run that no longer names the
// publisher removes it.
TEST_F(PlanTest, PlanNamesTheRegistryValuesARunWrites)
{
    bool fellBack = false;
    const std::string system = GetSystemX86Dir(fellBack);
    const std::string u = Unique();
    const std::string shared = std::string(kSharedDlls) + " | ";
    const std::string unowned = " (il file c'\xE8 gi\xE0 senza contatore: chi lo ha installato prima conta per uno)";
    const std::string absent = " (il file non c'\xE8 ancora)";
    Cleanup cleanup;
    // Each file and count the test touches goes back as it was; the row the
    // plan must give its count.
    auto keep = [&](const std::string& path) {
        const RegistryRead count = ReadMachineValue(kSharedDlls, path);
        const bool there = lumo_test::FileExists(path);
        const std::string bytes = there ? lumo_test::ReadFileBytes(path) : std::string();
        cleanup.Add([=] {
            if (there)
                lumo_test::WriteFileBytes(path, bytes);
            else
                ::DeleteFileA(path.c_str());
            SetSharedCount(path, count);
        });
        return shared + path + " = " +
               (count.type == REG_DWORD ? std::to_string(std::stoul(count.text) + 1) + " (ora " + count.text + ")"
                : there                 ? "2" + unowned
                                        : "1" + absent);
    };
    const std::string counted = system + "\\" + u + "_contato.dll";
    const std::string equal = system + "\\" + u + "_uguale.dll";
    const std::string older = system + "\\" + u + "_vecchio.dll";
    const std::string fresh = system + "\\" + u + "_nuovo.dll";
    for (const std::string& path : { counted, equal, older, fresh })
        keep(path);
    lumo_test::CopyComponent(component::kVer7_0_0_0, counted);
    SetSharedCount(counted, { REG_DWORD, "3" });
    lumo_test::CopyComponent(component::kVer1_2_3_4, equal);
    lumo_test::CopyComponent(component::kVer1_2_3_4, older);
    // Earlier tests may have left the DAO files and their counts; a folder
    // the run makes for them goes at the end.
    const std::string dao[] = { ProgramFiles() + "\\File Comuni\\microsoft shared\\DAO\\DAO2535.TLB",
                                ProgramFiles() + "\\Common Files\\microsoft shared\\DAO\\DAO2535.TLB" };
    std::string daoRow[2];
    for (int i = 0; i < 2; ++i) {
        for (size_t at = dao[i].find('\\', ProgramFiles().size() + 1); at != std::string::npos;
             at = dao[i].find('\\', at + 1)) {
            if (!lumo_test::DirectoryExists(dao[i].substr(0, at))) {
                cleanup.Add([folder = dao[i].substr(0, at)] { lumo_test::RemoveTree(folder); });
                break;
            }
        }
        daoRow[i] = keep(dao[i]);
    }

    Delivery delivery;
    auto ini = [&](const std::string& publisher) {
        std::string text = StandardIni() + "[SYSFILE]\r\n";
        for (const char* name : { "_contato.dll", "_uguale.dll", "_vecchio.dll", "_nuovo.dll" })
            text += u + name + "=SYSPATH|\r\n";
        return text.insert(text.find("[CHIAVI]"),
                           "[PRODOTTO]\r\nNome=Tesmoro " + u + "\r\nVersione=5.2.1.0\r\n" + publisher);
    };
    delivery.WriteIni(ini("Produttore=Pelvora\r\n"));
    AddAppFiles(delivery, 2, 3000);
    delivery.AddAppFile("DAO2535.TLB", "type library");
    auto add = [&](const char* name, const char* componentName) {
        delivery.AddSysFile(u + name, lumo_test::ReadFileBytes(ComponentPath(componentName)));
    };
    add("_contato.dll", component::kVer2_0_0_0);
    add("_uguale.dll", component::kVer1_2_3_4);
    add("_vecchio.dll", component::kVer2_0_0_0);
    add("_nuovo.dll", component::kVer1_2_3_4);

    // What this machine calls for, before the run bears it out: the counts,
    // the DAO copies first as the application files come first, the
    // components in the order the file system lists them (sorted here); then
    // the values in the order the run writes them.
    const std::string dayOfPlan = lumo_test::Today();
    const CheckRun plan = Plan(delivery);
    const std::vector<PlanRegistryValue> planned = PlanRegistry(plan);
    std::vector<std::string> counts;
    std::vector<std::string> names;
    for (const PlanRegistryValue& value : planned) {
        if (value.key == kSharedDlls)
            counts.push_back(shared + value.name + " = " + value.value + " (" + value.note + ")");
        else
            names.push_back(value.key + " | " + value.name);
        if (value.name == "InstallDate") {
            EXPECT_TRUE(value.value == dayOfPlan || value.value == lumo_test::Today()) << value.value;
        }
    }
    ASSERT_EQ(6u, counts.size()) << ::testing::PrintToString(counts);
    std::sort(counts.begin() + 2, counts.end());
    EXPECT_EQ((std::vector<std::string>{ daoRow[0], daoRow[1], shared + counted + " = 4 (ora 3)",
                                         shared + fresh + " = 1" + absent, shared + equal + " = 2" + unowned,
                                         shared + older + " = 2" + unowned }),
              counts);
    std::vector<std::string> expectedNames;
    for (const char* name : { "DisplayName", "InstallLocation", "InstallDate", "UninstallString",
                              "QuietUninstallString", "DisplayIcon", "EstimatedSize", "NoModify", "NoRepair",
                              "DisplayVersion", "Publisher" })
        expectedNames.push_back(UninstallKey() + " | " + name);
    expectedNames.push_back(PathKey() + " | InstallationDir");
    EXPECT_EQ(expectedNames, names);

    // Every value as the plan named it, of its type; the date is the run's.
    auto expectWritten = [&](const std::vector<PlanRegistryValue>& values, const std::string& dayBefore) {
        const std::string dayAfter = lumo_test::Today();
        for (const PlanRegistryValue& value : values) {
            SCOPED_TRACE(value.key + "\\" + value.name);
            const RegistryRead read = ReadMachineValue(value.key, value.name);
            if (value.removed) {
                EXPECT_EQ(static_cast<DWORD>(REG_NONE), read.type);
                continue;
            }
            const bool number = value.key == kSharedDlls || value.name == "EstimatedSize" ||
                                value.name == "NoModify" || value.name == "NoRepair";
            EXPECT_EQ(static_cast<DWORD>(number ? REG_DWORD : REG_SZ), read.type);
            if (value.name == "InstallDate") {
                EXPECT_TRUE(read.text == dayBefore || read.text == dayAfter) << read.text;
            } else {
                EXPECT_EQ(value.value, ToWindows1252(read.text));
            }
        }
    };
    std::string dayOfRun = lumo_test::Today();
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    expectWritten(planned, dayOfRun);

    // The same product again, now without a publisher: the counts stay as
    // the first run left them, the same files make the same size.
    delivery.WriteIni(ini(""));
    const CheckRun again = Plan(delivery);
    const std::vector<PlanRegistryValue> replanned = PlanRegistry(again);
    ASSERT_EQ(planned.size(), replanned.size());
    for (size_t i = 0; i < planned.size(); ++i) {
        const PlanRegistryValue& before = planned[i];
        const PlanRegistryValue& after = replanned[i];
        SCOPED_TRACE(after.name);
        EXPECT_EQ(before.key + "\\" + before.name, after.key + "\\" + after.name);
        if (after.key == kSharedDlls) {
            EXPECT_EQ("invariato: gi\xE0 contato per questo prodotto da un'installazione precedente", after.note);
        }
        if (after.name == "Publisher") {
            EXPECT_TRUE(after.removed);
        } else if (after.name != "InstallDate") {
            EXPECT_EQ(before.value, after.value);
        }
    }
    EXPECT_EQ(1, std::count(again.lines.begin(), again.lines.end(),
                            "    Publisher: non scritto, e tolto se c'\xE8 ([PRODOTTO] Produttore manca)"));
    dayOfRun = lumo_test::Today();
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    expectWritten(replanned, dayOfRun);
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
    // The plan's text holds "?" for these names: their counts go by name.
    for (const std::string& component : { routed, mirrored })
        cleanup.Add([component] { SetSharedCount(component, RegistryRead()); });
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
    EXPECT_EQ(ExpectedLog(plan, delivery.Folder()), log);
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

// The run registers the fixed DAO path at the end of every folder of
// FilesToCopy, and a second component for a target it has already loaded
// meets that module: the copy sets the loaded file aside until the restart
// (3010) and the registration runs the first module's code again. The plan
// says both, as the installer that ships does them: on the i686 build a real
// run must match it; the x86_64 build's installer cannot load the 32-bit
// components the shipped one registers, so there the plan alone is held to
// the same rows, on 32-bit images that nothing loads.
TEST_F(PlanTest, PlanFollowsTheDaoRegistrationAndATargetLoadedTwice)
{
    const bool realRun = sizeof(void*) == 4;
    const std::string u = Unique();
    lumo_test::TempDir own("lumo-plan-own");
    const std::string target = UpperText(own.Path() + "\\Comune") + "\\" + u + "_twin.dll";
    const std::string dao = kDaoLibraryPath;
    const bool daoThere = lumo_test::FileExists(dao);
    const DWORD daoBefore = lumo_test::RegistrationCount(dao);
    auto bytes = [&](const char* name) {
        return realRun ? lumo_test::ReadFileBytes(ComponentPath(name)) : lumo_crafted::ComponentLike(name);
    };

    Delivery delivery;
    Cleanup cleanup;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n" + u + "_twin.dll=" + own.Path() + "\\Comune|REG\r\n");
    delivery.AddAppFile("DAO350.DLL", bytes(component::kRegisterOk));
    delivery.AddAppFile("Sub" + u + "\\" + u + "_nota.txt", "nota");
    // The older copy must be met first: whichever folder the file system
    // lists first gets it.
    delivery.AddSysFile("P" + u + "\\x.txt", "");
    delivery.AddSysFile("Q" + u + "\\x.txt", "");
    std::vector<std::string> folders = lumo_test::ListEntries(delivery.Folder() + "\\SysFile");
    ASSERT_EQ(2u, folders.size());
    for (const std::string& folder : folders)
        ::DeleteFileA((delivery.Folder() + "\\SysFile\\" + folder + "\\x.txt").c_str());
    const std::string first = "SysFile\\" + folders[0] + "\\" + u + "_twin.dll";
    const std::string second = "SysFile\\" + folders[1] + "\\" + u + "_twin.dll";
    delivery.AddSysFile(first.substr(8), bytes(component::kVer1_2_3_4));
    delivery.AddSysFile(second.substr(8), bytes(component::kVer2_0_0_0));
    cleanup.Add([&, folders] {
        lumo_test::RemoveTree(ProgramFiles() + "\\Sub" + u);
        bool fellBack = false;
        for (const std::string& folder : folders)
            lumo_test::RemoveTree(GetSystemX86Dir(fellBack) + "\\" + folder);
        for (const PlanRow& row : PlanRows(RunLumoCheck("--piano \"" + delivery.Folder() + "\""), "FilesToCopy"))
            ::DeleteFileA(row.target.c_str());
        if (!daoThere)
            ::DeleteFileA(dao.c_str());
    });

    const CheckRun plan = Plan(delivery);
    const std::vector<PlanRow> rows = PlanRows(plan, "SysFile");
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(first, rows[0].source);
    EXPECT_EQ(target, rows[1].target);
    EXPECT_EQ((std::vector<std::string>{ "versione 1.2.3.4", "sul computer 0.0.0.0", "copia", "registra" }),
              rows[0].fields);
    EXPECT_EQ((std::vector<std::string>{ "versione 2.0.0.0", "sul computer 1.2.3.4", "copia", "registra",
                                         "il file l\xEC \xE8 caricato da questa installazione: viene messo da parte "
                                         "e cancellato al riavvio",
                                         "registra il modulo gi\xE0 caricato, di " + first + ", non questo file" }),
              rows[1].fields);
    EXPECT_EQ("3010 (il computer va riavviato per completare l'installazione).", PlanValue(plan, "Esito previsto"));

    // One DAO registration per folder of FilesToCopy, each after that
    // folder's files: the file is there once the top folder's DAO350.DLL is
    // copied, so the top folder's always registers it.
    std::vector<std::string> daoLines;
    for (const std::string& line : plan.lines)
        if (line.compare(0, 10, "  fine di ") == 0)
            daoLines.push_back(line.substr(line.rfind(": ") + 2));
    const std::string registers = "registra";
    ASSERT_EQ(2u, daoLines.size());
    EXPECT_EQ(registers, daoLines[1].substr(0, registers.size()));
    const size_t registrations = std::count_if(daoLines.begin(), daoLines.end(), [&](const std::string& state) {
        return state.compare(0, registers.size(), registers) == 0 ||
               state.find("registra di nuovo") != std::string::npos;
    });
    if (!realRun)
        return;

    KeepCounts(plan, cleanup);
    const RunResult result = RunWithoutWindow(delivery, "/S");
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(3010u, result.exitCode);
    EXPECT_EQ(ExpectedLog(plan, delivery.Folder()), LastRun(LogPath()));
    EXPECT_EQ(daoBefore + registrations, lumo_test::RegistrationCount(dao));
    // Both registrations ran the first module's code; the second file is the one in place.
    EXPECT_EQ(2u, lumo_test::RegistrationCount(target));
    EXPECT_EQ(lumo_test::ReadFileBytes(delivery.Folder() + "\\" + second), lumo_test::ReadFileBytes(target));
}

} // namespace
