// The log an administrator collects: /LOG names a file that receives every
// line of the run as Installatore.log does (same bytes, same time stamps),
// the reason under each failure, the command line and the exit code of each
// run, and the one line an early end leaves there.
#include "e2e/E2eTest.h"

#include "engine/Log.h"
#include "components/Components.h"
#include "framework/Text.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

using namespace lumo_e2e;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

// The messages of a file's lines; each line must carry its time stamp.
std::vector<std::string> MessagesOf(const std::string& bytes)
{
    std::vector<std::string> messages;
    for (const std::string& line : lumo_test::SplitLines(bytes)) {
        std::string message;
        EXPECT_TRUE(SplitLogLine(line, message)) << "line without time stamp: " << line;
        messages.push_back(message);
    }
    return messages;
}

std::string SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_SYSTEMX86, FALSE);
    return Utf8(folder);
}

// True when the message right after `failure` is `reason`.
bool ReasonFollows(const std::vector<std::string>& messages, const std::string& failure, const std::string& reason)
{
    const auto at = std::find(messages.begin(), messages.end(), failure);
    return at != messages.end() && at + 1 != messages.end() && *(at + 1) == reason;
}

class LogSwitchE2eTest : public E2eTest {
protected:
    void TearDown() override
    {
        for (const std::string& path : placed_)
            ::DeleteFileW(Wide(path).c_str());
        E2eTest::TearDown();
    }

    // What the run added to Installatore.log, from the size it had before.
    std::string RunOf(size_t before) const { return ReadFileBytes(LogPath()).substr(before); }
    size_t LogSize() const { return ReadFileBytes(LogPath()).size(); }

    // The line that the program started with these arguments writes first.
    static std::string CommandLineLine(const std::string& exe, const std::string& arguments)
    {
        return "  RIGA DI COMANDO: \"" + exe + "\" " + ToWindows1252(arguments);
    }

    std::vector<std::string> placed_;
    lumo_test::TempDir collect_{ "lumo-raccolta" };
};

// Each form of the switch, the file in a folder not there yet and a name
// beyond Windows-1252 among them, on a run with a failed copy, a failed
// registration and a folder that cannot be read: the file holds exactly what
// the run wrote to Installatore.log, byte for byte, from the opening marker
// with the command line under it to the closing one with the exit code, and
// a reason under each failure. A second run appends.
TEST_F(LogSwitchE2eTest, EachFormOfTheSwitchGetsTheWholeRunWithItsReasons)
{
    auto delivery = StandardDelivery();
    // A file where the mirrored folder should be: the copy finds no path.
    const std::string bin = AppTargetFolder();
    const std::string blocker = bin.substr(0, bin.rfind("\\Common Files\\")) + "\\" + Unique() + "_bloccata";
    placed_.push_back(blocker);
    lumo_test::WriteFileBytes(blocker, "not a folder");
    delivery->AddAppFile(Unique() + "_bloccata\\x.dat", "x");
    // A component whose DllRegisterServer returns E_FAIL.
    const std::string failing = SystemFolder() + "\\" + Unique() + "_e_fail.dll";
    placed_.push_back(failing);
    delivery->AddSysFile(Unique() + "_e_fail.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterFail)));
    // A link back to the folder that holds it: never followed, never read.
    const std::string loop = delivery->Folder() + "\\FilesToCopy\\giro";
    const lumo_test::FolderLink link(loop, ".");
    const std::string unread = "  LA CARTELLA: " + loop + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI";

    const std::string spaced = collect_ / "con spazi\\pc 1.log";
    const std::string beyond1252 = collect_ / "\xCE\xA9\xCE\xBB\\pc-\xE6\x97\xA5.log";
    const struct {
        std::string arguments;
        std::string file;
    } forms[] = {
        { "/S /LOG=" + (collect_ / "pc1.log"), collect_ / "pc1.log" },
        { "/s /log " + (collect_ / "pc2.log"), collect_ / "pc2.log" },
        { "/S \"/LOG=" + spaced + "\"", spaced },
        { "-S -log=\"" + spaced + "2\"", spaced + "2" },
        { "/Log \"" + spaced + "3\" /S", spaced + "3" },
        { "-s -LOG=" + (collect_ / "nuova\\cartella\\pc4.log"), collect_ / "nuova\\cartella\\pc4.log" },
        { "/S /LOG=" + beyond1252, beyond1252 },
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.arguments);
        // Copied anew, so registered (and failing) anew.
        ::DeleteFileW(Wide(failing).c_str());
        const size_t before = LogSize();
        const RunResult result = RunWithoutWindow(*delivery, form.arguments);
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(1603u, result.exitCode);
        const std::string run = RunOf(before);
        EXPECT_EQ(run, ReadFileBytes(form.file));
        const std::vector<std::string> messages = MessagesOf(run);
        ASSERT_LE(4u, messages.size());
        EXPECT_EQ(kRunMarkers[0], messages[0]);
        EXPECT_EQ(CommandLineLine(delivery->ExePath(), form.arguments), messages[1]);
        EXPECT_EQ(kRunMarkers[5], messages[messages.size() - 2]);
        EXPECT_EQ("  CODICE DI USCITA: 1603", messages.back());
        EXPECT_TRUE(ReasonFollows(messages, "  Copia del file: \\x.dat NON RIUSCITA!!",
                                  ErrorReasonLine(ERROR_PATH_NOT_FOUND)));
        EXPECT_TRUE(ReasonFollows(messages,
                                  "  LA REGISTRAZIONE DEL FILE: " + failing + " NON E' AVVENUTA CORRETTAMENTE",
                                  ResultReasonLine(E_FAIL)));
        EXPECT_TRUE(ReasonFollows(messages, unread, ErrorReasonLine(ERROR_CANT_RESOLVE_FILENAME)));
        // Nothing else failed, so nothing else has a reason.
        EXPECT_EQ(3, std::count_if(messages.begin(), messages.end(),
                                   [](const std::string& m) { return m.rfind("    (errore ", 0) == 0; }));
    }

    const std::string first = ReadFileBytes(forms[0].file);
    const size_t before = LogSize();
    EXPECT_EQ(1603u, RunWithoutWindow(*delivery, forms[0].arguments).exitCode);
    const std::string both = ReadFileBytes(forms[0].file);
    EXPECT_EQ(first, both.substr(0, first.size()));
    EXPECT_EQ(RunOf(before), both.substr(first.size()));
}

