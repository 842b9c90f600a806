// The unattended installation (/S) of a software-distribution system, and the
// exit codes by which a script learns how the installer ended, in the wizard
// and in the silent run.
#include "e2e/E2eTest.h"

#include "components/Components.h"
#include "res/resource.h"

#include <shlobj.h>

#include <algorithm>

using namespace lumo_e2e;
namespace component = lumo_test::component;

namespace {

const char kAlreadyRunningText[] = "Un'altra installazione \xE8 gi\xE0 in corso su questo computer.\r\n"
                                   "Attendere che termini, poi riprovare.";

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_SYSTEMX86, FALSE);
    return folder;
}

bool Contains(const std::vector<std::string>& messages, const std::string& message)
{
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

class UnattendedE2eTest : public E2eTest {
protected:
    void TearDown() override
    {
        RemoveInstalledComponents();
        E2eTest::TearDown();
    }

    // The name under which a component of this test goes into SysFile.
    std::string ComponentName(const std::string& stem) const { return Unique() + "_" + stem + ".dll"; }

    // Puts a built component into the delivery's SysFile; returns where the
    // run installs it (removed again after the test).
    std::string AddComponent(const Delivery& delivery, const char* component, const std::string& stem)
    {
        const std::string name = ComponentName(stem);
        delivery.AddSysFile(name, lumo_test::ReadFileBytes(lumo_test::ComponentPath(component)));
        installedComponents_.push_back(SystemFolder() + "\\" + name);
        return installedComponents_.back();
    }

    void RemoveInstalledComponents() const
    {
        for (const auto& path : installedComponents_)
            ::DeleteFileA(path.c_str());
    }

    // A delivery whose description file has the given [SYSFILE] lines.
    std::unique_ptr<Delivery> DeliveryWith(const std::string& sysFileLines, const std::string& folder = "deliv")
    {
        auto delivery = std::make_unique<Delivery>(folder);
        delivery->WriteIni(StandardIni() + "[SYSFILE]\r\n" + sysFileLines);
        delivery->MakeTrees();
        return delivery;
    }

private:
    std::vector<std::string> installedComponents_;
};

// The same delivery through the wizard and then, on the machine as it was
// before, silently: the same log lines, files and registrations, and never a
// window in the silent run.
TEST_F(UnattendedE2eTest, ASilentRunDoesWhatTheWizardDoesWithoutAnyWindow)
{
    auto delivery = DeliveryWith(ComponentName("senza-reg") + "=SYSPATH|\r\n");
    AddAppFiles(*delivery, 3, 1000);
    const std::string registered = AddComponent(*delivery, component::kRegisterOk, "reg");
    const std::string unregistered = AddComponent(*delivery, component::kRegisterOk, "senza-reg");
    delivery->AddSysFile(Unique() + "_dati.txt", "not a component");

    EXPECT_EQ(kSuccess, RunOnce(*delivery));
    const std::vector<std::string> wizardLog = LogMessages();
    ASSERT_LE(2u, wizardLog.size());
    const std::string started = "  RIGA DI COMANDO: \"" + delivery->ExePath() + "\"";
    EXPECT_EQ(started, wizardLog[1]);
    for (const auto& target : AppFileTargets())
        EXPECT_TRUE(lumo_test::FileExists(target)) << target;
    EXPECT_EQ(1u, lumo_test::RegistrationCount(registered));
    EXPECT_EQ(0u, lumo_test::RegistrationCount(unregistered));

    // Back to the machine as it was before the run.
    ::DeleteFileA(LogPath().c_str());
    RemoveInstalledAppFiles();
    RemoveInstalledComponents();

    const RunResult silent = RunWithoutWindow(*delivery, "/S");
    EXPECT_TRUE(silent.Clean()) << "exit code " << silent.exitCode;
    // The same lines but the command line each was started with.
    std::vector<std::string> silentLog = LogMessages();
    ASSERT_LE(2u, silentLog.size());
    EXPECT_EQ(started + " /S", silentLog[1]);
    silentLog[1] = wizardLog[1];
    EXPECT_EQ(wizardLog, silentLog);
    for (const auto& target : AppFileTargets())
        EXPECT_TRUE(lumo_test::FileExists(target)) << target;
    EXPECT_TRUE(lumo_test::FileExists(registered));
    EXPECT_TRUE(lumo_test::FileExists(unregistered));
    EXPECT_EQ(2u, lumo_test::RegistrationCount(registered));
    EXPECT_EQ(0u, lumo_test::RegistrationCount(unregistered));
}

// /S in any case, with - or /, as a word of its own anywhere on the line; the
// registration switches, when they end the line, win over it.
TEST_F(UnattendedE2eTest, TheSilentSwitchIsAWordOfItsOwnAndGivesWayToRegistration)
{
    auto delivery = DeliveryWith("");
    for (const char* arguments : { "-s", "/S /altro", "-S -Quiet" }) {
        SCOPED_TRACE(arguments);
        ::DeleteFileA(LogPath().c_str());
        const RunResult result = RunWithoutWindow(*delivery, arguments);
        EXPECT_TRUE(result.Clean()) << "exit code " << result.exitCode;
        EXPECT_EQ(6u, LogMarkers().size());
    }

    // Not the switch: the wizard opens.
    ::DeleteFileA(LogPath().c_str());
    Process& wizardProcess = Start(*delivery, "/Silent");
    const Wizard wizard = WaitForWizard(wizardProcess, kStartTimeoutMs);
    ASSERT_TRUE(wizard) << "/Silent did not open the wizard";
    PressKey(wizardProcess, wizard, VK_ESCAPE);
    ConfirmExit(wizardProcess);

    // Registration ends the line: it is done, and nothing is installed.
    const RunResult registration = RunWithoutWindow(*delivery, "/S /RegServer");
    EXPECT_TRUE(registration.Clean()) << "exit code " << registration.exitCode;
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_CLASSES_ROOT, "AppID\\LumoInstall.EXE"));
    EXPECT_FALSE(lumo_test::FileExists(LogPath())) << "an installation ran";
    EXPECT_TRUE(RunWithoutWindow(*delivery, "/UnregServer").Clean());
}

