#include "pages/WelcomePage.h"

#include "res/resource.h"

WelcomePage::WelcomePage(CWnd* parent, PageContent content) : WhitePage(IDD_WELCOME, parent, content) {}

BOOL WelcomePage::OnInitDialog()
{
    WhitePage::OnInitDialog();
    if (content_.sidInstall) {
        SetDlgItemText(IDC_TITLE,
                       "Benvenuti nel programma di installazione del client di procedura QNV Plus (Tesmoro).");
        SetDlgItemText(IDC_TEXT, "Questo programma installerà il Tesmoro in questo computer.");
    } else {
        SetDlgItemText(IDC_TITLE, DescriptionText("DESCRIZIONI", "Procedura"));
        SetDlgItemText(IDC_TEXT, DescriptionText("DESCRIZIONI", "Procedura_1"));
    }
    return TRUE;
}

void WelcomePage::OnOK()
{
    // Posted, not sent: Next destroys this page and runs the whole
    // installation, which must not happen inside this page's own handler.
    // The page's parent is the wizard, whose buttons these are.
    ::PostMessageW(::GetParent(GetSafeHwnd()), WM_COMMAND, IDC_NEXT, 0);
}

void WelcomePage::OnCancel()
{
    ::SendMessageW(::GetParent(GetSafeHwnd()), WM_COMMAND, IDCANCEL, 0);
}