// The removal, by the copy of the program kept in the installation folder:
// left at its question (1602, one line in the file), then silently, its block
// in the file as in the installation folder's log, with its command line and
// exit code.
TEST_F(LogSwitchE2eTest, TheRemovalWritesItsBlockAndItsEarlyEndToTheFile)
{
    auto delivery = StandardDelivery();
    ASSERT_TRUE(RunWithoutWindow(*delivery, "/S").Clean());
    const std::string program = Program();

    const std::string declined = collect_ / "rimozione-annullata.log";
    Process& asking = StartCommandLine(program, "\"" + program + "\" /UNINSTALL /LOG=" + declined);
    const MessageBoxState question = WaitForMessageBox(asking, kStartTimeoutMs);
    ASSERT_NE(nullptr, question.hwnd) << "no question";
    PostClick(question.hwnd, IDNO);
    EXPECT_EQ(1602u, ExitCodeOf(asking));
    EXPECT_EQ(std::vector<std::string>{ "RIMOZIONE NON ESEGUITA: LA RIMOZIONE NON E' STATA CONFERMATA "
                                        "(CODICE DI USCITA: 1602)" },
              MessagesOf(ReadFileBytes(declined)));

    const std::string file = collect_ / "rimozione.log";
    const std::string arguments = "/UNINSTALL /S /LOG=" + file;
    const size_t before = LogSize();
    Process& removal = StartCommandLine(program, "\"" + program + "\" " + arguments);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(removal.WaitExit(kRunTimeoutMs, &code)) << "the removal did not end";
    EXPECT_EQ(0u, code);
    const std::string run = RunOf(before);
    EXPECT_EQ(run, ReadFileBytes(file));
    const std::vector<std::string> messages = MessagesOf(run);
    ASSERT_LE(4u, messages.size());
    EXPECT_EQ("*****INIZIO RIMOZIONE *****", messages[0]);
    EXPECT_EQ(CommandLineLine(program, arguments), messages[1]);
    EXPECT_EQ("*****FINE RIMOZIONE*****", messages[messages.size() - 2]);
    EXPECT_EQ("  CODICE DI USCITA: " + std::to_string(code), messages.back());
}