// 1603: a failed run in both modes, and a single failed copy or registration,
// which only the exit code reports: the completion page still says success.
TEST_F(UnattendedE2eTest, AnyFailureEndsWith1603)
{
    {
        SCOPED_TRACE("a failed registration");
        auto delivery = DeliveryWith("");
        const std::string failing = AddComponent(*delivery, component::kRegisterFail, "e-fail");
        Process* process = nullptr;
        const Wizard wizard = StartWizard(process, *delivery);
        ASSERT_TRUE(wizard) << "no wizard";
        HWND completion = RunToCompletion(wizard);
        ASSERT_NE(nullptr, completion) << "no completion page";
        EXPECT_EQ(kSuccessText, Wizard::ItemText(completion, IDC_TITLE));
        EXPECT_EQ("Fine", wizard.ButtonText(IDCANCEL));
        FinishWithoutQuestion(*process, wizard);
        EXPECT_EQ(kFailure, ExitCodeOf(*process));
        EXPECT_TRUE(
            Contains(LogMessages(), "  LA REGISTRAZIONE DEL FILE: " + failing + " NON E' AVVENUTA CORRETTAMENTE"));

        RemoveInstalledComponents();
        const RunResult silent = RunWithoutWindow(*delivery, "/S");
        EXPECT_TRUE(silent.ended);
        EXPECT_EQ(kFailure, silent.exitCode);
    }
    {
        SCOPED_TRACE("a failed copy");
        auto delivery = DeliveryWith("");
        // A file where the mirrored folder should be: the copy has nowhere to go.
        const std::string bin = AppTargetFolder();
        const std::string blocker = bin.substr(0, bin.rfind("\\Common Files\\")) + "\\" + Unique() + "_bloccata";
        lumo_test::WriteFileBytes(blocker, "not a folder");
        delivery->AddAppFile(Unique() + "_bloccata\\x.dat", "x");
        const RunResult silent = RunWithoutWindow(*delivery, "/S");
        ::DeleteFileA(blocker.c_str());
        EXPECT_TRUE(silent.ended);
        EXPECT_EQ(kFailure, silent.exitCode);
        EXPECT_TRUE(Contains(LogMessages(), "  Copia del file: \\x.dat NON RIUSCITA!!"));
    }
    {
        SCOPED_TRACE("a failed run");
        auto delivery = StandardDelivery("LumoInstall.exe", FaultsExe());
        const std::vector<std::pair<std::string, std::string>> fault{ { "LUMO_INJECT_FAULT",
                                                                        "CopyAndRegisterSysFiles" } };
        const RunResult silent = RunWithoutWindow(*delivery, "/S", fault);
        EXPECT_TRUE(silent.ended);
        EXPECT_EQ(kFailure, silent.exitCode);

        Process* process = nullptr;
        const Wizard wizard = StartWizard(process, *delivery, fault);
        ASSERT_TRUE(wizard) << "no wizard";
        HWND completion = RunToCompletion(wizard);
        ASSERT_NE(nullptr, completion) << "no completion page";
        EXPECT_EQ(kErrorText, Wizard::ItemText(completion, IDC_TITLE));
        PostClick(wizard.Hwnd(), IDCANCEL);
        ConfirmExit(*process);
        EXPECT_EQ(kFailure, ExitCodeOf(*process));
    }
}

