#include "engine/Installation.h"

#include "engine/Folders.h"
#include "engine/Log.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"

#include <windows.h>

#include <climits>
#include <cmath>

Installation::Installation(const Delivery& delivery, InstallLog& log, ProgressView& view)
    : delivery_(delivery), log_(log), view_(view), fileCopier(view)
{
}

bool Installation::Run(const std::string& installDir)
{
    CreateDirectoryPath(installDir);
    log_.Open(LogFilePath(installDir));
    // What earlier runs of the product placed: kept, and counted only once.
    record_.Load(InstallationRecord::PathIn(installDir));

    WriteLog("*****INIZIO INSTALLAZIONE *****");
    log_.WriteCommandLine();
    CopyApplicationFiles();
    WriteLog("*FINE COPIA DEI FILES*");
    WriteLog("*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    const bool succeeded = InstallSystemFiles();
    WriteLog("*FINE COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    RecordInstallation(installDir);
    return succeeded;
}

void Installation::Finish(int exitCode)
{
    replacer_.RemoveTemporaryFolders();
    WriteLog("*****FINE INSTALLAZIONE*****");
    log_.WriteExitCode(exitCode);
}

int Installation::ExitCode(bool succeeded) const
{
    if (!succeeded || failedItems != 0)
        return ERROR_INSTALL_FAILURE;
    return restartNeeded_ ? ERROR_SUCCESS_REBOOT_REQUIRED : ERROR_SUCCESS;
}

void Installation::WriteLog(const std::string& message)
{
    log_.WriteLog(message);
}

void Installation::AdvanceProgress(double progressStep)
{
    const double next = std::trunc(static_cast<double>(progressPos) + progressStep);
    // A count of 0, one too small or not a number gives a step that no integer
    // holds; the bar then stays at its lowest position until the folder ends.
    if (std::isfinite(next) && next >= static_cast<double>(INT_MIN) && next <= static_cast<double>(INT_MAX))
        progressPos = static_cast<int>(next);
    else
        progressPos = 0;
    SetBar(progressPos);
}

void Installation::SetStatus(const std::string& text)
{
    view_.ShowStatus(text);
    view_.PumpMessages();
}

void Installation::SetBar(int position)
{
    view_.ShowPosition(position);
    view_.PumpMessages();
}

ReplaceOutcome Installation::CopyFile(const std::string& source, const std::string& target)
{
    const ReplaceOutcome outcome = replacer_.Replace(source, target);
    restartNeeded_ = restartNeeded_ || outcome.WaitsForRestart();
    return outcome;
}

void Installation::LogRestart(const ReplaceOutcome& outcome, const std::string& target)
{
    if (outcome.replacement == Replacement::OldDeletedAtRestart)
        WriteLog("  IL FILE: " + target +
                 " ERA IN USO: E' STATO SOSTITUITO, LA VERSIONE PRECEDENTE SARA' ELIMINATA AL RIAVVIO DEL COMPUTER");
    else if (outcome.replacement == Replacement::NewAtRestart)
        WriteLog("  IL FILE: " + target + " E' IN USO: LA NUOVA VERSIONE LO SOSTITUIRA' AL RIAVVIO DEL COMPUTER");
}

bool Installation::RegisterAtRestart(const std::string& path)
{
    unsigned long error = ERROR_SUCCESS;
    if (ScheduleRegistration(path, &error)) {
        restartNeeded_ = true;
        WriteLog("  IL FILE: " + path + " SARA' REGISTRATO AL RIAVVIO DEL COMPUTER");
        return true;
    }
    CountFailure();
    WriteLog("  LA REGISTRAZIONE DEL FILE: " + path + " NON E' AVVENUTA CORRETTAMENTE");
    log_.WriteErrorReason(error);
    return false;
}

void Installation::MakeFolder(const std::string& path)
{
    std::vector<std::string> created;
    CreateDirectoryPath(path, &created);
    for (const std::string& folder : created)
        record_.Entry(RecordKind::Folder, folder);
}

RecordEntry& Installation::NotePlaced(RecordKind kind, const std::string& path)
{
    return record_.Entry(kind, path);
}

void Installation::NoteShared(const std::string& path, bool existedBefore)
{
    sharedUses_.push_back({ path, existedBefore });
}

void Installation::LogUnlistableFolder(const std::string& folder, unsigned long error)
{
    CountFailure();
    WriteLog("  LA CARTELLA: " + folder + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI");
    log_.WriteErrorReason(error);
}

void Installation::LogFailedCopy(const std::string& shownName, const ReplaceOutcome& outcome)
{
    CountFailure();
    WriteLog("  Copia del file: " + shownName + " NON RIUSCITA!!");
    log_.WriteErrorReason(outcome.error);
}
