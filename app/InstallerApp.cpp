#include "app/InstallerApp.h"

#include "wizard/WizardDialog.h"

#include <objbase.h>

#include <vector>

InstallerApp theApp;

namespace {
constexpr char kPathKeySection[] = "CHIAVI";
}

std::string ModulePath()
{
    // Grow until the whole path fits: a deep delivery folder is never cut short.
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        if (buffer.size() >= 32768)
            return std::string(buffer.data(), length);
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
    return lstrcmpiA(fileName.c_str(), "LumoSidInstall.exe") == 0;
}

BOOL InstallerApp::InitInstance()
{
    if (!InitComServer())
        return FALSE;

    CCommandLineInfo commandLine;
    ParseCommandLine(commandLine);
    if (commandLine.m_bRunEmbedded || commandLine.m_bRunAutomated)
        return TRUE;

    Enable3dControls();

    sidInstall = IsSidInstallName(ModulePath()) ? 1 : 0;

    if (!CheckInstallDescription())
        return FALSE;

    {
        WizardDialog dialog(nullptr);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        wizard = nullptr;
    }
    return FALSE;
}

int InstallerApp::ExitInstance()
{
    if (comServerStarted) {
        ::CoUninitialize();
        comServerStarted = false;
    }
    return CWinApp::ExitInstance();
}

bool InstallerApp::CheckInstallDescription()
{
    CrtFile file(std::fopen(InstallDescriptionPath().c_str(), "rb"));
    if (!file) {
        ::MessageBoxA(nullptr, "Informazioni di installazione non presenti.", "Pelvora ", MB_OK | MB_ICONSTOP);
        return false;
    }
    ReadRegistryDefaults();
    return true;
}

bool InstallerApp::ReadRegistryDefaults()
{
    const std::string pathKey = ReadInstallPath(kPathKeySection, "PathKey");
    RegKey key;
    // An empty path would open HKEY_LOCAL_MACHINE itself: no product key is named.
    if (pathKey.empty() ||
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, pathKey.c_str(), 0, KEY_ALL_ACCESS | kMachineRegistryView,
                        key.Receive()) != ERROR_SUCCESS) {
        key.Release();
        installDir = ReadInstallPath(kPathKeySection, "InstallationDir");
        return false;
    }

    char buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer);
    const LONG status = ::RegQueryValueExA(key.Get(), "InstallationDir", nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(buffer), &size);
    // The platform does not terminate a value stored without its terminator;
    // one that fills the buffer to the last byte does not fit.
    const bool fits = status == ERROR_SUCCESS && (size < sizeof(buffer) || buffer[sizeof(buffer) - 1] == '\0');
    if (fits) {
        buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
        installDir = buffer;
    } else {
        installDir = ReadInstallPath(kPathKeySection, "InstallationDir");
    }
    return true;
}
