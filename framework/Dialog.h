// Dialogs from templates: modal (with the framework's own modal loop, so the
// thread's pre-translation serves every dialog) or modeless child pages.
#pragma once

#include "framework/Wnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

// Binds a member control to the dialog item id, once; the control's own
// message map then sees the item's messages.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    INT_PTR DoModal();
    // Creates the dialog modeless; a page passes its parent here.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL DestroyWindow() override;

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    UINT GetTemplateId() const { return m_templateId; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(HWND owner);

    UINT m_templateId;
    CWnd* m_parent;
    bool m_modal = false;
    bool m_endModal = false;
    int m_modalResult = -1;
};

// The module whose resources hold the dialog templates, bitmaps and icons.
HINSTANCE AfxGetResourceHandle();

// A message box; texts are UTF-8.
int AfxMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

// Registers the common control classes (the progress bar) once per process.
void AfxInitCommonControls();