// Every early end leaves one line in the file of the switch, and nothing in
// the installation folder: another installation running (1618, for the
// installation and the removal), nothing recorded to remove (1605), no
// description file (1619, with the reason), the wizard left (1602), a failed
// registration of the program (its result, with the reason).
TEST_F(LogSwitchE2eTest, AnEarlyEndLeavesItsLineInTheFile)
{
    auto delivery = StandardDelivery();
    auto linesOf = [&](const std::string& name) { return MessagesOf(ReadFileBytes(collect_ / name)); };
    {
        // The lock every installation and removal of the machine takes.
        struct Held {
            HANDLE mutex = ::CreateMutexA(nullptr, TRUE, "Global\\LumoInstall.Installazione");
            ~Held()
            {
                ::ReleaseMutex(mutex);
                ::CloseHandle(mutex);
            }
        } held;
        ASSERT_NE(nullptr, held.mutex);
        ASSERT_NE(ERROR_ALREADY_EXISTS, ::GetLastError()) << "another run holds the lock";
        RunResult result = RunWithoutWindow(*delivery, "/S /LOG=" + (collect_ / "1618.log"));
        EXPECT_EQ(1618u, result.exitCode);
        result = RunWithoutWindow(*delivery, "/UNINSTALL /S /LOG=" + (collect_ / "1618-rimozione.log"));
        EXPECT_EQ(1618u, result.exitCode);
    }
    const std::string running = "UN'ALTRA INSTALLAZIONE O RIMOZIONE E' GIA' IN CORSO SU QUESTO COMPUTER "
                                "(CODICE DI USCITA: 1618)";
    EXPECT_EQ(std::vector<std::string>{ "INSTALLAZIONE NON ESEGUITA: " + running }, linesOf("1618.log"));
    EXPECT_EQ(std::vector<std::string>{ "RIMOZIONE NON ESEGUITA: " + running }, linesOf("1618-rimozione.log"));

    EXPECT_EQ(1605u, RunWithoutWindow(*delivery, "/UNINSTALL /S /LOG=" + (collect_ / "1605.log")).exitCode);
    EXPECT_EQ(std::vector<std::string>{ "RIMOZIONE NON ESEGUITA: NESSUNA INSTALLAZIONE REGISTRATA IN " +
                                        delivery->Folder() + " (CODICE DI USCITA: 1605)" },
              linesOf("1605.log"));

    Process& wizardProcess = Start(*delivery, "/LOG=" + (collect_ / "1602.log"));
    const Wizard wizard = WaitForWizard(wizardProcess, kStartTimeoutMs);
    ASSERT_TRUE(wizard) << "no wizard";
    PressKey(wizardProcess, wizard, VK_ESCAPE);
    ConfirmExit(wizardProcess);
    EXPECT_EQ(1602u, ExitCodeOf(wizardProcess));
    EXPECT_EQ(std::vector<std::string>{ "INSTALLAZIONE NON ESEGUITA: IL PROGRAMMA E' STATO CHIUSO PRIMA "
                                        "DELL'INIZIO DELL'INSTALLAZIONE (CODICE DI USCITA: 1602)" },
              linesOf("1602.log"));

    const std::string ini = delivery->Folder() + "\\Installatore.ini";
    ASSERT_TRUE(::DeleteFileW(Wide(ini).c_str()));
    EXPECT_EQ(1619u, RunWithoutWindow(*delivery, "/S /LOG=" + (collect_ / "1619.log")).exitCode);
    EXPECT_EQ((std::vector<std::string>{ "INSTALLAZIONE NON ESEGUITA: IL FILE " + ini +
                                             " NON PUO' ESSERE LETTO (CODICE DI USCITA: 1619)",
                                         ErrorReasonLine(ERROR_FILE_NOT_FOUND) }),
              linesOf("1619.log"));
    EXPECT_FALSE(lumo_test::FileExists(LogPath())) << "an early end wrote to the installation folder";

    // Without the system registrar the registration script cannot run.
    const std::string exeName = Unique() + ".exe";
    const RegistrarSwitchedOff noRegistrar(exeName);
    Delivery registering("registra", exeName);
    registering.WriteIni(StandardIni());
    const RunResult registration =
        RunWithoutWindow(registering, "/LOG=" + (collect_ / "regserver.log") + " /RegServer");
    ASSERT_TRUE(registration.ended);
    ASSERT_NE(0u, registration.exitCode);
    char code[16] = {};
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(registration.exitCode));
    EXPECT_EQ((std::vector<std::string>{ "REGISTRAZIONE DEL PROGRAMMA NON RIUSCITA (CODICE DI USCITA: " +
                                             std::string(code) + ")",
                                         ResultReasonLine(static_cast<long>(registration.exitCode)) }),
              linesOf("regserver.log"));
}

} // namespace
