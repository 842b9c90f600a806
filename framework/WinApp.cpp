#include "framework/WinApp.h"

#include "framework/Dialog.h"

#include <cstdlib>

namespace {
CWinApp* g_app = nullptr;

bool IsDialogWindow(HWND hWnd)
{
    wchar_t className[16] = {};
    return ::GetClassNameW(hWnd, className, 16) > 0 && lstrcmpW(className, L"#32770") == 0;
}

// Keyboard messages go first to the innermost dialog that holds their window,
// then outwards, so a page sees its own Enter and Esc before the wizard does.
bool PreTranslateMessage(MSG& msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    for (HWND hWnd = msg.hwnd; hWnd != nullptr; hWnd = ::GetParent(hWnd)) {
        if (IsDialogWindow(hWnd) && ::IsDialogMessageW(hWnd, &msg))
            return true;
        if ((::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) == 0)
            break;
    }
    return false;
}
} // namespace

void CCommandLineInfo::ParseParam(const char* param, bool flag, bool)
{
    if (!flag)
        return;
    if (lstrcmpiA(param, "Embedding") == 0)
        m_bRunEmbedded = true;
    else if (lstrcmpiA(param, "Automation") == 0)
        m_bRunAutomated = true;
}

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_exitCode;
}

int CWinApp::Run()
{
    while (AfxPumpMessage(&m_exitCode)) {
    }
    return ExitInstance();
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    for (int i = 1; i < __argc; ++i) {
        const char* param = __argv[i];
        const bool flag = param[0] == '-' || param[0] == '/';
        info.ParseParam(flag ? param + 1 : param, flag, i + 1 == __argc);
    }
}

BOOL CWinApp::Enable3dControls()
{
    AfxInitCommonControls();
    return TRUE;
}

BOOL CWinApp::PumpMessage()
{
    return AfxPumpMessage(&m_exitCode);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

bool AfxPumpMessage(int* exitCode)
{
    MSG msg{};
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        if (exitCode != nullptr)
            *exitCode = got == 0 ? static_cast<int>(msg.wParam) : -1;
        return false;
    }
    if (!PreTranslateMessage(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

int AfxWinMain(CWinApp& app, HINSTANCE instance)
{
    app.m_hInstance = instance;
    if (!app.InitInstance()) {
        if (app.m_pMainWnd != nullptr)
            app.m_pMainWnd->DestroyWindow();
        return app.ExitInstance();
    }
    return app.Run();
}