// 1602: the user leaves the wizard before the run. 1619: no description file,
// after its message box in the wizard, without any window when silent.
TEST_F(UnattendedE2eTest, LeavingBeforeTheRunGives1602AndAMissingDescriptionGives1619)
{
    auto delivery = DeliveryWith("");
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";
    PressKey(*process, wizard, VK_ESCAPE);
    ConfirmExit(*process);
    EXPECT_EQ(kUserExit, ExitCodeOf(*process));
    EXPECT_FALSE(lumo_test::FileExists(LogPath()));

    ASSERT_TRUE(::DeleteFileA((delivery->Folder() + "\\Installatore.ini").c_str()));
    const RunResult silent = RunWithoutWindow(*delivery, "/S");
    EXPECT_TRUE(silent.ended);
    EXPECT_EQ(kNoDescription, silent.exitCode);

    Process& shown = Start(*delivery);
    const MessageBoxState box = WaitForMessageBox(shown, kStartTimeoutMs);
    ASSERT_NE(nullptr, box.hwnd) << "no message box";
    EXPECT_EQ("Informazioni di installazione non presenti.", box.text);
    PostClick(box.hwnd, IDOK);
    EXPECT_EQ(kNoDescription, ExitCodeOf(shown));
}

// 1618: while one installation runs (held inside a registration until the
// test lets it go), a second one does not start: silently it just ends, the
// wizard says so first. The first run is not disturbed.
TEST_F(UnattendedE2eTest, ASecondInstallationWhileOneRunsEndsWith1618)
{
    struct Event {
        HANDLE handle;
        explicit Event(const char* name) : handle(::CreateEventA(nullptr, TRUE, FALSE, name)) {}
        ~Event()
        {
            if (handle != nullptr) {
                ::SetEvent(handle);
                ::CloseHandle(handle);
            }
        }
    };
    const Event entered(component::kEnteredEvent);
    const Event release(component::kReleaseEvent);
    ASSERT_NE(nullptr, entered.handle);
    ASSERT_NE(nullptr, release.handle);

    auto first = DeliveryWith("", "prima");
    AddComponent(*first, component::kRegisterWaits, "attesa");
    Process& running = Start(*first, "/S");
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.handle, kRunTimeoutMs)) << "the first run never got going";

    // The second delivery keeps its log apart, to show that it never ran.
    auto second = std::make_unique<Delivery>("seconda");
    std::string ini = StandardIni();
    ini.replace(ini.find("InstallationDir=" + InstallDir()), std::string("InstallationDir=" + InstallDir()).size(),
                "InstallationDir=" + InstallDir() + "-2");
    second->WriteIni(ini);
    second->MakeTrees();

    const RunResult silent = RunWithoutWindow(*second, "/S");
    EXPECT_TRUE(silent.ended);
    EXPECT_EQ(kAlreadyRunning, silent.exitCode);

    Process* shown = nullptr;
    const Wizard wizard = StartWizard(shown, *second);
    ASSERT_TRUE(wizard) << "no wizard";
    PostClick(wizard.Hwnd(), IDC_NEXT);
    const MessageBoxState box = WaitForMessageBox(*shown, kStartTimeoutMs);
    ASSERT_NE(nullptr, box.hwnd) << "no message box";
    EXPECT_EQ(kAlreadyRunningText, box.text);
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(std::vector<int>{ IDOK }, box.buttons);
    PostClick(box.hwnd, IDOK);
    EXPECT_EQ(kAlreadyRunning, ExitCodeOf(*shown));
    EXPECT_FALSE(lumo_test::FileExists(InstallDir() + "-2\\Installatore.log")) << "the second installation ran";

    ASSERT_TRUE(running.Running()) << "the first run was disturbed";
    ::SetEvent(release.handle);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(running.WaitExit(kRunTimeoutMs, &code));
    EXPECT_EQ(kSuccess, code);
    EXPECT_EQ(6u, LogMarkers().size());
}

} // namespace
