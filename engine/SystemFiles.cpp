// The system-file pass: every file of SysFile, at any depth, goes into the
// 32-bit system folder (or where its SYSFILE entry sends it) only when it is
// strictly newer than the file there, and is registered as its entry says.
#include "app/InstallerApp.h"
#include "engine/Engine.h"
#include "framework/FileFind.h"
#include "version/VersionCompare.h"
#include "wizard/WizardDialog.h"

#include <shlobj.h>

#include <vector>

std::string TrimText(const std::string& text)
{
    static const char kBlanks[] = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string UpperText(std::string text)
{
    if (!text.empty())
        ::CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string GetSystemX86Dir(bool& fellBack)
{
    char buffer[MAX_PATH] = {};
    fellBack = false;
    if (::SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_SYSTEMX86, FALSE) && buffer[0] != '\0')
        return buffer;
    fellBack = true;
    const UINT length = ::GetSystemDirectoryA(buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

std::string GetWindowsDir()
{
    char buffer[4096] = {};
    const UINT length = ::GetWindowsDirectoryA(buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

bool WizardDialog::InstallSystemFiles()
{
    const std::string source = ModuleFolder() + "\\SysFile";
    bool fellBack = false;
    const std::string target = GetSystemX86Dir(fellBack);
    if (fellBack)
        theApp.WriteLog("  CARTELLA DI SISTEMA A 32 BIT NON DISPONIBILE, SI USA " + target);
    return CopyAndRegisterSysFiles(source, target);
}

namespace {

void LogRegistration(RegisterResult result, const std::string& path)
{
    switch (result) {
    case RegisterOk:
        theApp.WriteLog("  FILE: " + path + " REGISTRATO CORRETTAMENTE");
        break;
    case RegisterNotLoadable:
        theApp.WriteLog("  IL FILE: " + path + " NON PUO' ESSERE CARICATO E QUINDI REGISTRATO");
        break;
    case RegisterNoEntryPoint:
        theApp.WriteLog("  PER IL FILE DA REGISTRARE: " + path + " NON E' STATO TROVATO IL PUNTO DI INGRESSO");
        break;
    case RegisterFailed:
        theApp.WriteLog("  LA REGISTRAZIONE DEL FILE: " + path + " NON E' AVVENUTA CORRETTAMENTE");
        break;
    }
}

} // namespace

bool WizardDialog::CopyAndRegisterSysFiles(std::string source, std::string target)
{
    try {
        const std::string pattern = source + "\\*.*";
        const double progressStep = ProgressStep(theApp.ReadInstallValue("DESCRIZIONI", "NumeroSysFiles"));

        progressPos = 100;
        SetBar(progressPos);

        CFileFind finder;
        bool more = finder.FindFile(pattern);
        progressPos = 0;
        while (more) {
            more = finder.FindNextFile();
            MaybeInjectFault("CopyAndRegisterSysFiles");
            const std::string entryPath = finder.GetFilePath();

            if (finder.IsDirectory()) {
                if (finder.IsDots())
                    continue;
                const std::string folder = target + "\\" + finder.GetFileName();
                theApp.CreateDirectoryPath(folder);
                CopyAndRegisterSysFiles(entryPath, folder);
                continue;
            }

            const std::string fileName = finder.GetFileName();
            const std::string defaultPath = target + "\\" + fileName;
            SetStatus("Analizza " + defaultPath);
            AdvanceProgress(progressStep);

            const FileVersion sourceVersion = ReadFileVersion(entryPath);

            std::string targetPath = defaultPath;
            bool registerAfterCopy = true;
            const std::string entry = TrimText(theApp.ReadInstallValue("SYSFILE", fileName));
            if (!entry.empty()) {
                std::vector<std::string> pieces;
                SplitText(entry, "|", pieces, true);
                // A value without "|" is a folder word with no flag.
                if (pieces.empty())
                    pieces.push_back(entry);
                const std::string folderWord = UpperText(TrimText(pieces[0]));
                if (folderWord == "SYSPATH") {
                    targetPath = defaultPath;
                } else if (folderWord == "WINPATH") {
                    targetPath = GetWindowsDir() + "\\" + fileName;
                } else {
                    // Created before the version test, so also for a file not copied.
                    theApp.CreateDirectoryPath(folderWord);
                    targetPath = folderWord + "\\" + fileName;
                }
                registerAfterCopy = pieces.size() > 1 && UpperText(TrimText(pieces[1])) == "REG";
            }

            const FileVersion targetVersion = ReadFileVersion(targetPath);
            if (CompareVersions(sourceVersion, targetVersion)) {
                if (::CopyFileA(entryPath.c_str(), targetPath.c_str(), FALSE))
                    theApp.WriteLog("  Copiato il file: " + targetPath);
                else
                    theApp.WriteLog("  Copia del file: " + targetPath + " NON RIUSCITA!!");
                if (registerAfterCopy)
                    LogRegistration(theApp.SelfRegister(targetPath), targetPath);
            } else {
                theApp.WriteLog("  FILE " + targetPath +
                                " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ");
            }
        }
        progressPos = 100;
        SetBar(progressPos);
        finder.Close();
        return true;
    } catch (...) {
        return false;
    }
}
