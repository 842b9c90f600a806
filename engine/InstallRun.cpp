#include "app/InstallationLock.h"
#include "app/InstallerApp.h"
#include "engine/Rules.h"
#include "framework/FileFind.h"
#include "pages/CompletionPage.h"
#include "pages/HeaderBand.h"
#include "pages/ProgressPage.h"
#include "res/resource.h"
#include "wizard/WizardDialog.h"

bool WizardDialog::RunPasses()
{
    theApp.CreateDirectoryPath(theApp.installDir);
    theApp.logFile.Reset(std::fopen(LogFilePath(theApp.installDir).c_str(), "a"));

    theApp.WriteLog("*****INIZIO INSTALLAZIONE *****");
    CopyApplicationFiles();
    theApp.WriteLog("*FINE COPIA DEI FILES*");
    theApp.WriteLog("*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    const bool succeeded = InstallSystemFiles();
    theApp.WriteLog("*FINE COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    return succeeded;
}

int WizardDialog::RunExitCode(bool succeeded) const
{
    return succeeded && failedItems == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

int WizardDialog::InstallUnattended()
{
    InstallationLock lock;
    if (!lock.TryAcquire())
        return ERROR_INSTALL_ALREADY_RUNNING;
    installing = 1;
    const bool succeeded = RunPasses();
    installing = 0;
    theApp.WriteLog("*****FINE INSTALLAZIONE*****");
    return RunExitCode(succeeded);
}

void WizardDialog::InstallRun()
{
    installing = 1;
    statusLine = &progressPage->statusLine;
    progressBar = &progressPage->progressBar;
    progressBar->SetRange32(0, 100);

    const bool succeeded = RunPasses();
    exitCode = RunExitCode(succeeded);

    completionPage = std::make_unique<CompletionPage>();
    completionPage->Create(IDD_COMPLETION, this);
    if (succeeded) {
        completionPage->SetDlgItemText(IDC_TITLE, theApp.ReadInstallValue("DESCRIZIONI", "InstallazioneSuccess"));
        exitButton.SetWindowText("Fine");
        currentStep = 3;
    } else {
        completionPage->SetDlgItemText(IDC_TITLE, theApp.ReadInstallValue("DESCRIZIONI", "InstallazioneError"));
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
    theApp.WriteLog("*****FINE INSTALLAZIONE*****");
}

bool WizardDialog::StartFolderSearch(CFileFind& finder, const std::string& folder)
{
    const std::string pattern = folder + "\\*.*";
    if (finder.FindFile(pattern))
        return true;
    if (IsUnlistableFolder(pattern.size(), finder.SearchError())) {
        CountFailure();
        theApp.WriteLog("  LA CARTELLA: " + folder + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI");
    }
    return false;
}
