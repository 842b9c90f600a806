// What a run decides at a target it decides by what is on the disk then, and
// what it made is recorded and removed: a folder of SysFile made after its
// parent was first looked at, a component another program wrote during the
// run, and a target a stopped run set aside.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <algorithm>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

bool ComesBefore(const std::vector<std::string>& order, const std::string& first, const std::string& second)
{
    const auto a = std::find(order.begin(), order.end(), UpperText(first));
    const auto b = std::find(order.begin(), order.end(), UpperText(second));
    return a != order.end() && b != order.end() && a < b;
}

class IndexE2eTest : public E2eTest {
protected:
    RunResult RemoveQuietly()
    {
        Process& process = StartCommandLine(Program(), "\"" + Program() + "\" /UNINSTALL /S");
        RunResult result;
        result.ended = process.WaitExit(kRunTimeoutMs, &result.exitCode);
        return result;
    }

    // Adds components to SysFile, one by one, until one is listed before
    // the entry `later`: the walk then copies it first. Names the file
    // system orders, not timing, decide. Returns the system targets added.
    std::vector<std::string> AddComponentsBefore(const Delivery& delivery, const std::string& later, const char* built)
    {
        std::vector<std::string> targets;
        for (int n = 0; n < 32; ++n) {
            const std::string name = Unique() + "_" + std::to_string(n) + ".dll";
            delivery.AddSysFile(name, ReadFileBytes(lumo_test::ComponentPath(built)));
            targets.push_back(Placed(SystemFolder() + "\\" + name));
            if (ComesBefore(WalkOrder(delivery.Folder() + "\\SysFile"), name, later))
                return targets;
        }
        return {};
    }
};

// A subfolder of SysFile walked after the files beside it is made once the
// system folder was first looked at: it is in the record, and the removal
// takes it away.
TEST_F(IndexE2eTest, ASubfolderMadeLateIsRecordedAndRemoved)
{
    const std::string sub = "Zub" + Unique();
    const std::string folder = SystemFolder() + "\\" + sub;
    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n");
    const std::string inside = Placed(folder + "\\SubComp.dll");
    delivery.AddSysFile(sub + "\\SubComp.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)));
    const std::vector<std::string> before = AddComponentsBefore(delivery, sub, component::kVer1_2_3_4);
    ASSERT_FALSE(before.empty()) << "no name is listed before the subfolder";
    struct Cleanup {
        std::string folder;
        ~Cleanup() { ::RemoveDirectoryW(Wide(folder).c_str()); }
    } cleanup{ folder };

    const RunResult run = RunWithoutWindow(delivery, "/S");
    ASSERT_TRUE(run.Clean()) << "exit code " << run.exitCode;
    ASSERT_TRUE(FileExists(inside));
    const std::vector<std::string> record = lumo_test::SplitLines(ReadFileBytes(RecordPath()));
    EXPECT_TRUE(HasLineWith(record, "cartella | creata | - | - | " + folder)) << ReadFileBytes(RecordPath());
    EXPECT_TRUE(HasLineWith(record, "sistema | copiato | registrato | contato | " + inside));
    for (const std::string& target : before)
        EXPECT_TRUE(HasLineWith(record, "sistema | copiato | registrato | contato | " + target)) << target;

    const RunResult removed = RemoveQuietly();
    EXPECT_TRUE(removed.ended);
    EXPECT_EQ(kRemoved, removed.exitCode);
    EXPECT_FALSE(FileExists(inside));
    EXPECT_FALSE(lumo_test::FileExists(folder)) << "the folder the run made was left behind";
    for (const std::string& target : before)
        EXPECT_FALSE(FileExists(target)) << target;
}

// Another program writes a newer component where a later file of the run
// goes, after the run has listed the system folder and before that file's
// turn: the run compares with it, leaves it, and records it as found.
TEST_F(IndexE2eTest, ANewerComponentWrittenDuringTheRunIsLeftAlone)
{
    struct Event {
        HANDLE handle;
        explicit Event(const char* name) : handle(::CreateEventA(nullptr, TRUE, FALSE, name)) {}
        ~Event()
        {
            ::SetEvent(handle);
            ::CloseHandle(handle);
        }
    };
    const Event entered(component::kEnteredEvent);
    const Event release(component::kReleaseEvent);
    const std::string laterName = Unique() + "_dopo.dll";
    const std::string later = SystemFolder() + "\\" + laterName;
    Placed(later);
    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n");
    delivery.AddSysFile(laterName, ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)));
    const std::vector<std::string> waiting = AddComponentsBefore(delivery, laterName, component::kRegisterWaits);
    ASSERT_FALSE(waiting.empty()) << "no name is listed before the later file";
    ASSERT_FALSE(FileExists(later));

    Process& process = Start(delivery, "/S");
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.handle, kRunTimeoutMs)) << "the registration never began";
    const std::string newer = ReadFileBytes(lumo_test::ComponentPath(component::kVer7_0_0_0));
    lumo_test::WriteFileBytes(later, newer);
    // Every waiting component before it enters its registration: each waits
    // on the same event, which stays set from now on.
    ::SetEvent(release.handle);
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(process.WaitExit(kRunTimeoutMs, &exitCode));
    EXPECT_EQ(kSuccess, exitCode);
    EXPECT_TRUE(newer == ReadFileBytes(later)) << "the newer component was overwritten";
    EXPECT_TRUE(HasLineWith(LogMessages(), "  FILE " + later +
                                            " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE "));
    const std::vector<std::string> record = lumo_test::SplitLines(ReadFileBytes(RecordPath()));
    EXPECT_TRUE(HasLineWith(record, "sistema | presente | - | contato | " + later)) << ReadFileBytes(RecordPath());
    EXPECT_FALSE(HasLineWith(record, "| copiato | registrato | contato | " + later));
    EXPECT_EQ(0u, lumo_test::RegistrationCount(later));
    EXPECT_EQ(2, RegistryNumber(kSharedDlls, later)) << "found without a count: its earlier owner counts as one";
}

