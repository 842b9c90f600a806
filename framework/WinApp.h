// The application object and the thread's message pump.
#pragma once

#include "framework/Wnd.h"

#include <windows.h>

// Result of reading the program's command line: the flags that tell a start
// by COM, as an embedded object or as an automation server.
class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // Called once per argument; flag is true when it is led by "-" or "/"
    // (then param comes without that character).
    virtual void ParseParam(const char* param, bool flag, bool last);

    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
};

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message loop of a process that stays up without a wizard.
    virtual int Run();

    void ParseCommandLine(CCommandLineInfo& info);
    // Prepares the common controls the dialogs use.
    BOOL Enable3dControls();
    // Fetches and dispatches one message; false on WM_QUIT.
    BOOL PumpMessage();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    int m_exitCode = 0;
};

CWinApp* AfxGetApp();

// Fetches one message, gives the dialogs it belongs to a chance to treat it as
// a dialog key, and dispatches it. Returns false on WM_QUIT (exit code out).
bool AfxPumpMessage(int* exitCode = nullptr);

// The entry sequence: InitInstance, then either ExitInstance at once or the
// message loop.
int AfxWinMain(CWinApp& app, HINSTANCE instance);
