// One installation run: the application-file pass and the system-file pass
// over a delivery, written to the log, shown through a progress view. The
// wizard runs it with its progress page as the view, the silent run with none.
#pragma once

#include "engine/BackgroundCopy.h"
#include "engine/Delivery.h"
#include "engine/FileReplace.h"
#include "engine/FolderIndex.h"
#include "engine/InstallationRecord.h"
#include "engine/RecordKeeper.h"
#include "engine/SelfRegister.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

class InstallLog;
class ProgressView;

// The product as the delivery's description file names it.
ProductIdentity ReadProductIdentity(const Delivery& delivery);

class Installation {
public:
    Installation(const Delivery& delivery, InstallLog& log, ProgressView& view);
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // Creates the installation folder, opens the log there and runs both
    // passes between their markers, then records on the machine what the run
    // placed (whatever its outcome). Returns the outcome of the system-file
    // pass, which is the outcome of the run. A folder or a log that lies
    // through a link ends the run before anything is written: false.
    bool Run(const std::string& installDir);
    // Ends the run's block of the log with the code the process ends with
    // (or, for a run refused at its start, says why on the administrator's
    // copy of the log).
    void Finish(int exitCode);
    // The process's exit code after a run with the given outcome: 1603 when
    // anything failed, else 3010 when something waits for a restart, else 0.
    int ExitCode(bool succeeded) const;
    // Something of the run completes only at the next restart.
    bool RestartNeeded() const { return restartNeeded_; }

    // The application-file pass: FilesToCopy below Program Files.
    bool CopyApplicationFiles();
    bool CopyDirAndFiles(std::string source, std::string target);
    // The system-file pass: SysFile into the 32-bit system folder.
    bool InstallSystemFiles();
    bool CopyAndRegisterSysFiles(std::string source, std::string target);
    // What the run placed and found so far, as the record will say it.
    const InstallationRecord& Record() const { return record_; }

private:
    // The bar position, 0..100 within a folder.
    int progressPos = 0;
    // Lines of the log that report a failed copy, a failed registration, an
    // interrupted folder or one that could not be listed (the fixed DAO
    // registration, whose result is never looked at, does not count).
    int failedItems = 0;

    friend class ApplicationFilePass;
    friend class SystemFilePass;

