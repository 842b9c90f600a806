// The system-file pass: every file of SysFile, at any depth, goes into the
// 32-bit system folder (or where its SYSFILE entry sends it) only when it is
// strictly newer than the file there, and is registered as its entry says.
#include "engine/InstallDescription.h"
#include "engine/Log.h"
#include "engine/Folders.h"
#include "engine/FolderWalk.h"
#include "engine/Installation.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/Path.h"
#include "version/VersionCompare.h"

#include <vector>


// One level of the pass is one folder of SysFile.
class SystemFilePass : public FolderVisitor {
public:
    explicit SystemFilePass(Installation& run) : run_(run) {}

    void BeginFolder(const std::string&, const std::string&, size_t depth) override
    {
        const double step = ProgressStep(run_.delivery_.ReadInstallValue("DESCRIZIONI", "NumeroSysFiles"));
        // A description without a single SYSFILE entry gives every file the
        // empty one: it is not asked once per file, each asking being an open
        // of the description file by the platform's reader. Asked here, where
        // a failure to allocate ends the folder as any other does.
        if (!entriesKnown_) {
            anyEntry_ = !ReadDescriptionKeys(run_.delivery_.DescriptionPath(), "SYSFILE").empty();
            entriesKnown_ = true;
        }
        windowsFolder_ = GetWindowsDir();
        steps_.resize(depth + 1);
        steps_[depth] = step;

        run_.progressPos = 100;
        run_.SetBar(run_.progressPos);
    }

    void FolderUnlistable(const std::string& source, FolderProblem, unsigned long error) override
    {
        run_.LogUnlistableFolder(source, error);
    }

    void FolderListed() override { run_.progressPos = 0; }

    void EnterFolder(const std::string& target) override { run_.MakeFolder(target); }

    void VisitFile(const std::string& source, const std::string& fileName, const std::string& target,
                   size_t depth) override
    {
        const std::string defaultPath = target + "\\" + fileName;
        run_.SetStatus("Analizza " + defaultPath);
        run_.AdvanceProgress(steps_[depth]);

        // Opened once: the version judged is that of the bytes copied.
        FileHandle sourceFile;
        const VersionReading sourceVersion = ReadSourceVersion(source, sourceFile);

        const SysFileEntry entry =
            ParseSysFileEntry(anyEntry_ ? run_.delivery_.ReadInstallPath("SYSFILE", fileName) : std::string());
        const std::string targetPath = SysFileTargetPath(entry, defaultPath, windowsFolder_, fileName);
        // An own folder is made before the version test, so also for a file
        // not copied. One that a standard user could change is neither
        // written into nor loaded from: they could put their own code there.
        std::string refusal;
        unsigned long error = 0;
        if (entry.destination == SysDestination::OwnFolder && !run_.MayUseOwnFolder(entry.folderWord, refusal, error)) {
            run_.CountFailure();
            run_.WriteLog("  IL FILE: " + targetPath + " NON E' STATO COPIATO NE' REGISTRATO: " + refusal);
            if (error != 0)
                run_.log_.WriteErrorReason(error);
            return;
        }

        // Looked for now, not in the folder's listing: another program may
        // have written it since, and a newer file must not be replaced. One
        // the restart is to delete is as good as gone.
        const bool targetThere = run_.targets_.Look(targetPath) && !run_.DeletedAtRestart(targetPath);
        const FileVersion targetVersion = targetThere ? ReadFileVersion(targetPath) : FileVersion{};
        const SystemFileAction action = DecideSystemFile(sourceVersion, targetVersion);
        if (action == SystemFileAction::SourceUnreadable) {
            run_.CountFailure();
            run_.WriteLog(UnreadableVersionLine(source, targetPath));
            run_.log_.WriteErrorReason(sourceVersion.error);
            return;
        }
        if (action == SystemFileAction::NotNewer) {
            run_.WriteLog("  FILE " + targetPath +
                          " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ");
            // Found with an equal or newer version: the product uses it all
            // the same. The product's own copy, left by a run stopped before
            // it was registered, is registered now.
            if (targetThere && run_.FoundShared(targetPath) && entry.registerAfterCopy)
                Register(targetPath, true);
            return;
        }
        const ReplaceOutcome copied = run_.PlaceRecorded(RecordKind::SystemFile, sourceFile.Get(), targetPath,
                                                         entry.registerAfterCopy, true, &targetThere);
        if (copied.Copied()) {
            run_.WriteLog("  Copiato il file: " + targetPath);
            run_.LogRestart(copied, targetPath);
            run_.NoteShared(targetPath);
        } else {
            run_.LogFailedCopy(targetPath, copied);
        }
        // Until the restart the target is the old file: the new one is registered then.
        if (entry.registerAfterCopy && copied.replacement == Replacement::NewAtRestart) {
            if (run_.RegisterAtRestart(targetPath))
                run_.NoteRegistered(targetPath);
        } else if (entry.registerAfterCopy) {
            Register(targetPath, copied.Copied());
        }
    }

    void EndFolder() override
    {
        run_.progressPos = 100;
        run_.SetBar(run_.progressPos);
    }

    // The rest of this folder is skipped: for the exit code a failure, even
    // where the enclosing folder goes on.
    void FolderInterrupted() noexcept override { run_.CountFailure(); }

    const char* FaultPoint() const override { return "CopyAndRegisterSysFiles"; }

private:
    static VersionReading ReadSourceVersion(const std::string& source, FileHandle& file)
    {
        VersionReading reading;
        if (ExceedsPathLimit(source)) {
            reading.error = ERROR_FILENAME_EXCED_RANGE;
            return reading;
        }
        file.Reset(OpenSource(source));
        if (!file) {
            reading.error = ::GetLastError();
            return reading;
        }
        return ReadVersionOf(file.Get());
    }

    // Registers the component at the target and logs how it went; ours
    // tells whether the product's own copy lies there.
    void Register(const std::string& targetPath, bool ours)
    {
        // The component's own code may take long: the file at work shows first.
        run_.view_.Settle();
        RegisterDetail detail;
        const RegisterResult registered = SelfRegister(targetPath, &detail);
        if (registered != RegisterOk)
            run_.CountFailure();
        else if (ours)
            run_.NoteRegistered(targetPath);
        LogRegistrationResult(run_.log_, registered, detail, targetPath);
    }

    Installation& run_;
    bool entriesKnown_ = false;
    bool anyEntry_ = true;
    std::string windowsFolder_;
    // The progress step of each level being walked, by depth, read as the
    // level starts.
    std::vector<double> steps_;
};

bool Installation::InstallSystemFiles()
{
    const std::string source = delivery_.SystemFilesFolder();
    bool fellBack = false;
    const std::string target = GetSystemX86Dir(fellBack);
    if (fellBack)
        WriteLog("  CARTELLA DI SISTEMA A 32 BIT NON DISPONIBILE, SI USA " + target);
    return CopyAndRegisterSysFiles(source, target);
}

bool Installation::CopyAndRegisterSysFiles(std::string source, std::string target)
{
    SystemFilePass pass(*this);
    const bool walked = WalkFolder(source, target, pass);
    view_.Settle();
    return walked;
}
