// The installer's only top-level window: the page area, the Next, Back and
// Exit buttons, the step machine, and the installation run it hosts and
// shows on its progress page.
#pragma once

#include "engine/Delivery.h"
#include "engine/Log.h"
#include "engine/ProgressView.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <memory>
#include <string>

class WelcomePage;
class HeaderBand;
class ProgressPage;
class CompletionPage;

// Dispatches every pending message and returns as soon as the queue is empty
// or a quit request was seen (it is left in the queue for the loop that owns
// it); never waits.
void PumpMessages();

// The same for a window in the middle of a run: a quit request is taken out
// of the queue and held until the run has ended.
void PumpMessagesHoldingQuit(HeldQuit& quit);

// What the wizard installs and where, as the program decided at its start.
struct WizardSetup {
    Delivery delivery{ std::string() };
    // The run's log, open from the run's start to the program's end.
    InstallLog* log = nullptr;
    std::string installDir;
    // Started as LumoSidInstall.exe: the pages' own texts and logo.
    bool sidInstall = false;
};

class WizardDialog : public CDialog, public ProgressView {
public:
    WizardDialog(CWnd* parent, WizardSetup setup);
    ~WizardDialog() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void ShowWelcomeStep();
    void OnNext();

    // The installation run, shown on the progress page, then the completion page.
    void InstallRun();

    // The run's view: the progress page's status line and bar.
    void ShowStatus(const std::string& text) override;
    void ShowPosition(int position) override;
    void PumpMessages() override;
    void Settle() override;

    int currentStep = 0;
    CButton exitButton;
    CButton backButton;
    CButton nextButton;
    HICON icon = nullptr;
    std::unique_ptr<WelcomePage> welcomePage;
    std::unique_ptr<HeaderBand> headerBand;
    std::unique_ptr<ProgressPage> progressPage;
    std::unique_ptr<CompletionPage> completionPage;
    // The two controls of the progress page while the run shows on it.
    CProgressCtrl* progressBar = nullptr;
    CStatic* statusLine = nullptr;
    // A quit request that came during the run, held until the run has ended.
    HeldQuit quit;
    // What the wizard ends with: the user left before the run, unless a run
    // took place or another installation was running.
    int exitCode = ERROR_INSTALL_USEREXIT;
    // Why the machine's lock could not be made, when it could not.
    unsigned long lockError = ERROR_SUCCESS;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    // No end of the session in the middle of a run.
    LRESULT OnQueryEndSession(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    // Paints what the run last showed, once a display frame has passed
    // since the last paint (always, with now).
    void PaintProgress(bool now);

    WizardSetup setup_;
    // What the run showed and the page does not show yet.
    std::string pendingStatus_;
    int pendingPosition_ = 0;
    bool statusPending_ = false;
    bool positionPending_ = false;
    ULONGLONG lastPaint_ = 0;
    // A run is under way: the wizard ignores every request to end.
    int installing = 0;
    // Shows a page at the given point of the client area, on top of its siblings.
    template <class Page>
    std::unique_ptr<Page> CreatePage(UINT templateId, int x, int y);
};
