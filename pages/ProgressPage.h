// The page shown during the run: a status line and a progress bar that the
// run writes into directly.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "res/resource.h"

class ProgressPage : public CDialog {
public:
    explicit ProgressPage(CWnd* parent = nullptr) : CDialog(IDD_PROGRESS, parent) {}

    CStatic statusLine;
    CProgressCtrl progressBar;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_STATUS_LINE, statusLine);
        DDX_Control(pDX, IDC_PROGRESS_BAR, progressBar);
    }
};
