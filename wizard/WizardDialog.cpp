#include "wizard/WizardDialog.h"

#include "engine/Installation.h"
#include "engine/InstallationLock.h"
#include "framework/SessionGuard.h"
#include "framework/WinApp.h"
#include "pages/CompletionPage.h"
#include "pages/HeaderBand.h"
#include "pages/ProgressPage.h"
#include "pages/WelcomePage.h"
#include "res/resource.h"

#include <type_traits>

void PumpMessages()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        CWinApp* app = AfxGetApp();
        int exitCode = 0;
        const bool alive = app != nullptr ? app->PumpMessage() != FALSE : AfxPumpMessage(&exitCode);
        if (!alive) {
            // Leave the quit request for the loop that owns it.
            ::PostQuitMessage(exitCode);
            return;
        }
    }
}

WizardDialog::WizardDialog(CWnd* parent, WizardSetup setup) : CDialog(IDD_WIZARD, parent), setup_(std::move(setup))
{
    icon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

WizardDialog::~WizardDialog()
{
    welcomePage.reset();
    headerBand.reset();
    progressPage.reset();
    completionPage.reset();
}

void WizardDialog::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDCANCEL, exitButton);
    DDX_Control(pDX, IDC_BACK, backButton);
    DDX_Control(pDX, IDC_NEXT, nextButton);
}

BEGIN_MESSAGE_MAP(WizardDialog, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
    ON_BN_CLICKED(IDC_NEXT, OnNext)
END_MESSAGE_MAP()

template <class Page>
std::unique_ptr<Page> WizardDialog::CreatePage(UINT templateId, int x, int y)
{
    std::unique_ptr<Page> page;
    // The white pages show the delivery's texts and logo.
    if constexpr (std::is_base_of_v<WhitePage, Page>)
        page = std::make_unique<Page>(this, PageContent{ &setup_.delivery, setup_.sidInstall });
    else
        page = std::make_unique<Page>(this);
    page->Create(templateId, this);
    page->SetWindowPos(HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
    return page;
}

BOOL WizardDialog::OnInitDialog()
{
    CDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    welcomePage = CreatePage<WelcomePage>(IDD_WELCOME, 0, 0);
    headerBand = CreatePage<HeaderBand>(IDD_HEADER_BAND, 0, 0);
    const RECT band = headerBand->GetWindowRect();
    progressPage = CreatePage<ProgressPage>(IDD_PROGRESS, 0, band.bottom - band.top + 1);

    SetWindowText(setup_.delivery.ReadInstallValue("DESCRIZIONI", "Caption"));
    ShowWelcomeStep();
    return TRUE;
}

void WizardDialog::ShowWelcomeStep()
{
    currentStep = 1;
    backButton.ShowWindow(SW_HIDE);
    welcomePage->ShowWindow(SW_SHOW);
    headerBand->ShowWindow(SW_HIDE);
    nextButton.SetWindowText("Installa");
}

void WizardDialog::OnNext()
{
    // Only the welcome step starts the run, and only once: the welcome page is
    // gone from the run's start on, while currentStep stays 1 after a failure
    // and the hidden default button can still receive Enter.
    if (currentStep != 1 || installing || !welcomePage)
        return;

    // One installation at a time on the machine: another one already running
    // is never disturbed; this wizard says so and ends.
    InstallationLock lock;
    if (!lock.TryAcquire()) {
        AfxMessageBox(m_hWnd,
                      "Un'altra installazione è già in corso su questo computer.\r\n"
                      "Attendere che termini, poi riprovare.",
                      setup_.delivery.ReadInstallValue("DESCRIZIONI", "Caption"), MB_OK | MB_ICONEXCLAMATION);
        exitCode = ERROR_INSTALL_ALREADY_RUNNING;
        lockError = lock.Error();
        EndDialog(IDCANCEL);
        return;
    }

    headerBand->SetDlgItemText(IDC_HEADER_TITLE, "Installazione in corso...");
    nextButton.ShowWindow(SW_HIDE);
    backButton.ShowWindow(SW_HIDE);
    exitButton.EnableWindow(false);
    progressPage->ShowWindow(SW_SHOW);
    welcomePage->DestroyWindow();
    welcomePage.reset();
    currentStep = 1;
    InstallRun();
}

void WizardDialog::InstallRun()
{
    installing = 1;
    statusLine = &progressPage->statusLine;
    progressBar = &progressPage->progressBar;
    progressBar->SetRange32(0, 100);

    Installation run(setup_.delivery, *setup_.log, *this);
    bool succeeded = false;
    {
        const SessionGuard guard(m_hWnd);
        succeeded = run.Run(setup_.installDir);
    }
    exitCode = run.ExitCode(succeeded);

    completionPage = std::make_unique<CompletionPage>(nullptr, PageContent{ &setup_.delivery, setup_.sidInstall });
    completionPage->Create(IDD_COMPLETION, this);
    if (succeeded) {
        completionPage->SetDlgItemText(IDC_TITLE, setup_.delivery.ReadInstallValue("DESCRIZIONI", "InstallazioneSuccess"));
        if (run.RestartNeeded())
            completionPage->SetDlgItemText(IDC_TEXT, "Per completare l'installazione è necessario riavviare il "
                                                     "computer.\r\n" +
                                                         completionPage->GetDlgItemText(IDC_TEXT));
        exitButton.SetWindowText("Fine");
        currentStep = 3;
    } else {
        completionPage->SetDlgItemText(IDC_TITLE, setup_.delivery.ReadInstallValue("DESCRIZIONI", "InstallazioneError"));
        completionPage->SetDlgItemText(IDC_TEXT,
                                       "Chiudere tutte le applicazioni e riprovare.\r\n\r\n"
                                       "Se il problema persiste contattare il Vostro fornitore.\r\n\r\n"
                                       "Selezionare Esci per terminare.");
        exitButton.SetWindowText("Esci");
    }
    ::ShowWindow(completionPage->GetDlgItem(IDC_START_CLIENT), SW_HIDE);
    completionPage->SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);

    // The run's references point into the progress page, which goes now.
    statusLine = nullptr;
    progressBar = nullptr;
    headerBand->DestroyWindow();
    headerBand.reset();
    progressPage->DestroyWindow();
    progressPage.reset();

    exitButton.EnableWindow(true);
    // The button that focus had is hidden; Enter and Esc belong to Exit now.
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(exitButton.GetSafeHwnd()), TRUE);
    installing = 0;
    run.Finish(exitCode);
    // The quit request that came during the run is honoured now.
    quit.Release();
}

