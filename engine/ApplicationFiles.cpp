// The application-file pass: every file of FilesToCopy, at any depth, goes
// below Program Files into the shared folder of its mirrored folder, without a
// version test.
#include "app/InstallerApp.h"
#include "engine/Folders.h"
#include "engine/Rules.h"
#include "framework/FileFind.h"
#include "wizard/WizardDialog.h"

namespace {
constexpr char kDaoLibrary[] = "C:\\Program Files (x86)\\File comuni\\microsoft shared\\DAO\\DAO350.DLL";
} // namespace

bool WizardDialog::CopyApplicationFiles()
{
    const std::string source = ModuleFolder() + "\\FilesToCopy";
    const std::string target = GetProgramFilesDir();
    theApp.CreateDirectoryPath(target);
    theApp.WriteLog("*INIZIO COPIA DEI FILES*");
    return CopyDirAndFiles(source, target);
}

bool WizardDialog::CopyDirAndFiles(std::string source, std::string target)
{
    try {
        const double progressStep = ProgressStep(theApp.ReadInstallValue("DESCRIZIONI", "NumeroFiles"));

        CFileFind finder;
        bool more = StartFolderSearch(finder, source);
        progressPos = 0;
        while (more) {
            more = finder.FindNextFile();
            const std::string entryPath = finder.GetFilePath();

            if (finder.IsDirectory()) {
                if (finder.IsDots())
                    continue;
                const std::string folder = target + "\\" + finder.GetFileName();
                theApp.CreateDirectoryPath(folder);
                CopyDirAndFiles(entryPath, folder);
                continue;
            }

            const std::string name = "\\" + finder.GetFileName();
            const ApplicationTargets targets = ApplicationFileTargets(target, finder.GetFileName());
            if (targets.IsDao())
                theApp.CreateDirectoryPath(targets.secondaryFolder);
            theApp.CreateDirectoryPath(targets.primaryFolder);

            SetStatus("Copia in " + targets.primaryPath);
            AdvanceProgress(progressStep);

            if (targets.IsDao())
                fileCopier.Copy(entryPath, targets.secondaryPath);
            if (fileCopier.Copy(entryPath, targets.primaryPath)) {
                theApp.WriteLog("  Copiato il file: " + targets.primaryPath);
            } else {
                CountFailure();
                theApp.WriteLog("  Copia del file: " + name + " NON RIUSCITA!!");
            }
        }
        progressPos = 100;
        SetBar(progressPos);
        finder.Close();

        theApp.SelfRegister(kDaoLibrary);
        return true;
    } catch (...) {
        CountFailure();
        theApp.WriteLog("  Si \xE8 verificato un errore nella funzione CopyDirAndFiles");
        return false;
    }
}
