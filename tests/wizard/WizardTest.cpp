// The wizard window around the run: the welcome page's Enter, literal
// ampersands, a window that keeps answering while a large file is copied, and
// the progress page as the run's view. These tests need a display.
#include "engine/EngineHarness.h"

#include "pages/CompletionPage.h"
#include "pages/HeaderBand.h"
#include "pages/ProgressPage.h"
#include "pages/WelcomePage.h"
#include "res/resource.h"
#include "wizard/WizardDialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace lumo_engine;
using lumo_test::ScopedInstallDescription;

namespace {

constexpr UINT_PTR kWatchId = 0x4C756D6F;

std::string WindowText(HWND window)
{
    char buffer[1024] = {};
    ::GetWindowTextA(window, buffer, sizeof(buffer));
    return buffer;
}

// A modeless wizard with the progress page's controls wired as the run wires
// them, and a record of every position the bar receives.
class WatchedWizard {
public:
    explicit WatchedWizard(WizardSetup setup) : wizard_(nullptr, std::move(setup))
    {
        if (!wizard_.Create(IDD_WIZARD)) {
            const DWORD error = ::GetLastError();
            throw std::runtime_error("the wizard window could not be created (error " + std::to_string(error) +
                                     (::GetDesktopWindow() ? ")" : ", no desktop window)"));
        }
        wizard_.statusLine = &wizard_.progressPage->statusLine;
        wizard_.progressBar = &wizard_.progressPage->progressBar;
        wizard_.progressBar->SetRange32(0, 100);
        bar_ = wizard_.progressBar->GetSafeHwnd();
        status_ = wizard_.statusLine->GetSafeHwnd();
        ::SetWindowSubclass(bar_, &WatchedWizard::BarProc, kWatchId, reinterpret_cast<DWORD_PTR>(this));
    }

    ~WatchedWizard()
    {
        ::RemoveWindowSubclass(bar_, &WatchedWizard::BarProc, kWatchId);
        wizard_.statusLine = nullptr;
        wizard_.progressBar = nullptr;
    }

    WatchedWizard(const WatchedWizard&) = delete;
    WatchedWizard& operator=(const WatchedWizard&) = delete;

    WizardDialog& Wizard() { return wizard_; }
    // The raw wParam of each PBM_SETPOS, in order.
    const std::vector<int>& BarPositions() const { return barPositions_; }
    // The control's own position right after each PBM_SETPOS.
    const std::vector<int>& ControlPositions() const { return controlPositions_; }
    // The status line's text at the moment of each PBM_SETPOS.
    const std::vector<std::string>& StatusAtBar() const { return statusAtBar_; }

private:
    static LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR data)
    {
        if (message != PBM_SETPOS)
            return ::DefSubclassProc(window, message, wParam, lParam);
        auto* self = reinterpret_cast<WatchedWizard*>(data);
        self->barPositions_.push_back(static_cast<int>(wParam));
        const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
        self->controlPositions_.push_back(static_cast<int>(::SendMessageA(window, PBM_GETPOS, 0, 0)));
        self->statusAtBar_.push_back(WindowText(self->status_));
        return result;
    }

    WizardDialog wizard_;
    HWND bar_ = nullptr;
    HWND status_ = nullptr;
    std::vector<int> barPositions_;
    std::vector<int> controlPositions_;
    std::vector<std::string> statusAtBar_;
};

// What the program hands its wizard: the test program's folder as the
// delivery, the test's log, and a folder of the test's to install in.
WizardSetup SetupOf(const Delivery& delivery, InstallLog& log, const std::string& installDir)
{
    WizardSetup setup;
    setup.delivery = delivery;
    setup.log = &log;
    setup.installDir = installDir;
    return setup;
}

class WizardTest : public EngineTest {
protected:
    WizardDialog& Wizard() { return watched_.Wizard(); }
    WizardSetup RunSetup() { return SetupOf(delivery, log.Log(), installDir_); }

    ScopedInstallDescription ini{ "[DESCRIZIONI]\r\nNumeroFiles=1\r\nNumeroSysFiles=1\r\n" };

private:
    std::string installDir_ = scratch.Make("Installazione");
    WatchedWizard watched_{ RunSetup() };
};

