// One installation run: the application-file pass and the system-file pass
// over a delivery, written to the log, shown through a progress view. The
// wizard runs it with its progress page as the view, the silent run with none.
#pragma once

#include "engine/BackgroundCopy.h"
#include "engine/Delivery.h"
#include "engine/FileReplace.h"
#include "engine/SelfRegister.h"

#include <string>

class InstallLog;
class ProgressView;

class Installation {
public:
    Installation(const Delivery& delivery, InstallLog& log, ProgressView& view);
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // Creates the installation folder, opens the log there and runs both
    // passes between their markers. Returns the outcome of the system-file
    // pass, which is the outcome of the run.
    bool Run(const std::string& installDir);
    // Ends the run's block of the log.
    void Finish();
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
    void LogUnlistableFolder(const std::string& folder);
    // Copies a file over its target, whole or not at all; what waits for a
    // restart is noted for the exit code and logged.
    ReplaceOutcome CopyFile(const std::string& source, const std::string& target);
    // The line that says what of a copy completes at the restart, if anything.
    void LogRestart(const ReplaceOutcome& outcome, const std::string& target);
    // A component that replaces its target only at the restart is registered then.
    void RegisterAtRestart(const std::string& path);

    const Delivery& delivery_;
    InstallLog& log_;
    ProgressView& view_;
    // Where the passes copy, so that the window answers during every copy.
    BackgroundCopy fileCopier;
    bool restartNeeded_ = false;
};
