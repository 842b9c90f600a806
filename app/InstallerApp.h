// The application object: start-up, the installation description file, the
// log, and the state that the wizard, the pages and the engine share.
#pragma once

#include "engine/Log.h"
#include "engine/Delivery.h"
#include "framework/WinApp.h"

#include <string>

class WizardDialog;

class InstallerApp : public CWinApp {
public:
    InstallerApp() = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Start-up.
    bool CheckInstallDescription();
    bool ReadRegistryDefaults();


    // The installation without any window, for /S: the same folder, passes,
    // log and registrations as the wizard's run. Returns the exit code.
    int InstallUnattended();
    // The removal of the installation recorded in the program's folder: with
    // a confirmation, a window and a final message, or without any (/S).
    // Returns the exit code.
    int RemoveInstallation();

    // Why the program ends before any run, written to the administrator's
    // copy of the log (the only one open then): one line with the exit code.
    void LogEarlyExit(const std::string& why, int code);
    // The early end of a run that could not take the machine's lock: another
    // run holds it (error 0), or it cannot be made (with the system's reason).
    void LogLockRefused(const std::string& lead, unsigned long error);

    // COM: started for the whole run; a registration switch ends the run.
    bool InitComServer();

    // The log of the run, open from the run's start to the process's end.
    InstallLog logFile;
    std::string installDir;
    int sidInstall = 0;
    WizardDialog* wizard = nullptr;
    bool comServerStarted = false;
    // Started with /S: the installation runs without any window or box.
    bool silent = false;
    // What the process ends with, for whoever started it (a script, a
    // software-distribution system): 0, or the installer error codes
    // ERROR_INSTALL_USEREXIT, ERROR_INSTALL_FAILURE, ERROR_INSTALL_ALREADY_RUNNING,
    // ERROR_INSTALL_PACKAGE_OPEN_FAILED; a failed COM registration's HRESULT.
    int exitCode = 0;
    // Why the wizard could not take the machine's lock, when it could not be made.
    unsigned long lockError = 0;
};

// The program's command line: the COM start flags, and /S (or -S, any case,
// a word of its own anywhere on the line) for an unattended installation.
class InstallerCommandLine : public CCommandLineInfo {
public:
    void ParseParam(const char* param, bool flag, bool last) override;
    bool m_bSilent = false;
    // /UNINSTALL (or -UNINSTALL, any case): the removal of the installation
    // whose folder holds the program.
    bool m_bUninstall = false;
};

extern InstallerApp theApp;

// The running executable's full path, and its folder (the path before the
// last backslash, or the whole path when there is none).
std::string ModulePath();
std::string ModuleFolder();

// The delivery the program was started from: the folder it lies in.
Delivery ProgramDelivery();

// Full path of Installatore.ini beside the executable.
std::string InstallDescriptionPath();

// True when the file name of the path (the part after its last backslash, or
// the whole path) is LumoSidInstall.exe in any letter case.
bool IsSidInstallName(const std::string& exePath);

// The file that /LOG=<file> or /LOG <file> names (any case, "-" or "/"; the
// last one given counts), as UTF-8; empty when there is none. Read from the
// wide command line, so that a name keeps characters the code page lacks.
std::string FindLogSwitch(const wchar_t* commandLine);
