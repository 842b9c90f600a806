#include "framework/Dialog.h"

#include "framework/Text.h"
#include "framework/WinApp.h"

#include <commctrl.h>

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleW(nullptr);
}

int AfxMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    return ::MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

void AfxInitCommonControls()
{
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX icc{ sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS };
        return ::InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)initialised;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.GetSafeHwnd() != nullptr)
        return;
    control.SubclassWindow(pDX->m_pDlgWnd->GetDlgItem(id));
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd != nullptr) {
        // Cut the link first so no message reaches the object being destroyed.
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(Detach());
    }
}

BOOL CDialog::DestroyWindow()
{
    if (m_hWnd == nullptr)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    return ::DestroyWindow(Detach());
}

HWND CDialog::CreateFromTemplate(HWND owner)
{
    AfxInitCommonControls();
    return ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_templateId), owner,
                                &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    if (parent != nullptr)
        m_parent = parent;
    m_modal = false;
    return CreateFromTemplate(m_parent ? m_parent->GetSafeHwnd() : nullptr) != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = m_parent ? m_parent->GetSafeHwnd() : nullptr;
    const bool disableOwner = owner != nullptr && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);

    m_modal = true;
    m_endModal = false;
    m_modalResult = -1;
    if (CreateFromTemplate(owner) == nullptr) {
        if (disableOwner)
            ::EnableWindow(owner, TRUE);
        return -1;
    }
    if (!m_endModal)
        ShowWindow(SW_SHOWNORMAL);

    CWinApp* app = AfxGetApp();
    while (!m_endModal) {
        const bool alive = app != nullptr ? app->PumpMessage() : AfxPumpMessage();
        if (!alive) {
            // Hand the quit request on to the outer loop.
            ::PostQuitMessage(0);
            if (m_modalResult == -1)
                m_modalResult = IDCANCEL;
            break;
        }
    }

    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (owner != nullptr && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(owner);
    DestroyWindow();
    m_modal = false;
    return m_modalResult;
}

void CDialog::EndDialog(int result)
{
    // A modeless page is never ended this way; only the modal loop has an end.
    if (!m_modal)
        return;
    m_modalResult = result;
    m_endModal = true;
    if (m_hWnd != nullptr)
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!DispatchToMap(message, wParam, lParam, result))
        return FALSE;
    switch (message) {
    // These messages return their value directly instead of through DWLP_MSGRESULT.
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
            self->m_hWnd = hWnd;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
        if (self == nullptr)
            return FALSE;
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            return FALSE;
        }
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the platform's dialog manager.
        return FALSE;
    }
}
