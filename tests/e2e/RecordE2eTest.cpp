// What the machine knows of an installation: the product key's folder, the
// entry of Programs and Features, the record of every file placed, and the
// shared counts of the components, each counted once for the product.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <ctime>
#include <map>

using namespace lumo_e2e;
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

} // namespace
