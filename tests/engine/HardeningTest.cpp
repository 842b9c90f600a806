// The wizard and the passes at their fragile edges: the welcome page's Enter,
// ampersands in texts, an exception handler that runs out of memory, folders
// that cannot be listed, "\n" in folder paths, and a window that must keep
// answering while a large file is copied.
#include "EngineHarness.h"
#include "FailingAllocations.h"

#include "app/InstallerApp.h"
#include "components/Components.h"
#include "pages/CompletionPage.h"
#include "pages/HeaderBand.h"
#include "pages/ProgressPage.h"
#include "pages/WelcomePage.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace lumo_engine;
using lumo_test::FileExists;
using lumo_test::RegistrationCount;
using lumo_test::ScopedInstallDescription;
namespace component = lumo_test::component;

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide;
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

// Folders and files whose paths exceed what the ANSI functions accept, made
// and removed through the long-path form of the wide functions.
void MakeLongFolder(const std::string& path)
{
    if (!::CreateDirectoryW((L"\\\\?\\" + Wide(path)).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("cannot make " + path);
}

void PutLongFile(const std::string& path)
{
    HANDLE file = ::CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot write " + path);
    ::CloseHandle(file);
}

void RemoveLongTree(const std::string& path)
{
    const std::wstring root = L"\\\\?\\" + Wide(path);
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::string narrow;
            for (wchar_t c : name)
                narrow += static_cast<char>(c);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveLongTree(path + "\\" + narrow);
            else
                ::DeleteFileW((root + L"\\" + name).c_str());
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(root.c_str());
}

std::string Unreadable(const std::string& folder)
{
    return "  LA CARTELLA: " + folder + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI";
}

class Hardening : public EngineTest {
protected:
    ScopedInstallDescription ini{ "[DESCRIZIONI]\r\nNumeroFiles=1\r\nNumeroSysFiles=1\r\n" };
};

// Enter on the welcome page reaches Next, which destroys that page and runs
// the whole installation: that must happen after the page's own handler has
// returned, never inside it, or the handler goes on in a deleted object.
TEST_F(Hardening, EnterOnTheWelcomePageStartsTheRunOnlyAfterThePageHandlerReturned)
{
    theApp.installDir = scratch.Make("Installazione");
    WelcomePage* page = Wizard().welcomePage.get();
    ASSERT_NE(nullptr, page);
    ASSERT_EQ(&Wizard(), theApp.wizard);

    // As the dialog manager delivers Enter to the page.
    ::SendMessageA(page->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(page, Wizard().welcomePage.get()) << "the page was destroyed inside its own Enter handler";
    EXPECT_EQ(nullptr, Wizard().completionPage.get()) << "the run ran inside the page's handler";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Wizard().completionPage && std::chrono::steady_clock::now() < deadline) {
        PumpMessages();
        ::Sleep(1);
    }
    ASSERT_NE(nullptr, Wizard().completionPage.get()) << "Enter never started the run";
    EXPECT_EQ(nullptr, Wizard().welcomePage.get());
    EXPECT_EQ(3, Wizard().currentStep);
}

// A text that holds "&" is shown as written: no underlined letter, no lost
// ampersand. That matters for every static control that shows a value of the
// description file or a path.
TEST_F(Hardening, StaticTextsShowAmpersandsLiterally)
{
    CompletionPage completion;
    ASSERT_TRUE(completion.Create(IDD_COMPLETION, &Wizard()));
    struct Row {
        const char* control;
        HWND hwnd;
    } rows[] = {
        { "welcome title", Wizard().welcomePage->GetDlgItem(IDC_TITLE) },
        { "welcome text", Wizard().welcomePage->GetDlgItem(IDC_TEXT) },
        { "header band title", Wizard().headerBand->GetDlgItem(IDC_HEADER_TITLE) },
        { "status line", Wizard().progressPage->GetDlgItem(IDC_STATUS_LINE) },
        { "completion title", completion.GetDlgItem(IDC_TITLE) },
        { "completion text", completion.GetDlgItem(IDC_TEXT) },
    };
    for (const Row& row : rows) {
        ASSERT_NE(nullptr, row.hwnd) << row.control;
        EXPECT_NE(0, ::GetWindowLongA(row.hwnd, GWL_STYLE) & SS_NOPREFIX) << row.control;
    }
}

// Out of memory inside a pass: the call ends with false (the application pass
// with its error line), nothing escapes its handler, and the run counts the
// interrupted folder as a failure for its exit code.
TEST_F(Hardening, BothPassHandlersSurviveAnAllocationFailure)
{
    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        const std::string source = scratch.Make(system ? "SysFile" : "FilesToCopy");
        PutFile(source + "\\a.txt", "a");
        std::string from = source;
        std::string to = scratch.Make(system ? "System" : "Programs");
        Wizard().failedItems = 0;
        bool result = true;
        bool escaped = false;
        {
            ScopedFailingAllocations failing;
            try {
                result = system ? Wizard().CopyAndRegisterSysFiles(std::move(from), std::move(to))
                                : Wizard().CopyDirAndFiles(std::move(from), std::move(to));
            } catch (...) {
                escaped = true;
            }
        }
        EXPECT_FALSE(escaped) << "an exception left the pass";
        EXPECT_FALSE(result);
        EXPECT_EQ(1, Wizard().failedItems);
        const std::vector<std::string> expected =
            system ? std::vector<std::string>{}
                   : std::vector<std::string>{ "  Si \xE8 verificato un errore nella funzione CopyDirAndFiles" };
        EXPECT_EQ(expected, NewMessages());
    }
}

// A folder whose search pattern is longer than the platform allows cannot be
// listed: both passes say so in the log instead of treating it as empty. A
// folder that is simply missing stays silent.
TEST_F(Hardening, AFolderThatCannotBeListedIsLoggedByBothPasses)
{
    const std::string outer = std::string(150, 'o');
    const std::string inner = std::string(70, 'i');
    struct LongTree {
        std::string root;
        ~LongTree() { RemoveLongTree(root); }
    };

    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        LongTree tree{ scratch.Make(system ? "SysFile" : "FilesToCopy") };
        const std::string deep = tree.root + "\\" + outer + "\\" + inner;
        MakeLongFolder(tree.root + "\\" + outer);
        MakeLongFolder(deep);
        PutLongFile(deep + "\\" + "a.txt");
        ASSERT_GE(deep.size() + 4, static_cast<size_t>(MAX_PATH));
        const std::string target = scratch.Make(system ? "System" : "Programs");

        const bool walked = system ? Wizard().CopyAndRegisterSysFiles(tree.root, target)
                                   : Wizard().CopyDirAndFiles(tree.root, target);
        EXPECT_TRUE(walked);
        EXPECT_EQ(std::vector<std::string>{ Unreadable(deep) }, NewMessages());

        const bool missing = system ? Wizard().CopyAndRegisterSysFiles(tree.root + "\\Assente", target)
                                    : Wizard().CopyDirAndFiles(tree.root + "\\Assente", target);
        EXPECT_TRUE(missing);
        EXPECT_TRUE(NewMessages().empty()) << "a missing folder was logged";
    }
}