// The progress page shows what the run shows a windowless view, at the pace
// a person can see: the positions it paints are the run's own, in their
// order, the last of them and the last status always among them, and its bar
// keeps every position inside its range.
TEST_F(WizardTest, TheProgressPageShowsWhatTheRunShows)
{
    ini.Rewrite("[DESCRIZIONI]\r\nNumeroFiles=-2\r\nNumeroSysFiles=2\r\n");
    const std::string source = scratch.Make("FilesToCopy");
    for (const char* name : { "a.txt", "b.txt", "Sub\\c.txt" })
        PutFile(source + "\\" + name, "x");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, scratch.Make("Recorded")));
    WatchedWizard watched(RunSetup());
    Installation shown(delivery, log.Log(), watched.Wizard());
    ASSERT_TRUE(shown.CopyDirAndFiles(source, scratch.Make("Recorded")));

    ASSERT_EQ(5u, view.BarPositions().size());
    const std::vector<int>& painted = watched.BarPositions();
    ASSERT_FALSE(painted.empty());
    // A subsequence of the run's positions: each painted one in the run's order.
    size_t matched = 0;
    for (int position : view.BarPositions())
        matched += matched < painted.size() && painted[matched] == position ? 1 : 0;
    EXPECT_EQ(painted.size(), matched);
    EXPECT_EQ(view.BarPositions().back(), painted.back());
    EXPECT_EQ(view.StatusTexts().back(), WindowText(watched.Wizard().statusLine->GetSafeHwnd()));
    std::vector<int> clamped = painted;
    for (int& position : clamped)
        position = std::max(0, std::min(100, position));
    EXPECT_EQ(clamped, watched.ControlPositions());
}

// Enter on the welcome page reaches Next, which destroys that page and runs
// the whole installation: that must happen after the page's own handler has
// returned, never inside it, or the handler goes on in a deleted object.
TEST_F(WizardTest, EnterOnTheWelcomePageStartsTheRunOnlyAfterThePageHandlerReturned)
{
    WelcomePage* page = Wizard().welcomePage.get();
    ASSERT_NE(nullptr, page);

    // As the dialog manager delivers Enter to the page.
    ::SendMessageA(page->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(page, Wizard().welcomePage.get()) << "the page was destroyed inside its own Enter handler";
    EXPECT_EQ(nullptr, Wizard().completionPage.get()) << "the run ran inside the page's handler";

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(lumo_test::kHangSeconds);
    while (!Wizard().completionPage && std::chrono::steady_clock::now() < deadline) {
        ::PumpMessages();
        ::Sleep(1);
    }
    ASSERT_NE(nullptr, Wizard().completionPage.get()) << "Enter never started the run";
    EXPECT_EQ(nullptr, Wizard().welcomePage.get());
    EXPECT_EQ(3, Wizard().currentStep);
}

// A text that holds "&" is shown as written: no underlined letter, no lost
// ampersand. That matters for every static control that shows a value of the
// description file or a path.
TEST_F(WizardTest, StaticTextsShowAmpersandsLiterally)
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

// While one large file is copied the window keeps answering: the copy runs
// off the window's thread, so messages sent to the window from another thread
// are served while the copy is under way (its temporary file there, the
// target not yet), even after a quit request, which waits for the end of the
// run. How fast the window answers is the benchmark's to measure
// (bench/run.sh); here the bound only catches a window that stops answering.
TEST_F(WizardTest, TheWindowAnswersWhileALargeFileIsCopied)
{
    constexpr LONGLONG kSize = 1LL << 30;
    const std::string source = scratch.Make("FilesToCopy");
    const std::string target = scratch.Make("Programs");
    const std::string bin = target + "\\Common Files\\Business Objects\\3.0\\bin";
    const std::string landed = bin + "\\grande.dat";
    const std::string underWay = bin + "\\~LumoInstall\\grande.dat";
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

    Installation shown(delivery, log.Log(), Wizard());
    const HWND window = Wizard().GetSafeHwnd();
    std::atomic<bool> done{ false };
    std::atomic<bool> finished{ false };
    double longestWait = 0;
    int answered = 0;
    int answeredWhileCopying = 0;
    std::thread prober([&] {
        while (!done) {
            const auto sent = std::chrono::steady_clock::now();
            DWORD_PTR unused = 0;
            if (::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &unused) != 0) {
                const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - sent;
                longestWait = std::max(longestWait, waited.count());
                ++answered;
                if (lumo_test::FileExists(underWay) && !lumo_test::FileExists(landed))
                    ++answeredWhileCopying;
            }
            ::Sleep(5);
        }
        finished = true;
    });
    ::PostQuitMessage(7);
    const bool walked = shown.CopyDirAndFiles(source, target);
    done = true;
    // The prober's last message may still wait for this thread.
    while (!finished) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        ::PumpMessages();
    }
    prober.join();
    const bool copied = lumo_test::FileExists(landed);
    ::DeleteFileA(landed.c_str());

    EXPECT_TRUE(walked);
    EXPECT_TRUE(copied);
    EXPECT_GE(answeredWhileCopying, 3) << "answered " << answered << " messages, " << answeredWhileCopying
                                       << " of them while the copy was under way";
    ::testing::Test::RecordProperty("longest wait", std::to_string(longestWait * 1000) + " ms");
    EXPECT_LT(longestWait, lumo_test::kHangSeconds / 4) << "the window did not answer for " << longestWait << " s";
    EXPECT_TRUE(Wizard().quit.held) << "the quit request was lost";
    EXPECT_EQ(7, Wizard().quit.code);
    Wizard().quit.held = false;
}

} // namespace
