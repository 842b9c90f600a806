#include "wizard/RemovalDialog.h"

#include "framework/SessionGuard.h"
#include "engine/Removal.h"
#include "res/resource.h"
#include "wizard/WizardDialog.h"

namespace {
// Posted to itself, so that the window shows before the removal begins.
constexpr UINT kStart = WM_APP + 1;
} // namespace

RemovalDialog::RemovalDialog(Removal& removal) : CDialog(IDD_REMOVAL, nullptr), removal_(removal) {}

void RemovalDialog::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_STATUS_LINE, statusLine_);
    DDX_Control(pDX, IDC_PROGRESS_BAR, progressBar_);
}

BEGIN_MESSAGE_MAP(RemovalDialog, CDialog)
    ON_MESSAGE(kStart, OnStart)
    ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
END_MESSAGE_MAP()

BOOL RemovalDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(removal_.Product().name);
    SetDlgItemText(IDC_REMOVAL_TITLE, "Rimozione di " + removal_.Product().name + " in corso...");
    progressBar_.SetRange32(0, 100);
    PostMessage(kStart);
    return TRUE;
}

LRESULT RemovalDialog::OnStart(WPARAM, LPARAM)
{
    running_ = true;
    {
        const SessionGuard guard(m_hWnd);
        exitCode = removal_.Run(*this);
    }
    running_ = false;
    EndDialog(IDOK);
    // A quit request that came during the removal is honoured now.
    quit_.Release();
    return 0;
}

LRESULT RemovalDialog::OnQueryEndSession(WPARAM, LPARAM)
{
    return running_ ? FALSE : TRUE;
}

void RemovalDialog::OnOK()
{
    // The window ends by itself when the removal has run.
}

void RemovalDialog::OnCancel()
{
    // No removal is left half done by the user.
}

void RemovalDialog::ShowStatus(const std::string& text)
{
    statusLine_.SetWindowText(text);
}

void RemovalDialog::ShowPosition(int position)
{
    progressBar_.SetPos(position);
}

void RemovalDialog::PumpMessages()
{
    PumpMessagesHoldingQuit(quit_);
}
