// The system-file pass: every file of SysFile, at any depth, goes into the
// 32-bit system folder (or where its SYSFILE entry sends it) only when it is
// strictly newer than the file there, and is registered as its entry says.
#include "app/InstallerApp.h"
#include "engine/Folders.h"
#include "engine/Rules.h"
#include "framework/FileFind.h"
#include "version/VersionCompare.h"
#include "wizard/WizardDialog.h"

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
        const double progressStep = ProgressStep(theApp.ReadInstallValue("DESCRIZIONI", "NumeroSysFiles"));
        const std::string windowsFolder = GetWindowsDir();

        progressPos = 100;
        SetBar(progressPos);

        CFileFind finder;
        bool more = StartFolderSearch(finder, source);
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

            const SysFileEntry entry = ParseSysFileEntry(theApp.ReadInstallPath("SYSFILE", fileName));
            // An own folder is made before the version test, so also for a file not copied.
            if (entry.destination == SysDestination::OwnFolder)
                theApp.CreateDirectoryPath(entry.folderWord);
            const std::string targetPath = SysFileTargetPath(entry, defaultPath, windowsFolder, fileName);

            const FileVersion targetVersion = ReadFileVersion(targetPath);
            if (ShouldCopySystemFile(sourceVersion, targetVersion)) {
                if (fileCopier.Copy(entryPath, targetPath)) {
                    theApp.WriteLog("  Copiato il file: " + targetPath);
                } else {
                    CountFailure();
                    theApp.WriteLog("  Copia del file: " + targetPath + " NON RIUSCITA!!");
                }
                if (entry.registerAfterCopy) {
                    const RegisterResult registered = theApp.SelfRegister(targetPath);
                    if (registered != RegisterOk)
                        CountFailure();
                    LogRegistration(registered, targetPath);
                }
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
        // The rest of this folder is skipped: for the exit code a failure,
        // even where the enclosing folder goes on.
        CountFailure();
        return false;
    }
}