// A stopped run may leave a target set aside with nothing in its place. A
// later run that does not copy it puts it back; so does the removal, which
// then unregisters and deletes it as the product's own.
TEST_F(IndexE2eTest, ATargetSetAsideComesBack)
{
    Delivery delivery;
    delivery.WriteIni(StandardIni() + "[SYSFILE]\r\n");
    AddAppFiles(delivery, 1, 100);
    const std::string appFile = AppFileTargets()[0];
    const std::string own = Placed(SystemFolder() + "\\" + Unique() + "_proprio.dll");
    delivery.AddSysFile(Unique() + "_proprio.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    const std::string appBytes = ReadFileBytes(appFile);
    const std::string ownBytes = ReadFileBytes(own);
    const std::vector<std::string> targets = { appFile, own };
    auto setAside = [&targets] {
        for (const std::string& target : targets)
            ASSERT_TRUE(::MoveFileW(Wide(target).c_str(), Wide(target + ".LumoInstall-vecchio").c_str())) << target;
    };

    // A run of the product whose delivery holds neither file.
    setAside();
    Delivery other;
    other.WriteIni(StandardIni() + "[SYSFILE]\r\n");
    other.MakeTrees();
    other.AddAppFile(Unique() + "_altro.txt", "altro");
    const std::string otherTarget = AppTargetFolder() + "\\" + Unique() + "_altro.txt";
    const RunResult run = RunWithoutWindow(other, "/S");
    EXPECT_TRUE(run.Clean()) << "exit code " << run.exitCode;
    EXPECT_EQ(appBytes, ReadFileBytes(appFile));
    EXPECT_EQ(ownBytes, ReadFileBytes(own));
    for (const std::string& target : targets)
        EXPECT_FALSE(FileExists(target + ".LumoInstall-vecchio")) << target;

    // The removal: the file set aside is the product's, and goes as such.
    setAside();
    const RunResult removed = RemoveQuietly();
    EXPECT_TRUE(removed.ended);
    EXPECT_EQ(kRemoved, removed.exitCode);
    EXPECT_EQ(1u, lumo_test::UnregistrationCount(own)) << "the component put back was not unregistered";
    for (const std::string& target : targets) {
        EXPECT_FALSE(FileExists(target)) << target;
        EXPECT_FALSE(FileExists(target + ".LumoInstall-vecchio")) << target;
    }
    EXPECT_FALSE(FileExists(otherTarget));
    ::DeleteFileW(Wide(otherTarget).c_str());
}

} // namespace
