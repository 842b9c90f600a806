// The application-file pass: every file of FilesToCopy, at any depth, goes
// below Program Files into the shared folder of its mirrored folder, without a
// version test.
#include "engine/Log.h"
#include "engine/Folders.h"
#include "engine/FolderTrust.h"
#include "engine/FolderWalk.h"
#include "engine/Installation.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"
#include "framework/Path.h"

#include <vector>

// One level of the pass is one folder of FilesToCopy.
class ApplicationFilePass : public FolderVisitor {
public:
    explicit ApplicationFilePass(Installation& run) : run_(run) {}

    void BeginFolder(const std::string&, const std::string&, size_t depth) override
    {
        const double step = ProgressStep(run_.delivery_.ReadInstallValue("DESCRIZIONI", "NumeroFiles"));
        steps_.resize(depth + 1);
        steps_[depth] = step;
    }

    void FolderUnlistable(const std::string& source, FolderProblem, unsigned long error) override
    {
        run_.LogUnlistableFolder(source, error);
    }

    void FolderListed() override { run_.progressPos = 0; }

    void EnterFolder(const std::string& target) override { run_.MakeFolder(target); }

    void VisitFile(const std::string& source, const std::string& name, const std::string& target,
                   size_t depth) override
    {
        const ApplicationTargets targets = ApplicationFileTargets(target, name);
        if (targets.IsDao())
            run_.MakeFolder(targets.secondaryFolder);
        run_.MakeFolder(targets.primaryFolder);

        run_.SetStatus("Copia in " + targets.primaryPath);
        run_.AdvanceProgress(steps_[depth]);

        // The first DAO copy is never logged, but it fails the run like any other.
        if (targets.IsDao()) {
            const ReplaceOutcome first = CopyDao(source, targets.secondaryPath);
            if (!first.Copied())
                run_.CountFailure();
            run_.LogRestart(first, targets.secondaryPath);
        }
        const ReplaceOutcome copied =
            targets.IsDao() ? CopyDao(source, targets.primaryPath) : CopyApplicationFile(source, targets.primaryPath);
        if (copied.Copied()) {
            run_.WriteLog("  Copiato il file: " + targets.primaryPath);
            run_.LogRestart(copied, targets.primaryPath);
        } else {
            run_.LogFailedCopy("\\" + name, copied);
        }
    }

    void EndFolder() override
    {
        run_.progressPos = 100;
        run_.SetBar(run_.progressPos);
        RegisterDao();
    }

    void FolderInterrupted() noexcept override
    {
        run_.CountFailure();
        // Windows-1252 already: the handler must not allocate.
        run_.log_.WriteLogBytes("  Si \xE8 verificato un errore nella funzione CopyDirAndFiles");
    }

    const char* FaultPoint() const override { return "CopyDirAndFiles"; }

private:
    // The DAO library's code runs elevated: it is loaded only from a folder
    // chain that is there whole and that no standard user could have
    // changed. Its result is never looked at.
    void RegisterDao()
    {
        // A chain only administrators can change stays so: it is judged once
        // a run, not at every folder.
        if (!daoChainJudged_) {
            daoChain_ = FirstLevelUsersCanChange(FolderOf(kDaoLibraryPath), MissingLevels::Refused);
            daoChainJudged_ = !daoChain_.Found();
        }
        const ChangeableLevel& refused = daoChain_;
        // Nothing there to load: as a load that fails, not reported.
        if (refused.Missing())
            return;
        if (refused.Found()) {
            run_.WriteLog("  LA REGISTRAZIONE DI " + std::string(kDaoLibraryPath) + " NON E' STATA ESEGUITA: LA CARTELLA " +
                          refused.level + " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI");
            return;
        }
        // Its code may take long: the file at work shows first.
        run_.view_.Settle();
        SelfRegister(kDaoLibraryPath);
    }

    ChangeableLevel daoChain_;
    bool daoChainJudged_ = false;

    ReplaceOutcome CopyApplicationFile(const std::string& source, const std::string& target)
    {
        return run_.PlaceRecorded(RecordKind::ApplicationFile, source, target, false, false);
    }

    // The DAO files are shared with other products: counted, as components are.
    ReplaceOutcome CopyDao(const std::string& source, const std::string& target)
    {
        const ReplaceOutcome outcome = run_.PlaceRecorded(RecordKind::DaoFile, source, target, false, true);
        if (outcome.Copied())
            run_.NoteShared(target);
        return outcome;
    }

    Installation& run_;
    // The progress step of each level being walked, by depth, read as the
    // level starts.
    std::vector<double> steps_;
};

bool Installation::CopyApplicationFiles()
{
    const std::string source = delivery_.ApplicationFilesFolder();
    const std::string target = GetProgramFilesDir();
    CreateDirectoryPath(target);
    WriteLog("*INIZIO COPIA DEI FILES*");
    return CopyDirAndFiles(source, target);
}

bool Installation::CopyDirAndFiles(std::string source, std::string target)
{
    ApplicationFilePass pass(*this);
    const bool walked = WalkFolder(source, target, pass);
    view_.Settle();
    return walked;
}
