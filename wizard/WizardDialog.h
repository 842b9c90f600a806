// The installer's only top-level window: the page area, the Next, Back and
// Exit buttons, the step machine, and the installation run it hosts.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "wizard/BackgroundCopy.h"

#include <memory>
#include <string>

class CFileFind;
class WelcomePage;
class HeaderBand;
class ProgressPage;
class CompletionPage;

// Dispatches every pending message and returns as soon as the queue is empty;
// never waits.
void PumpMessages();

// The same, telling whether pumping may go on: false once a quit request was
// seen (it is left in the queue for the loop that owns it).
bool PumpMessagesUntilQuit();

class WizardDialog : public CDialog {
public:
    explicit WizardDialog(CWnd* parent);
    ~WizardDialog() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void ShowWelcomeStep();
    void OnNext();

    // The installation run and its two passes.
    void InstallRun();
    // The same run without any window, for /S: the same folder, passes, log
    // and registrations. Returns the process's exit code.
    int InstallUnattended();
    bool CopyApplicationFiles();
    bool CopyDirAndFiles(std::string source, std::string target);
    bool InstallSystemFiles();
    bool CopyAndRegisterSysFiles(std::string source, std::string target);

    int currentStep = 0;
    CButton exitButton;
    CButton backButton;
    CButton nextButton;
    HICON icon = nullptr;
    std::unique_ptr<WelcomePage> welcomePage;
    std::unique_ptr<HeaderBand> headerBand;
    std::unique_ptr<ProgressPage> progressPage;
    std::unique_ptr<CompletionPage> completionPage;
    CProgressCtrl* progressBar = nullptr;
    CStatic* statusLine = nullptr;
    int progressPos = 0;
    int installing = 0;
    // Lines of the log that report a failed copy, a failed registration, an
    // interrupted folder or one that could not be listed (the fixed DAO
    // registration, whose result is never looked at, does not count).
    int failedItems = 0;
    // What the wizard ends with: the user left before the run, unless a run
    // took place or another installation was running.
    int exitCode = ERROR_INSTALL_USEREXIT;
    // Where the passes copy, so that the window answers during every copy.
    BackgroundCopy fileCopier;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    DECLARE_MESSAGE_MAP()

private:
    // Shows a page at the given point of the client area, on top of its siblings.
    template <class Page>
    std::unique_ptr<Page> CreatePage(UINT templateId, int x, int y);

    // Steps of a run shared by the wizard and the unattended run: the
    // installation folder, the log, both passes and their markers. Returns
    // the outcome of the system-file pass.
    bool RunPasses();
    // The exit code of a run with the given outcome.
    int RunExitCode(bool succeeded) const;
    void CountFailure() noexcept { ++failedItems; }

    // The bar position after one more file: the fraction is dropped at every
    // step, and a step that is not a finite number leaves the bar at its lowest.
    void AdvanceProgress(double progressStep);
    void SetStatus(const std::string& text);
    void SetBar(int position);
    // Starts the search of a pass's folder. A folder that is there but cannot
    // be listed is logged, so that nothing is skipped without a trace; a
    // missing one is simply empty.
    bool StartFolderSearch(CFileFind& finder, const std::string& folder);
};

// Where the fault-injection seam of test builds can make a pass throw.
#ifdef LUMO_FAULT_INJECTION
void MaybeInjectFault(const char* where);
#else
inline void MaybeInjectFault(const char*) {}
#endif
