#include "app/InstallerApp.h"

#include "comserver/ComServer.h"
#include "engine/InstallDescription.h"
#include "engine/InstallFolder.h"
#include "engine/InstallationLock.h"
#include "engine/Installation.h"
#include "engine/ProgressView.h"
#include "engine/Removal.h"
#include "engine/Rules.h"
#include "framework/Dialog.h"
#include "framework/Text.h"
#include "wizard/RemovalDialog.h"
#include "wizard/WizardDialog.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

InstallerApp theApp;

namespace {
constexpr char kAnotherRunning[] = "UN'ALTRA INSTALLAZIONE O RIMOZIONE E' GIA' IN CORSO SU QUESTO COMPUTER";
} // namespace

std::string ModulePath()
{
    // Grow until the whole path fits: a deep delivery folder is never cut short.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size() || buffer.size() >= 32768)
            return Utf8(std::wstring(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ModuleFolder()
{
    std::string path = ModulePath();
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos)
        path.erase(slash);
    return path;
}

bool IsSidInstallName(const std::string& exePath)
{
    const size_t slash = exePath.rfind('\\');
    const std::string fileName = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
    return lstrcmpiW(Wide(fileName).c_str(), L"LumoSidInstall.exe") == 0;
}

void InstallerCommandLine::ParseParam(const char* param, bool flag, bool last)
{
    if (flag && lstrcmpiA(param, "S") == 0)
        m_bSilent = true;
    else if (flag && lstrcmpiA(param, "UNINSTALL") == 0)
        m_bUninstall = true;
    else
        CCommandLineInfo::ParseParam(param, flag, last);
}

std::string FindLogSwitch(const wchar_t* commandLine)
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr)
        return std::string();
    auto isSwitch = [](const wchar_t* argument) { return argument[0] == L'-' || argument[0] == L'/'; };
    auto named = [](const wchar_t* text, const wchar_t* name, int length) {
        return ::CompareStringOrdinal(text, length, name, length, TRUE) == CSTR_EQUAL;
    };
    std::string path;
    for (int i = 1; i < count; ++i) {
        if (!isSwitch(arguments[i]))
            continue;
        const wchar_t* name = arguments[i] + 1;
        const int length = lstrlenW(name);
        if (length > 4 && named(name, L"LOG=", 4)) {
            path = Utf8(name + 4);
        } else if (length == 3 && named(name, L"LOG", 3) && i + 1 < count) {
            // "/LOG <file>": a switch that follows is no file name.
            const wchar_t* next = arguments[i + 1];
            if (next[0] != L'\0' && !isSwitch(next))
                path = Utf8(arguments[++i]);
        }
    }
    ::LocalFree(arguments);
    return path;
}

void InstallerApp::LogEarlyExit(const std::string& why, int code)
{
    // A failed registration ends with its result, shown as the system shows one.
    std::string shown = std::to_string(code);
    if (code < 0) {
        char hex[16] = {};
        std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(code));
        shown = hex;
    }
    logFile.WriteLog(why + " (CODICE DI USCITA: " + shown + ")");
}

void InstallerApp::LogLockRefused(const std::string& lead, unsigned long error)
{
    if (error == ERROR_SUCCESS) {
        LogEarlyExit(lead + kAnotherRunning, ERROR_INSTALL_ALREADY_RUNNING);
        return;
    }
    // No run can be sure to be the only one: none starts.
    LogEarlyExit(lead + "IL BLOCCO CHE IMPEDISCE DUE INSTALLAZIONI CONTEMPORANEE NON PUO' ESSERE CREATO",
                 ERROR_INSTALL_ALREADY_RUNNING);
    logFile.WriteErrorReason(error);
}