// A run shows each file; painting each costs more than copying a small one,
// and no one sees more than one change a frame.
constexpr ULONGLONG kFrameMs = 16;

void WizardDialog::ShowStatus(const std::string& text)
{
    pendingStatus_ = text;
    statusPending_ = true;
}

void WizardDialog::ShowPosition(int position)
{
    pendingPosition_ = position;
    positionPending_ = true;
}

void WizardDialog::PaintProgress(bool now)
{
    const ULONGLONG tick = ::GetTickCount64();
    if (!now && tick - lastPaint_ < kFrameMs)
        return;
    lastPaint_ = tick;
    if (statusPending_ && statusLine != nullptr)
        statusLine->SetWindowText(pendingStatus_);
    if (positionPending_ && progressBar != nullptr)
        progressBar->SetPos(pendingPosition_);
    statusPending_ = false;
    positionPending_ = false;
}

void WizardDialog::Settle()
{
    PaintProgress(true);
}

void PumpMessagesHoldingQuit(HeldQuit& quit)
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        int code = 0;
        if (!AfxPumpMessage(&code))
            quit.Hold(code);
    }
}

void WizardDialog::PumpMessages()
{
    PaintProgress(false);
    PumpMessagesHoldingQuit(quit);
}

LRESULT WizardDialog::OnQueryEndSession(WPARAM, LPARAM)
{
    return installing ? FALSE : TRUE;
}

void WizardDialog::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const RECT client = GetClientRect();
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR WizardDialog::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(icon);
}

void WizardDialog::OnOK()
{
    // The wizard ends only through OnCancel, which knows when it may.
}

void WizardDialog::OnCancel()
{
    if (installing)
        return;
    if (currentStep > 2) {
        CDialog::OnCancel();
        return;
    }
    const std::string caption = setup_.delivery.ReadInstallValue("DESCRIZIONI", "Caption");
    SetWindowText(caption);
    if (AfxMessageBox(m_hWnd, "Terminare il programma di Installazione", caption,
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
        CDialog::OnCancel();
}