// "\n" in a folder path is part of the path (C:\nuovo), not a line break.
TEST_F(Hardening, AFolderPathWithBackslashNIsTakenAsWritten)
{
    const std::string source = scratch.Make("SysFile");
    const std::string target = scratch.Make("System");
    const std::string folder = scratch.root / "nuovo\\bin";
    ASSERT_NE(std::string::npos, folder.find("\\nuovo"));
    ini.Rewrite("[SYSFILE]\r\nstampa.dll=" + folder + "|REG\r\n");
    PutComponent(component::kRegisterOk, source + "\\stampa.dll");

    ASSERT_TRUE(Wizard().CopyAndRegisterSysFiles(source, target));

    const std::string landed = Upper(folder) + "\\stampa.dll";
    EXPECT_TRUE(FileExists(landed));
    EXPECT_EQ(1u, RegistrationCount(landed));
    EXPECT_EQ((std::vector<std::string>{ "  Copiato il file: " + landed,
                                         "  FILE: " + landed + " REGISTRATO CORRETTAMENTE" }),
              NewMessages());
}

// While one large file is copied the window keeps answering: a message sent
// to it from another thread is served within a fraction of the copy's time.
TEST_F(Hardening, TheWindowAnswersWhileALargeFileIsCopied)
{
    constexpr LONGLONG kSize = 1LL << 30;
    constexpr double kBoundSeconds = 0.1;
    const std::string source = scratch.Make("FilesToCopy");
    const std::string target = scratch.Make("Programs");
    {
        // Zeros up to the size: quick to make, as long to copy as any data.
        HANDLE file = ::CreateFileA((source + "\\grande.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER size{};
        size.QuadPart = kSize;
        EXPECT_TRUE(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file));
        ::CloseHandle(file);
    }

    const HWND window = Wizard().GetSafeHwnd();
    std::atomic<bool> done{ false };
    std::atomic<bool> finished{ false };
    double longestWait = 0;
    int answered = 0;
    std::thread prober([&] {
        while (!done) {
            const auto sent = std::chrono::steady_clock::now();
            DWORD_PTR unused = 0;
            if (::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &unused) != 0) {
                const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - sent;
                longestWait = std::max(longestWait, waited.count());
                ++answered;
            }
            ::Sleep(5);
        }
        finished = true;
    });
    const auto started = std::chrono::steady_clock::now();
    const bool walked = Wizard().CopyDirAndFiles(source, target);
    const std::chrono::duration<double> copying = std::chrono::steady_clock::now() - started;
    done = true;
    // The prober's last message may still wait for this thread.
    while (!finished) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    prober.join();
    ::DeleteFileA((target + "\\Common Files\\Business Objects\\3.0\\bin\\grande.dat").c_str());

    EXPECT_TRUE(walked);
    ASSERT_GT(copying.count(), 3 * kBoundSeconds) << "the copy was too quick to tell";
    EXPECT_GE(answered, 3);
    EXPECT_LT(longestWait, kBoundSeconds) << "the window did not answer for " << longestWait << " s of a "
                                         << copying.count() << " s copy";
}

} // namespace