BOOL InstallerApp::InitInstance()
{
    // The administrator's copy of the log, before anything can end the program.
    const std::string logCopy = FindLogSwitch(::GetCommandLineW());
    if (!logCopy.empty())
        logFile.OpenCopy(logCopy);

    if (!InitComServer())
        return FALSE;

    InstallerCommandLine commandLine;
    ParseCommandLine(commandLine);
    if (commandLine.m_bRunEmbedded || commandLine.m_bRunAutomated)
        return TRUE;
    silent = commandLine.m_bSilent;

    // A silent run has no window at all and needs no display; nor may the
    // system stop it with a box of its own (a drive not ready, a crash).
    if (silent)
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    else
        Enable3dControls();

    sidInstall = IsSidInstallName(ModulePath()) ? 1 : 0;

    // The removal works from the record in the program's home; it needs no
    // description file.
    if (commandLine.m_bUninstall) {
        try {
            exitCode = RemoveInstallation();
        } catch (...) {
            exitCode = ERROR_INSTALL_FAILURE;
        }
        return FALSE;
    }

    if (!CheckInstallDescription()) {
        exitCode = ERROR_INSTALL_PACKAGE_OPEN_FAILED;
        return FALSE;
    }

    if (silent) {
        // Whatever escapes the run (memory exhausted) still ends the process
        // with a failure its caller can read.
        try {
            exitCode = InstallUnattended();
        } catch (...) {
            exitCode = ERROR_INSTALL_FAILURE;
        }
        return FALSE;
    }

    {
        WizardSetup setup;
        setup.delivery = ProgramDelivery();
        setup.log = &logFile;
        setup.installDir = installDir;
        setup.sidInstall = sidInstall != 0;
        WizardDialog dialog(nullptr, std::move(setup));
        wizard = &dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        exitCode = dialog.exitCode;
        lockError = dialog.lockError;
        wizard = nullptr;
    }
    if (exitCode == ERROR_INSTALL_USEREXIT)
        LogEarlyExit("INSTALLAZIONE NON ESEGUITA: IL PROGRAMMA E' STATO CHIUSO PRIMA DELL'INIZIO DELL'INSTALLAZIONE",
                     exitCode);
    else if (exitCode == ERROR_INSTALL_ALREADY_RUNNING)
        LogLockRefused("INSTALLAZIONE NON ESEGUITA: ", lockError);
    return FALSE;
}

