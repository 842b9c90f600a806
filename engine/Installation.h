// One installation run: the application-file pass and the system-file pass
// over a delivery, written to the log, shown through a progress view. The
// wizard runs it with its progress page as the view, the silent run with none.
#pragma once

#include "engine/BackgroundCopy.h"
#include "engine/Delivery.h"
#include "engine/FileReplace.h"
#include "engine/InstallationRecord.h"
#include "engine/SelfRegister.h"

#include <string>
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
    // pass, which is the outcome of the run.
    bool Run(const std::string& installDir);
    // Ends the run's block of the log with the code the process ends with.
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

    // The bar position, 0..100 within a folder.
    int progressPos = 0;
    // Lines of the log that report a failed copy, a failed registration, an
    // interrupted folder or one that could not be listed (the fixed DAO
    // registration, whose result is never looked at, does not count).
    int failedItems = 0;

private:
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
    // Copies a file over its target, whole or not at all; what waits for a
    // restart is noted for the exit code and logged.
    ReplaceOutcome CopyFile(const std::string& source, const std::string& target);
    // The line that says what of a copy completes at the restart, if anything.
    void LogRestart(const ReplaceOutcome& outcome, const std::string& target);
    // A component that replaces its target only at the restart is registered then.
    bool RegisterAtRestart(const std::string& path);
    // Makes a folder with its parents; those it made are the product's.
    void MakeFolder(const std::string& path);
    // A file the product placed or, for a shared one, uses.
    RecordEntry& NotePlaced(RecordKind kind, const std::string& path);
    // A shared component (a system component or a DAO file) to count once for
    // the product; existedBefore tells whether it was there before this run.
    void NoteShared(const std::string& path, bool existedBefore);
    // The record, the shared counts, the installation folder, the entry of
    // Programs and Features and the copy of the program that removes it.
    void RecordInstallation(const std::string& installDir);

    const Delivery& delivery_;
    InstallLog& log_;
    ProgressView& view_;
    // Where the passes copy, so that the window answers during every copy.
    BackgroundCopy fileCopier;
    FileReplacer replacer_{ fileCopier };
    bool restartNeeded_ = false;
    // What earlier runs of the product recorded, and what this one adds.
    InstallationRecord record_;
    struct SharedUse {
        std::string path;
        bool existedBefore;
    };
    std::vector<SharedUse> sharedUses_;
};
