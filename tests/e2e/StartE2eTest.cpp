// Start-up as the user meets it: the missing description file, the welcome
// page in both modes, and the keyboard on the welcome page.
#include "e2e/E2eTest.h"

#include "res/resource.h"

using namespace lumo_e2e;

namespace {

class StartE2eTest : public E2eTest {
protected:
    // What the welcome step shows, to compare before and after a question.
    struct WelcomeState {
        bool pageVisible;
        std::string title;
        std::string text;
        std::string next;
        bool nextVisible;
        bool nextEnabled;
        bool backVisible;
        std::string exit;
        bool exitVisible;
        bool exitEnabled;
        std::string caption;
    };

    static WelcomeState ReadWelcome(const Wizard& wizard)
    {
        HWND page = wizard.WelcomePage();
        return WelcomeState{ page != nullptr && ::IsWindowVisible(page),
                             Wizard::ItemText(page, IDC_TITLE),
                             Wizard::ItemText(page, IDC_TEXT),
                             wizard.ButtonText(IDC_NEXT),
                             wizard.ButtonVisible(IDC_NEXT),
                             wizard.ButtonEnabled(IDC_NEXT),
                             wizard.ButtonVisible(IDC_BACK),
                             wizard.ButtonText(IDCANCEL),
                             wizard.ButtonVisible(IDCANCEL),
                             wizard.ButtonEnabled(IDCANCEL),
                             Text(wizard.Hwnd()) };
    }

    static void ExpectSameWelcome(const WelcomeState& before, const WelcomeState& after)
    {
        EXPECT_EQ(before.pageVisible, after.pageVisible);
        EXPECT_EQ(before.title, after.title);
        EXPECT_EQ(before.text, after.text);
        EXPECT_EQ(before.next, after.next);
        EXPECT_EQ(before.nextVisible, after.nextVisible);
        EXPECT_EQ(before.nextEnabled, after.nextEnabled);
        EXPECT_EQ(before.backVisible, after.backVisible);
        EXPECT_EQ(before.exit, after.exit);
        EXPECT_EQ(before.exitVisible, after.exitVisible);
        EXPECT_EQ(before.exitEnabled, after.exitEnabled);
        EXPECT_EQ(before.caption, after.caption);
    }