int InstallerApp::RemoveInstallation()
{
    const std::string folder = ModuleFolder();
    InstallationLock lock;
    if (!lock.TryAcquire()) {
        LogLockRefused("RIMOZIONE NON ESEGUITA: ", lock.Error());
        if (!silent)
            AfxMessageBox(nullptr,
                          "Un'altra installazione o rimozione è già in corso su questo computer.\r\n"
                          "Attendere che termini, poi riprovare.",
                          "LumoInstall", MB_OK | MB_ICONEXCLAMATION);
        return ERROR_INSTALL_ALREADY_RUNNING;
    }

    Removal removal(folder, ModulePath(), logFile);
    const Removal::Found found = removal.Load();
    if (found == Removal::Found::Nothing) {
        LogEarlyExit("RIMOZIONE NON ESEGUITA: NESSUNA INSTALLAZIONE REGISTRATA IN " + folder, ERROR_UNKNOWN_PRODUCT);
        if (!silent)
            AfxMessageBox(nullptr, "Su questo computer non risulta installato nulla da rimuovere con questo programma.",
                          "LumoInstall", MB_OK | MB_ICONINFORMATION);
        return ERROR_UNKNOWN_PRODUCT;
    }
    // What cannot be trusted is not removed: the removal only says why, in
    // its block of the log, and the entry stays for the administrator.
    if (found == Removal::Found::Refused) {
        WindowlessView view;
        const int code = removal.Run(view);
        view.ReleaseQuit();
        if (!silent)
            AfxMessageBox(nullptr,
                          "La rimozione non può essere eseguita: l'elenco dei file installati non corrisponde a "
                          "quanto registrato sul computer.\r\nIl motivo è scritto in " +
                              LogFilePath(removal.InstallDir()) + ".",
                          "LumoInstall", MB_OK | MB_ICONEXCLAMATION);
        return code;
    }
    if (silent) {
        WindowlessView view;
        const int code = removal.Run(view);
        view.ReleaseQuit();
        return code;
    }

    const std::string name = removal.Product().name;
    if (AfxMessageBox(nullptr, "Rimuovere " + name + " dal computer?", name,
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        LogEarlyExit("RIMOZIONE NON ESEGUITA: LA RIMOZIONE NON E' STATA CONFERMATA", ERROR_INSTALL_USEREXIT);
        return ERROR_INSTALL_USEREXIT;
    }
    int code = ERROR_INSTALL_FAILURE;
    {
        RemovalDialog dialog(removal);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        code = dialog.exitCode;
    }
    if (code == ERROR_INSTALL_FAILURE)
        AfxMessageBox(nullptr,
                      "La rimozione di " + name + " non è stata completata.\r\nIl motivo è scritto in " +
                          LogFilePath(removal.InstallDir()) + ".",
                      name, MB_OK | MB_ICONEXCLAMATION);
    else
        AfxMessageBox(nullptr,
                      name + " è stato rimosso dal computer." +
                          (code == ERROR_SUCCESS_REBOOT_REQUIRED
                               ? "\r\nPer completare la rimozione è necessario riavviare il computer."
                               : ""),
                      name, MB_OK | MB_ICONINFORMATION);
    return code;
}

int InstallerApp::InstallUnattended()
{
    InstallationLock lock;
    if (!lock.TryAcquire()) {
        LogLockRefused("INSTALLAZIONE NON ESEGUITA: ", lock.Error());
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    const Delivery delivery = ProgramDelivery();
    WindowlessView view;
    Installation run(delivery, logFile, view);
    // Without a window there is nothing the system could ask; whenever the
    // session ends, every file is the old one or the new one.
    const bool succeeded = run.Run(installDir);
    const int code = run.ExitCode(succeeded);
    run.Finish(code);
    view.ReleaseQuit();
    return code;
}

bool InstallerApp::InitComServer()
{
    comServerStarted = true;
    const HRESULT started = ::CoInitialize(nullptr);
    if (FAILED(started)) {
        comServerStarted = false;
        exitCode = static_cast<int>(started);
        return false;
    }

    // The script's result is what a caller learns; a missing type library is
    // the normal case and does not count.
    HRESULT script = S_OK;
    const ServerSwitch requested = FindServerSwitch(::GetCommandLineA());
    switch (requested) {
    case ServerSwitch::Unregister:
        script = UpdateRegistryFromScript(ModulePath(), false);
        UnregisterTypeLibrary(ModulePath());
        break;
    case ServerSwitch::Register:
        script = UpdateRegistryFromScript(ModulePath(), true);
        RegisterTypeLibrary(ModulePath());
        break;
    case ServerSwitch::None:
        return true;
    }
    exitCode = FAILED(script) ? static_cast<int>(script) : 0;
    if (FAILED(script)) {
        LogEarlyExit(requested == ServerSwitch::Register ? "REGISTRAZIONE DEL PROGRAMMA NON RIUSCITA"
                                                         : "DEREGISTRAZIONE DEL PROGRAMMA NON RIUSCITA",
                     exitCode);
        logFile.WriteResultReason(script);
    }
    comServerStarted = false;
    ::CoUninitialize();
    return false;
}

int InstallerApp::ExitInstance()
{
    if (comServerStarted) {
        ::CoUninitialize();
        comServerStarted = false;
    }
    // A process that ran as a COM server ends with its message loop's code.
    const int frameworkCode = CWinApp::ExitInstance();
    return exitCode != 0 ? exitCode : frameworkCode;
}

bool InstallerApp::CheckInstallDescription()
{
    CrtFile file(::_wfopen(Wide(InstallDescriptionPath()).c_str(), L"rb"));
    if (!file) {
        const DWORD error = ::GetLastError();
        LogEarlyExit("INSTALLAZIONE NON ESEGUITA: IL FILE " + InstallDescriptionPath() + " NON PUO' ESSERE LETTO",
                     ERROR_INSTALL_PACKAGE_OPEN_FAILED);
        logFile.WriteErrorReason(error);
        if (!silent)
            AfxMessageBox(nullptr, "Informazioni di installazione non presenti.", "Pelvora ", MB_OK | MB_ICONSTOP);
        return false;
    }
    ReadRegistryDefaults();
    return true;
}

bool InstallerApp::ReadRegistryDefaults()
{
    const InstallFolder decided = DecideInstallFolder(InstallDescriptionPath());
    installDir = decided.folder;
    return decided.keyOpened;
}

Delivery ProgramDelivery()
{
    return Delivery(ModuleFolder(), ModulePath());
}

std::string InstallDescriptionPath()
{
    return ProgramDelivery().DescriptionPath();
}
