// The program as a COM server: the registration switches at the end of the
// command line, and the windowless stay when COM starts it.
#include "e2e/E2eTest.h"

#include "res/resource.h"

#include <algorithm>

using namespace lumo_e2e;

namespace {

constexpr char kAppIdGuid[] = "{6F1C2B7E-3A58-4D2C-9E4B-7A1D5C3F8E21}";
constexpr char kAppIdKey[] = "AppID\\{6F1C2B7E-3A58-4D2C-9E4B-7A1D5C3F8E21}";
constexpr char kExeKey[] = "AppID\\LumoInstall.EXE";

class ComServerE2eTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        RemoveKeys();
    }
    void TearDown() override
    {
        RemoveKeys();
        E2eTest::TearDown();
    }

    static void RemoveKeys()
    {
        lumo_test::DeleteRegistryTree(HKEY_CLASSES_ROOT, kAppIdKey);
        lumo_test::DeleteRegistryTree(HKEY_CLASSES_ROOT, kExeKey);
    }

    static bool BothKeysPresent()
    {
        return lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kAppIdKey) &&
               lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kExeKey);
    }

    static bool NoKeyPresent()
    {
        return !lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kAppIdKey) &&
               !lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kExeKey);
    }

    static void ExpectRegistered()
    {
        std::string name;
        EXPECT_TRUE(lumo_test::ReadRegistryString(HKEY_CLASSES_ROOT, kAppIdKey, "", name)) << kAppIdKey;
        EXPECT_EQ("LumoInstall", name);
        std::string appId;
        EXPECT_TRUE(lumo_test::ReadRegistryString(HKEY_CLASSES_ROOT, kExeKey, "AppID", appId)) << kExeKey;
        EXPECT_EQ(kAppIdGuid, appId);
    }

    // A delivery that would open the wizard if the switch were missed.
    std::unique_ptr<Delivery> DeliveryIn(const std::string& folder)
    {
        auto delivery = std::make_unique<Delivery>(folder);
        delivery->WriteIni(StandardIni());
        delivery->MakeTrees();
        return delivery;
    }

    // The switch is not taken: the wizard opens, and Esc then Yes closes it.
    void ExpectWizardFor(const Delivery& delivery, const std::string& arguments)
    {
        SCOPED_TRACE(arguments);
        Process& process = Start(delivery, arguments);
        const Wizard wizard = WaitForWizard(process, kStartTimeoutMs);
        ASSERT_TRUE(wizard) << "no wizard";
        EXPECT_TRUE(NoKeyPresent()) << "registered although the switch does not end the line";
        PressKey(process, wizard, VK_ESCAPE);
        ConfirmExit(process);
    }
};

TEST_F(ComServerE2eTest, RegServerWritesTheAppIdKeysWithoutAWindow)
{
    // Dashes in the program's path are not taken for a switch.
    auto delivery = DeliveryIn("deliv-a-b");
    ASSERT_TRUE(NoKeyPresent());
    ASSERT_TRUE(RunWithoutWindow(*delivery, "/RegServer").Clean());
    ExpectRegistered();
}

// Without the system registrar the script cannot run: the program still ends
// without a window, but tells its caller. Wine only: its per-program DLL
// overrides switch the registrar's library off for this program's name.
TEST_F(ComServerE2eTest, ARegistrationThatFailsEndsWithANonZeroCode)
{
    const std::string exeName = Unique() + ".exe";
    const RegistrarSwitchedOff noRegistrar(exeName);

    auto delivery = std::make_unique<Delivery>("deliv", exeName);
    delivery->WriteIni(StandardIni());
    const RunResult result = RunWithoutWindow(*delivery, "/RegServer");
    EXPECT_TRUE(result.ended);
    EXPECT_NE(0u, result.exitCode);
    EXPECT_TRUE(NoKeyPresent());
}

TEST_F(ComServerE2eTest, SwitchLetterCaseDoesNotMatter)
{
    auto delivery = DeliveryIn("deliv");
    ASSERT_TRUE(RunWithoutWindow(*delivery, "-rEGsERVER").Clean());
    ExpectRegistered();
}

TEST_F(ComServerE2eTest, UnregServerRemovesTheKeysAndKeepsAppId)
{
    auto delivery = DeliveryIn("deliv-x");
    ASSERT_TRUE(RunWithoutWindow(*delivery, "/RegServer").Clean());
    ASSERT_TRUE(BothKeysPresent());

    ASSERT_TRUE(RunWithoutWindow(*delivery, "-unregserver").Clean());
    EXPECT_TRUE(NoKeyPresent());
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, "AppID"));
}

TEST_F(ComServerE2eTest, OnlyTheLastSwitchOfTheLineCounts)
{
    auto delivery = DeliveryIn("deliv");
    ASSERT_TRUE(RunWithoutWindow(*delivery, "/UnregServer /RegServer").Clean());
    ExpectRegistered();
}

TEST_F(ComServerE2eTest, RegServerNotEndingTheLineOpensTheWizard)
{
    auto delivery = DeliveryIn("deliv-a-b");
    ExpectWizardFor(*delivery, "/RegServer ");
    ExpectWizardFor(*delivery, "/RegServer /x");
}

TEST_F(ComServerE2eTest, RegServerWithoutLeadCharacterOpensTheWizard)
{
    auto delivery = DeliveryIn("deliv");
    ExpectWizardFor(*delivery, "RegServer");
}

TEST_F(ComServerE2eTest, EmbeddingStaysUpWithoutWindowUntilQuit)
{
    auto delivery = DeliveryIn("deliv");
    Process& process = Start(*delivery, "-Embedding");

    std::vector<HWND> seen;
    const bool endedEarly = WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(process.Id(), true))
                seen.push_back(hwnd);
            return !process.Running();
        },
        2000, 10);
    EXPECT_FALSE(endedEarly) << "ended without being asked";
    EXPECT_TRUE(seen.empty()) << "showed a window: " << Text(seen.front());

    // The thread's queue exists once it waits for messages; until then the post fails.
    EXPECT_TRUE(WaitUntil([&] { return ::PostThreadMessageA(process.ThreadId(), WM_QUIT, 0, 0) != FALSE; },
                          kExitTimeoutMs));
    DWORD exitCode = 1;
    EXPECT_TRUE(process.WaitExit(kExitTimeoutMs, &exitCode)) << "did not end on WM_QUIT";
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(NoKeyPresent());
}

TEST_F(ComServerE2eTest, AutomationStaysUpWithoutWindowUntilQuit)
{
    auto delivery = DeliveryIn("deliv");
    Process& process = Start(*delivery, "/Automation");

    ::Sleep(1000);
    EXPECT_TRUE(process.Running()) << "ended without being asked";
    EXPECT_TRUE(TopLevelWindows(process.Id(), true).empty());

    EXPECT_TRUE(WaitUntil([&] { return ::PostThreadMessageA(process.ThreadId(), WM_QUIT, 0, 0) != FALSE; },
                          kExitTimeoutMs));
    EXPECT_TRUE(process.WaitExit(kExitTimeoutMs)) << "did not end on WM_QUIT";
}

} // namespace