    // Asks the exit question through trigger, checks it and answers No.
    void ExpectQuestionAnsweredNo(Process& process, const Wizard& wizard, const char* how,
                                  const std::function<void()>& trigger)
    {
        SCOPED_TRACE(how);
        const WelcomeState before = ReadWelcome(wizard);
        trigger();
        const MessageBoxState box = WaitForMessageBox(process, kStartTimeoutMs);
        ASSERT_NE(nullptr, box.hwnd) << "no question after " << how;
        EXPECT_EQ("Terminare il programma di Installazione", box.text);
        EXPECT_EQ(kCaption, box.caption);
        EXPECT_EQ((std::vector<int>{ IDYES, IDNO }), box.buttons);
        EXPECT_EQ(IDNO, box.defaultButton);
        EXPECT_STREQ("question", BoxIconName(box.icon));

        PostClick(box.hwnd, IDNO);
        EXPECT_TRUE(WaitUntil([&] { return FindMessageBox(process.Id()) == nullptr; }, kExitTimeoutMs));
        // Anything the answer might set off has had time to happen.
        ::Sleep(300);
        EXPECT_TRUE(process.Running());
        ExpectSameWelcome(before, ReadWelcome(wizard));
        EXPECT_FALSE(lumo_test::FileExists(LogPath())) << "No must not start anything";
    }
};

TEST_F(StartE2eTest, WithoutDescriptionFileOnlyAStopMessageAppears)
{
    Delivery delivery;
    delivery.MakeTrees();
    Process& process = Start(delivery);

    const MessageBoxState box = WaitForMessageBox(process, kStartTimeoutMs);
    ASSERT_NE(nullptr, box.hwnd) << "no message box";
    EXPECT_EQ("Informazioni di installazione non presenti.", box.text);
    EXPECT_EQ("Pelvora ", box.caption);
    EXPECT_EQ(std::vector<int>{ IDOK }, box.buttons);
    EXPECT_STREQ("stop", BoxIconName(box.icon));
    EXPECT_EQ(std::vector<HWND>{ box.hwnd }, TopLevelWindows(process.Id(), true)) << "a window beside the box";
    EXPECT_EQ(nullptr, FindDialogWithControl(process.Id(), IDC_NEXT));

    PostClick(box.hwnd, IDOK);
    EXPECT_TRUE(process.WaitExit(kExitTimeoutMs)) << "the program did not end after OK";
}

TEST_F(StartE2eTest, WizardOpensOnTheWelcomePageWithTheDescriptionTexts)
{
    auto delivery = StandardDelivery();
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    EXPECT_EQ(kCaption, Text(wizard.Hwnd()));
    HWND welcome = wizard.WelcomePage();
    ASSERT_NE(nullptr, welcome);
    EXPECT_TRUE(::IsWindowVisible(welcome));
    EXPECT_EQ(kProceduraShown, Wizard::ItemText(welcome, IDC_TITLE));
    EXPECT_EQ(kProcedura1Shown, Wizard::ItemText(welcome, IDC_TEXT));
    EXPECT_EQ("Installa", wizard.ButtonText(IDC_NEXT));
    EXPECT_TRUE(wizard.ButtonVisible(IDC_NEXT));
    EXPECT_TRUE(wizard.ButtonEnabled(IDC_NEXT));
    EXPECT_FALSE(wizard.ButtonVisible(IDC_BACK));
    EXPECT_EQ("Esci", wizard.ButtonText(IDCANCEL));
    EXPECT_TRUE(wizard.ButtonVisible(IDCANCEL));
    EXPECT_TRUE(wizard.ButtonEnabled(IDCANCEL));
    HWND progress = wizard.ProgressPage();
    EXPECT_TRUE(progress == nullptr || !::IsWindowVisible(progress));
    EXPECT_EQ(nullptr, wizard.CompletionPage());

    PressKey(*process, wizard, VK_ESCAPE);
    ConfirmExit(*process);
}

TEST_F(StartE2eTest, UnderTheSidNameTheBuiltInWelcomeTextsWin)
{
    // Any letter case of the name counts; the description file has texts of its own.
    auto delivery = StandardDelivery("lumoSIDinstall.EXE");
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    HWND welcome = wizard.WelcomePage();
    ASSERT_NE(nullptr, welcome);
    EXPECT_EQ("Benvenuti nel programma di installazione del client di procedura QNV Plus (Tesmoro).",
              Wizard::ItemText(welcome, IDC_TITLE));
    EXPECT_EQ("Questo programma installer\xE0 il Tesmoro in questo computer.", Wizard::ItemText(welcome, IDC_TEXT));
    if (::GetACP() == 1252) {
        wchar_t wide[256] = {};
        ::GetWindowTextW(::GetDlgItem(welcome, IDC_TEXT), wide, 256);
        EXPECT_EQ(std::wstring(L"Questo programma installer\u00E0 il Tesmoro in questo computer."), wide);
    }
    EXPECT_EQ(kCaption, Text(wizard.Hwnd()));
    EXPECT_EQ("Installa", wizard.ButtonText(IDC_NEXT));

    PressKey(*process, wizard, VK_ESCAPE);
    ConfirmExit(*process);
}

TEST_F(StartE2eTest, EnterOnTheWelcomePageStartsTheRun)
{
    auto delivery = StandardDelivery();
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    PressKey(*process, wizard, VK_RETURN);
    HWND completion = WaitForCompletion(wizard);
    ASSERT_NE(nullptr, completion) << "Enter did not lead to the completion page";
    EXPECT_EQ(nullptr, wizard.WelcomePage());
    EXPECT_EQ(kSuccessText, Wizard::ItemText(completion, IDC_TITLE));
    EXPECT_EQ("Fine", wizard.ButtonText(IDCANCEL));

    PostClick(wizard.Hwnd(), IDCANCEL);
    ASSERT_TRUE(process->WaitExit(kExitTimeoutMs));
    // The log is complete once the program has ended.
    EXPECT_EQ(std::vector<std::string>(std::begin(kRunMarkers), std::end(kRunMarkers)), LogMarkers());
}

TEST_F(StartE2eTest, EscCloseAndExitAskFirstAndNoChangesNothing)
{
    auto delivery = StandardDelivery();
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    ExpectQuestionAnsweredNo(*process, wizard, "Esc", [&] { PressKey(*process, wizard, VK_ESCAPE); });
    ExpectQuestionAnsweredNo(*process, wizard, "WM_CLOSE", [&] { ::PostMessageA(wizard.Hwnd(), WM_CLOSE, 0, 0); });
    ExpectQuestionAnsweredNo(*process, wizard, "Esci", [&] { PostClick(wizard.Hwnd(), IDCANCEL); });

    // Yes ends the program without a run.
    PostClick(wizard.Hwnd(), IDCANCEL);
    ConfirmExit(*process);
    EXPECT_FALSE(lumo_test::FileExists(LogPath()));
}

} // namespace