    void WriteLog(const std::string& message);
    void CountFailure() noexcept { ++failedItems; }
    // The bar position after one more file: the fraction is dropped at every
    // step, and a step that is not a finite number leaves the bar at its lowest.
    void AdvanceProgress(double progressStep);
    void SetStatus(const std::string& text);
    void SetBar(int position);
    void LogUnlistableFolder(const std::string& folder, unsigned long error);
    // A failed copy's line, and its reason under it.
    void LogFailedCopy(const std::string& shownName, const ReplaceOutcome& outcome);
    // Copies a file over its target, whole or not at all (flushed to the
    // disk first when asked); what waits for a restart is noted for the exit
    // code, and a link met where the program's folder goes is logged.
    ReplaceOutcome PlaceFile(const std::string& source, const std::string& target, bool flush = false,
                             const TargetFound& found = nullptr);
    // From a source the caller opened (OpenSource) and judged.
    ReplaceOutcome PlaceFile(HANDLE source, const std::string& target, bool flush = false,
                             const TargetFound& found = nullptr);
    // What every placing shares: the replacer told of a folder the run made,
    // and the outcome's restart and links taken in.
    void TellIfFolderIsNew(const std::string& target);
    ReplaceOutcome Placed(const ReplaceOutcome& outcome);
    // The line that says what of a copy completes at the restart, if anything.
    void LogRestart(const ReplaceOutcome& outcome, const std::string& target);
    // A component that replaces its target only at the restart is registered then.
    bool RegisterAtRestart(const std::string& path);
    // Makes a folder with its parents; those it made are the product's.
    void MakeFolder(const std::string& path);
    // Why the folder, outside Program Files and the Windows folder, is not
    // for the program to write into or load from: a level of it that a
    // standard user could change (or, when it loads, that is missing). Empty
    // when it is; error is the system's reason, if there is one.
    std::string LevelUsersCanChange(const std::string& folder, bool loads, unsigned long& error) const;
    // A folder of its own that a SYSFILE entry names: made when missing, and
    // refused (why says so) when a standard user could change any level of it.
    bool MayUseOwnFolder(const std::string& folder, std::string& why, unsigned long& error);
    // The installation folder, which is the program's own: made with an
    // access list of administrators (or taken over when it was there), and
    // never reached through a link. False, with the reason kept for Finish,
    // when the run must not start.
    bool PrepareInstallationFolder(const std::string& installDir);
    // What earlier runs recorded, and what a stopped one left: the record,
    // the journal, files set aside and folders of the program's own.
    // False for a record that cannot be trusted: the run changes nothing.
    bool LoadRecord(const std::string& installDir);
    // Copies the product's file over target, its entry noted in the journal
    // before the copy, so that a run stopped at any instant leaves the next
    // one what it needs to know; a copy that fails leaves the entry as it
    // was. A copy the journal cannot note is not made (its error is the
    // outcome's). Whether a file was there before is what the caller saw as
    // it decided (targetThere); otherwise a name the folder's listing does
    // not hold is taken as free, and the copy takes the name only if it still
    // is, or once the journal says the file was there.
    // The source is a path, or a file the caller opened (OpenSource) and judged.
    template <class Source>
    ReplaceOutcome PlaceRecorded(RecordKind kind, const Source& source, const std::string& target,
                                 bool registerWanted, bool flush, const bool* targetThere = nullptr);
    // A shared file found on the machine with an equal or newer version: the
    // product uses it. True when the product's own copy of it still waits
    // for its registration (a run that copied it was stopped before), or may
    // have lost it to a removal that gave its count back.
    bool FoundShared(const std::string& path);
    // The restart is to delete the file: a removal could not while it was in
    // use. What lies there is nobody's any more, and no copy of the
    // product's may be left to that deletion. The restart's list is read
    // once a run.
    bool DeletedAtRestart(const std::string& target);
    // The product's copies now lie there: the deletions the restart is to
    // make of them are taken back; one that cannot be fails the run.
    void KeepPastRestart(const std::vector<std::string>& paths);
    // A component the product registered.
    void NoteRegistered(const std::string& path);
    // A shared component (a system component or a DAO file) to count once for
    // the product.
    void NoteShared(const std::string& path);
    // The record, the shared counts, the installation folder, the entry of
    // Programs and Features and the copy of the program that removes it.
    void RecordInstallation(const std::string& installDir);

    const Delivery& delivery_;
    InstallLog& log_;
    ProgressView& view_;
    // Where the passes copy, so that the window answers during every copy.
    BackgroundCopy fileCopier;
    FileReplacer replacer_{ fileCopier };
    // What is in the target folders, listed once each.
    FolderIndex targets_;
    bool restartNeeded_ = false;
    // The product as the description file names it, read at the run's start.
    ProductIdentity product_;
    // Folders whose subfolders keep the access list they inherit.
    std::string programFiles_;
    std::string windowsFolder_;
    // What earlier runs of the product recorded, and what this one adds.
    InstallationRecord record_;
    RecordKeeper keeper_{ std::string(), std::string() };
    std::vector<std::string> sharedUses_;
    // Why the run did not start; empty when it did.
    std::string refusal_;
    unsigned long refusalError_ = 0;
    bool started_ = false;
    // The installation folder was there before, and no run of the product
    // made it: taken over.
    bool folderTakenOver_ = false;
    // The folders of SYSFILE entries judged so far, by their path in
    // capitals, with why each is refused (empty when it is not).
    std::map<std::string, std::pair<std::string, unsigned long>> ownFolders_;
    // The real paths, in capitals, that the restart is to delete; read when
    // first asked for.
    std::optional<std::set<std::string>> restartDeletions_;
    // Folders not made because the journal could not note them, in capitals.
    std::set<std::string> unnotedFolders_;
    // Folders found there this run, as the passes write them.
    std::unordered_set<std::string> foldersThere_;
};
