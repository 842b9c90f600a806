// The window of a removal started from Programs and Features: the product's
// name, a status line and a bar while the removal runs. It cannot be closed
// in the middle: no removal is left half done by the user.
#pragma once

#include "engine/ProgressView.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

class Removal;

class RemovalDialog : public CDialog, public ProgressView {
public:
    explicit RemovalDialog(Removal& removal);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void ShowStatus(const std::string& text) override;
    void ShowPosition(int position) override;
    void PumpMessages() override;

    // The removal's exit code, once it has run.
    int exitCode = ERROR_INSTALL_FAILURE;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT OnStart(WPARAM, LPARAM);
    LRESULT OnQueryEndSession(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    Removal& removal_;
    CStatic statusLine_;
    CProgressCtrl progressBar_;
    bool running_ = false;
    HeldQuit quit_;
};
