#include "pages/WelcomePage.h"

#include "app/InstallerApp.h"
#include "res/resource.h"
#include "wizard/WizardDialog.h"

WelcomePage::WelcomePage(CWnd* parent) : WhitePage(IDD_WELCOME, parent) {}

BOOL WelcomePage::OnInitDialog()
{
    WhitePage::OnInitDialog();
    if (theApp.sidInstall) {
        SetDlgItemText(IDC_TITLE,
                       "Benvenuti nel programma di installazione del client di procedura QNV Plus (Tesmoro).");
        SetDlgItemText(IDC_TEXT, "Questo programma installerà il Tesmoro in questo computer.");
    } else {
        SetDlgItemText(IDC_TITLE, theApp.ReadInstallValue("DESCRIZIONI", "Procedura"));
        SetDlgItemText(IDC_TEXT, theApp.ReadInstallValue("DESCRIZIONI", "Procedura_1"));
    }
    return TRUE;
}

void WelcomePage::OnOK()
{
    // Posted, not sent: Next destroys this page and runs the whole
    // installation, which must not happen inside this page's own handler.
    if (theApp.wizard != nullptr)
        theApp.wizard->PostMessage(WM_COMMAND, IDC_NEXT, 0);
}

void WelcomePage::OnCancel()
{
    if (theApp.wizard != nullptr)
        theApp.wizard->SendMessage(WM_COMMAND, IDCANCEL, 0);
}
