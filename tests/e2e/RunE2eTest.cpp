// The installation run seen from outside: the wizard while it works, the
// completion page after success and after failure, and the log it leaves.
#include "e2e/E2eTest.h"

#include "res/resource.h"

#include <shlobj.h>

#include <iterator>

using namespace lumo_e2e;

namespace {

class RunE2eTest : public E2eTest {
protected:
    static std::vector<std::string> Markers(int runs)
    {
        std::vector<std::string> markers;
        for (int i = 0; i < runs; ++i)
            markers.insert(markers.end(), std::begin(kRunMarkers), std::end(kRunMarkers));
        return markers;
    }
};

TEST_F(RunE2eTest, WhileRunningExitIsDisabledAndEscAndCloseDoNothing)
{
    // Enough files that the run lasts while the checks below take place: the
    // cost is per file, so small ones do (about 5 s here).
    auto delivery = std::make_unique<Delivery>();
    delivery->WriteIni(StandardIni());
    AddAppFiles(*delivery, 1000, 4 * 1024);
    delivery->AddSysFile(Unique() + "_sys.txt", "not a component");

    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";
    PostClick(wizard.Hwnd(), IDC_NEXT);

    HWND progress = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            progress = wizard.ProgressPage();
            return progress != nullptr && ::IsWindowVisible(progress);
        },
        kStartTimeoutMs))
        << "no progress page";
    EXPECT_TRUE(WaitUntil([&] { return Wizard::ItemText(progress, IDC_STATUS_LINE).rfind("Copia in ", 0) == 0; },
                          kStartTimeoutMs))
        << "status: " << Wizard::ItemText(progress, IDC_STATUS_LINE);
    EXPECT_FALSE(wizard.ButtonEnabled(IDCANCEL));
    EXPECT_FALSE(wizard.ButtonVisible(IDC_NEXT));
    EXPECT_FALSE(wizard.ButtonVisible(IDC_BACK));
    EXPECT_EQ(nullptr, wizard.WelcomePage());

    PressKey(*process, wizard, VK_ESCAPE);
    ::PostMessageA(wizard.Hwnd(), WM_CLOSE, 0, 0);
    // The hidden Next button's command must not start a second run.
    PostClick(wizard.Hwnd(), IDC_NEXT);
    bool asked = false;
    WaitUntil(
        [&] {
            asked = asked || FindMessageBox(process->Id()) != nullptr;
            return !process->Running();
        },
        700, 10);
    EXPECT_FALSE(asked) << "a question came up during the run";
    ASSERT_TRUE(process->Running()) << "Esc or WM_CLOSE ended the run";
    // Otherwise the checks above did not happen during the run.
    ASSERT_TRUE(::IsWindowVisible(progress) && wizard.CompletionPage() == nullptr)
        << "the run ended too soon for this test; give it more files";
    EXPECT_FALSE(wizard.ButtonEnabled(IDCANCEL));

    HWND completion = nullptr;
    EXPECT_TRUE(WaitUntil(
        [&] {
            asked = asked || FindMessageBox(process->Id()) != nullptr;
            completion = wizard.CompletionPage();
            return completion != nullptr && ::IsWindowVisible(completion);
        },
        kRunTimeoutMs, 10))
        << "the run did not end";
    EXPECT_FALSE(asked) << "a question came up during the run";
    EXPECT_EQ(kSuccessText, Wizard::ItemText(completion, IDC_TITLE));
    // Exit comes back a moment after the page shows.
    EXPECT_TRUE(WaitUntil([&] { return wizard.ButtonEnabled(IDCANCEL); }, kExitTimeoutMs));
    FinishWithoutQuestion(*process, wizard);
    EXPECT_EQ(Markers(1), LogMarkers());
}

TEST_F(RunE2eTest, SuccessShowsTheCompletionPageAndFineEndsAtOnce)
{
    auto delivery = StandardDelivery();
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    HWND completion = RunToCompletion(wizard);
    ASSERT_NE(nullptr, completion) << "no completion page";
    EXPECT_EQ(kSuccessText, Wizard::ItemText(completion, IDC_TITLE));
    EXPECT_EQ(kSuccessHint, Wizard::ItemText(completion, IDC_TEXT));
    HWND startClient = ::GetDlgItem(completion, IDC_START_CLIENT);
    EXPECT_TRUE(startClient == nullptr || !::IsWindowVisible(startClient));
    EXPECT_EQ("Fine", wizard.ButtonText(IDCANCEL));
    EXPECT_TRUE(wizard.ButtonEnabled(IDCANCEL));
    EXPECT_TRUE(wizard.ButtonVisible(IDCANCEL));
    EXPECT_FALSE(wizard.ButtonVisible(IDC_NEXT));
    EXPECT_FALSE(wizard.ButtonVisible(IDC_BACK));
    EXPECT_EQ(nullptr, wizard.WelcomePage());
    HWND progress = wizard.ProgressPage();
    EXPECT_TRUE(progress == nullptr || !::IsWindowVisible(progress));

    FinishWithoutQuestion(*process, wizard);

    std::vector<std::string> lines = LogLines();
    ASSERT_FALSE(lines.empty()) << "no log at " << LogPath();
    for (const auto& line : lines) {
        std::string message;
        EXPECT_TRUE(SplitLogLine(line, message)) << "line without time stamp: " << line;
    }
    EXPECT_EQ(Markers(1), LogMarkers());

    // The application files arrived whole, below the Program Files folder of
    // 32-bit programs; a 64-bit test program sees another one, which gets nothing.
    char nativeProgramFiles[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, nativeProgramFiles);
    const std::string nativeTarget = std::string(nativeProgramFiles) + "\\Common Files\\Business Objects\\3.0\\bin";
    for (int i = 0; i < 3; ++i) {
        const std::string name = Unique() + "_000" + std::to_string(i) + ".dat";
        EXPECT_EQ(lumo_test::ReadFileBytes(delivery->Folder() + "\\FilesToCopy\\" + name),
                  lumo_test::ReadFileBytes(AppTargetFolder() + "\\" + name))
            << name;
        if (lstrcmpiA(nativeTarget.c_str(), AppTargetFolder().c_str()) != 0) {
            EXPECT_FALSE(lumo_test::FileExists(nativeTarget + "\\" + name)) << name;
        }
    }
}

TEST_F(RunE2eTest, SecondRunAppendsASecondBlockToTheLog)
{
    auto delivery = StandardDelivery();
    RunOnce(*delivery);
    const std::string first = lumo_test::ReadFileBytes(LogPath());
    ASSERT_EQ(Markers(1), LogMarkers());

    RunOnce(*delivery);
    const std::string both = lumo_test::ReadFileBytes(LogPath());
    EXPECT_EQ(first, both.substr(0, first.size())) << "the first block changed";
    EXPECT_EQ(Markers(2), LogMarkers());
}

TEST_F(RunE2eTest, LogGoesToTheFolderOfAnEarlierInstallation)
{
    lumo_test::TempDir earlier("lumo-e2e-reg");
    const std::string registered = earlier.Path() + "\\Tesmoro";
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, PathKey(), "InstallationDir", registered);

    auto delivery = StandardDelivery();
    RunOnce(*delivery);

    EXPECT_FALSE(lumo_test::FileExists(LogPath())) << "the description file's folder was used";
    const std::string log = lumo_test::ReadFileBytes(registered + "\\Installatore.log");
    for (const char* marker : kRunMarkers)
        EXPECT_NE(std::string::npos, log.find(std::string("]") + marker)) << marker;
}

TEST_F(RunE2eTest, FailureShowsTheHintAndExitAsksFirst)
{
    auto delivery = StandardDelivery("LumoInstall.exe", FaultsExe());
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery, { { "LUMO_INJECT_FAULT", "CopyAndRegisterSysFiles" } });
    ASSERT_TRUE(wizard) << "no wizard";

    HWND completion = RunToCompletion(wizard);
    ASSERT_NE(nullptr, completion) << "no completion page";
    EXPECT_EQ(kErrorText, Wizard::ItemText(completion, IDC_TITLE));
    EXPECT_EQ(kFailureHint, Wizard::ItemText(completion, IDC_TEXT));
    HWND startClient = ::GetDlgItem(completion, IDC_START_CLIENT);
    EXPECT_TRUE(startClient == nullptr || !::IsWindowVisible(startClient));
    EXPECT_EQ("Esci", wizard.ButtonText(IDCANCEL));
    EXPECT_TRUE(wizard.ButtonEnabled(IDCANCEL));

    PostClick(wizard.Hwnd(), IDCANCEL);
    const MessageBoxState box = WaitForMessageBox(*process, kStartTimeoutMs);
    ASSERT_NE(nullptr, box.hwnd) << "Esci did not ask";
    EXPECT_EQ("Terminare il programma di Installazione", box.text);
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ((std::vector<int>{ IDYES, IDNO }), box.buttons);
    EXPECT_EQ(IDNO, box.defaultButton);

    PostClick(box.hwnd, IDNO);
    // Wine keeps an answered box alive, and focused, for about two seconds:
    // keys sent before it is destroyed would go to it, not to the wizard.
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box.hwnd); }, kExitTimeoutMs)) << "the box was never destroyed";
    ASSERT_TRUE(process->Running()) << "No ended the program";
    EXPECT_TRUE(::IsWindowVisible(completion));
    EXPECT_EQ(kErrorText, Wizard::ItemText(completion, IDC_TITLE));
    EXPECT_EQ("Esci", wizard.ButtonText(IDCANCEL));

    // After a failure the step is the welcome step again, but the welcome page
    // is gone: a Next command starts nothing. Enter belongs to the focused
    // Exit button now, so it asks the exit question again.
    PostClick(wizard.Hwnd(), IDC_NEXT);
    PressKey(*process, wizard, VK_RETURN);
    const MessageBoxState again = WaitForMessageBox(*process, kStartTimeoutMs);
    ASSERT_NE(nullptr, again.hwnd) << "Enter on Esci did not ask";
    EXPECT_EQ("Terminare il programma di Installazione", again.text);
    EXPECT_TRUE(::IsWindowVisible(completion));
    EXPECT_EQ(nullptr, wizard.ProgressPage());
    EXPECT_EQ(kErrorText, Wizard::ItemText(completion, IDC_TITLE));

    PostClick(again.hwnd, IDYES);
    EXPECT_TRUE(process->WaitExit(kExitTimeoutMs)) << "the program did not end after Yes";
    EXPECT_EQ(Markers(1), LogMarkers());
}

} // namespace
