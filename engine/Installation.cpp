#include "engine/Installation.h"

#include "engine/FolderTrust.h"
#include "engine/Folders.h"
#include "engine/Log.h"
#include "engine/MachineRecord.h"
#include "engine/OwnPlaces.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <climits>
#include <cmath>
#include <optional>
#include <set>

Installation::Installation(const Delivery& delivery, InstallLog& log, ProgressView& view)
    : delivery_(delivery), log_(log), view_(view), fileCopier(view)
{
}

bool Installation::Run(const std::string& writtenDir)
{
    product_ = ReadProductIdentity(delivery_);
    // One form of the folder everywhere: the checks of its levels, the
    // entry, InstallationDir and the removal's search all see the same path.
    const std::string installDir = NormalFullPath(writtenDir);
    // A drive letter mapped to a share is no local path either.
    if (installDir.empty() || ::GetDriveTypeW(Wide(installDir.substr(0, 3)).c_str()) == DRIVE_REMOTE) {
        refusal_ = "LA CARTELLA DI INSTALLAZIONE " + writtenDir + " NON E' UN PERCORSO COMPLETO DI UN'UNITA' LOCALE";
        return false;
    }
    if (!PrepareInstallationFolder(installDir))
        return false;
    started_ = true;

    WriteLog("*****INIZIO INSTALLAZIONE *****");
    log_.WriteCommandLine();
    // What earlier runs of the product placed: kept, and counted only once.
    if (!LoadRecord(installDir))
        return false;
    if (folderTakenOver_)
        WriteLog("  LA CARTELLA DI INSTALLAZIONE: " + installDir +
                 " ESISTEVA GIA': PROPRIETARIO E AUTORIZZAZIONI SONO STATI REIMPOSTATI");
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
    if (!started_) {
        // Nothing was written in the installation folder: the reason goes to
        // the administrator's copy of the log, if there is one.
        WriteLog("INSTALLAZIONE NON ESEGUITA: " + refusal_ + " (CODICE DI USCITA: " + std::to_string(exitCode) + ")");
        if (refusalError_ != ERROR_SUCCESS)
            log_.WriteErrorReason(refusalError_);
        return;
    }
    replacer_.RemoveTemporaryFolders();
    // And those an ended run left where this one did not go.
    std::set<std::string> folders;
    for (const RecordEntry& entry : record_.entries) {
        // A folder the run made holds nothing an earlier run left.
        if (entry.kind != RecordKind::Folder && folders.insert(UpperText(FolderOf(entry.path))).second &&
            !targets_.MadeByRun(FolderOf(entry.path)))
            RemoveLeftoverTemporaryFolder(FolderOf(entry.path));
    }
    WriteLog("*****FINE INSTALLAZIONE*****");
    log_.WriteExitCode(exitCode);
}

bool Installation::PrepareInstallationFolder(const std::string& installDir)
{
    programFiles_ = GetProgramFilesDir();
    windowsFolder_ = GetWindowsDir();
    const std::string link = LinkOnTheWay(installDir);
    if (!link.empty()) {
        refusal_ = "LA CARTELLA DI INSTALLAZIONE " + installDir + " PASSA PER IL COLLEGAMENTO " + link;
        refusalError_ = kLinkRefused;
        return false;
    }
    // A level that a standard user could change would let them replace the
    // folder, or what the run writes in it, under the program's feet.
    const std::string changeable = LevelUsersCanChange(installDir, false, refusalError_);
    if (!changeable.empty()) {
        refusal_ = changeable;
        return false;
    }
    const bool existed = IsFolder(installDir);
    CreateDirectoryPath(installDir, nullptr, ProtectedFolderSddl());
    // Every folder made for the product has the access list of
    // administrators from its making; one that was there is given it before
    // anything is written in it, or is not written in.
    if (existed && !ProtectFolder(installDir)) {
        refusalError_ = ::GetLastError();
        refusal_ = "LE AUTORIZZAZIONI DELLA CARTELLA: " + installDir + " NON SONO STATE IMPOSTATE";
        return false;
    }
    if (!existed && !IsFolder(installDir)) {
        refusalError_ = ::GetLastError();
        refusal_ = "LA CARTELLA DI INSTALLAZIONE " + installDir + " NON PUO' ESSERE CREATA";
        return false;
    }
    folderTakenOver_ = existed;
    const std::string logPath = LogFilePath(installDir);
    if (!log_.Open(logPath) && ::GetLastError() == kLinkRefused) {
        refusal_ = "IL FILE " + logPath + " E' UN COLLEGAMENTO O HA UN ALTRO NOME";
        refusalError_ = kLinkRefused;
        return false;
    }
    return true;
}

std::string Installation::LevelUsersCanChange(const std::string& folder, bool loads, unsigned long& error) const
{
    // The system keeps Program Files and the Windows folder for administrators.
    if (IsBelow(folder, programFiles_) || IsBelow(folder, windowsFolder_))
        return std::string();
    const ChangeableLevel level = FirstLevelUsersCanChange(folder, loads ? MissingLevels::Refused : MissingLevels::Pass);
    if (!level.Found())
        return std::string();
    error = level.error;
    if (level.Missing())
        return "LA CARTELLA " + level.level + " NON ESISTE";
    return "LA CARTELLA " + level.level + " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI";
}

bool Installation::MayUseOwnFolder(const std::string& folder, std::string& why, unsigned long& error)
{
    const auto [at, added] = ownFolders_.try_emplace(UpperText(folder));
    auto& [refusal, refusalError] = at->second;
    if (added) {
        // Its levels as they are; when it was not there whole, the missing
        // ones are made with the access list of administrators and all are
        // looked at again: a folder that could not be made or protected
        // fails there.
        refusal = LevelUsersCanChange(folder, false, refusalError);
        if (refusal.empty() && !IsFolder(folder)) {
            MakeFolder(folder);
            refusal = LevelUsersCanChange(folder, true, refusalError);
        }
    }
    why = refusal;
    error = refusalError;
    return why.empty();
}

bool Installation::LoadRecord(const std::string& installDir)
{
    keeper_ = RecordKeeper(product_.uninstallKey, installDir);
    const RecordKeeper::Found found = keeper_.Load(record_);
    // A folder that a run of the product made, or took over, is no news.
    folderTakenOver_ = folderTakenOver_ && found != RecordKeeper::Found::Sealed;
    const std::string recordPath = keeper_.RecordPath();
    const bool notMatching = found == RecordKeeper::Found::NotMatching;
    const bool unreadable = found == RecordKeeper::Found::Unreadable;
    const DWORD readError = keeper_.Error();
    // A record that is gone while the entry still holds its digest is, for
    // now, written anew as before.
    const bool gone = unreadable && (readError == ERROR_FILE_NOT_FOUND || readError == ERROR_PATH_NOT_FOUND);
    if (unreadable && readError == kLinkRefused) {
        // Nothing is read or written through it; the record written at the
        // end takes its name back.
        CountFailure();
        WriteLog("  L'ELENCO DEI FILE INSTALLATI: " + recordPath + " E' UN COLLEGAMENTO O HA UN ALTRO NOME: NON E' STATO USATO");
    } else if ((notMatching || unreadable) && (product_.uninstallKey.empty() || gone)) {
        // Without an entry nothing seals the record: it only tells the
        // administrator, and each run writes it anew.
        WriteLog("  L'ELENCO DEI FILE INSTALLATI: " + recordPath +
                 (notMatching ? " NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE: NON E' STATO USATO"
                              : " NON PUO' ESSERE LETTO: NON E' STATO USATO"));
        if (unreadable)
            log_.WriteErrorReason(readError);
    } else if (notMatching || unreadable) {
        // Without the record the run cannot tell the product's files and
        // counts from anyone else's: a fresh one would keep its files for
        // ever and count its components twice. Nothing changes until an
        // administrator puts the record back or removes the product by hand.
        record_ = InstallationRecord();
        CountFailure();
        WriteLog("  L'ELENCO DEI FILE INSTALLATI: " + recordPath +
                 (notMatching ? " NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE: L'INSTALLAZIONE NON E' STATA ESEGUITA"
                              : " NON PUO' ESSERE LETTO: L'INSTALLAZIONE NON E' STATA ESEGUITA"));
        if (unreadable)
            log_.WriteErrorReason(readError);
        return false;
    }
    RecordKeeper::SettleCountChanges(record_);
    // A stopped run may have left a target set aside and not yet replaced:
    // the old file goes back first; then what else it left goes.
    std::set<std::string> seen;
    auto repair = [&seen](const std::string& folder) {
        if (seen.insert(UpperText(folder)).second)
            RepairLeftoversIn(folder);
    };
    for (const RecordEntry& entry : record_.entries) {
        if (entry.kind != RecordKind::Folder)
            repair(FolderOf(entry.path));
    }
    repair(installDir);
    return true;
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

ReplaceOutcome Installation::PlaceFile(const std::string& source, const std::string& target, bool flush,
                                       const TargetFound& found)
{
    TellIfFolderIsNew(target);
    return Placed(replacer_.Replace(source, target, flush, found));
}

ReplaceOutcome Installation::PlaceFile(HANDLE source, const std::string& target, bool flush,
                                       const TargetFound& found)
{
    TellIfFolderIsNew(target);
    return Placed(replacer_.Replace(source, target, flush, found));
}

void Installation::TellIfFolderIsNew(const std::string& target)
{
    if (targets_.MadeByRun(FolderOf(target)))
        replacer_.FolderIsNew(FolderOf(target));
}

ReplaceOutcome Installation::Placed(const ReplaceOutcome& outcome)
{
    restartNeeded_ = restartNeeded_ || outcome.WaitsForRestart();
    for (const std::string& link : replacer_.TakeLinksMet())
        WriteLog("  LA CARTELLA: " + link + " E' UN COLLEGAMENTO: NON E' STATA SEGUITA");
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
    // The passes ask for the same folders file after file: one that was
    // there stays so for the run (were it taken away, the copies into it
    // would fail and say so).
    if (foldersThere_.count(path) != 0)
        return;
    if (IsFolder(path)) {
        foldersThere_.insert(path);
        return;
    }
    // A folder about to be made is the product's: noted first, so that one
    // made by a run that was then stopped is not taken for someone else's.
    // Made without a note, it would be nobody's.
    for (const std::string& folder : MissingFolders(path)) {
        if (record_.Find(folder) != nullptr)
            continue;
        const RecordEntry entry{ RecordKind::Folder, folder };
        if (!keeper_.Note(entry)) {
            const DWORD error = ::GetLastError();
            // Its files fail each with their own line; the folder says why once.
            if (unnotedFolders_.insert(UpperText(folder)).second) {
                CountFailure();
                WriteLog("  LA CARTELLA: " + folder + " NON E' STATA CREATA");
                log_.WriteErrorReason(error);
            }
            return;
        }
        record_.Put(entry);
    }
    // Below Program Files and the Windows folder a folder keeps what it
    // inherits; anywhere else only administrators may change it, from the
    // moment it is made.
    const bool inherits = IsBelow(path, programFiles_) || IsBelow(path, windowsFolder_);
    std::vector<std::string> created;
    CreateDirectoryPath(path, &created, inherits ? std::wstring() : ProtectedFolderSddl());
    // Its parent may have been listed already: the record keeps only what
    // the index sees.
    for (const std::string& folder : created)
        targets_.Made(folder);
}

template <class Source>
ReplaceOutcome Installation::PlaceRecorded(RecordKind kind, const Source& source, const std::string& target,
                                           bool registerWanted, bool flush, const bool* targetThere)
{
    const RecordEntry* known = record_.Find(target);
    RecordEntry change = known != nullptr ? *known : RecordEntry{ kind, target };
    const bool doomed = DeletedAtRestart(target);
    const bool asks = known == nullptr && !doomed;
    // A name the listing lacks is not looked up: under Wine, and on other file
    // systems that compare names without regard to case, a name that is not
    // there costs a search of the whole folder, and the rename looks anyway.
    const bool taken =
        asks && (targetThere != nullptr ? *targetThere : targets_.Has(target) && targets_.Look(target));
    change.Copying(taken, registerWanted);
    const bool changes = known == nullptr || change.Line() != known->Line();
    // Copied without a note, a file would be nobody's to a run stopped after it.
    if (changes && !keeper_.Note(change)) {
        ReplaceOutcome refused;
        refused.error = ::GetLastError();
        return refused;
    }
    const std::optional<RecordEntry> before = known != nullptr ? std::optional<RecordEntry>(*known) : std::nullopt;
    // Made by another program since its folder was listed: there before,
    // and so noted before it is replaced.
    const auto found = [&] {
        RecordEntry there{ kind, target };
        there.Copying(true, registerWanted);
        if (!keeper_.Note(there))
            return false;
        change = there;
        return true;
    };
    const bool free = asks && targetThere == nullptr && !taken;
    const ReplaceOutcome outcome = free ? PlaceFile(source, target, flush, found) : PlaceFile(source, target, flush);
    if (outcome.Copied()) {
        record_.Put(change);
        targets_.Added(target, outcome.bytes);
        if (doomed)
            KeepPastRestart({ target });
    } else if (!changes) {
        // Nothing noted, nothing to take back.
    } else if (before) {
        keeper_.Note(*before);
    } else {
        // A note left behind would only tell of a file that is not there, or
        // one that was there before: the next run forgets the one and keeps
        // the other.
        keeper_.Unnote(target);
    }
    return outcome;
}

template ReplaceOutcome Installation::PlaceRecorded(RecordKind, const std::string&, const std::string&, bool, bool,
                                                    const bool*);
template ReplaceOutcome Installation::PlaceRecorded(RecordKind, const HANDLE&, const std::string&, bool, bool,
                                                    const bool*);

bool Installation::DeletedAtRestart(const std::string& target)
{
    if (!restartDeletions_) {
        restartDeletions_.emplace();
        for (const RestartOperation& operation : PendingRestartOperations()) {
            if (operation.to.empty())
                restartDeletions_->insert(UpperText(operation.from));
        }
    }
    return !restartDeletions_->empty() && restartDeletions_->count(UpperText(RealPath(target))) != 0;
}

void Installation::KeepPastRestart(const std::vector<std::string>& paths)
{
    std::vector<std::string> doomed;
    for (const std::string& path : paths) {
        if (DeletedAtRestart(path))
            doomed.push_back(path);
    }
    if (doomed.empty())
        return;
    // Asked again by the next run, which finds them still doomed, if this fails.
    if (TakeBackDeletionsAtRestart(doomed)) {
        for (const std::string& path : doomed)
            restartDeletions_->erase(UpperText(RealPath(path)));
        return;
    }
    const DWORD error = ::GetLastError();
    CountFailure();
    WriteLog("  IL FILE: " + doomed.front() + " SARA' ELIMINATO AL RIAVVIO DEL COMPUTER");
    log_.WriteErrorReason(error);
}

bool Installation::FoundShared(const std::string& path)
{
    RecordEntry& entry = record_.Entry(RecordKind::SystemFile, path);
    // A removal that gave the count back may have unregistered the product's
    // copy before it was stopped or failed: registering again costs nothing.
    const bool maybeUnregistered = entry.Copied() && entry.Registered() && entry.GivenBack();
    entry.Found();
    NoteShared(path);
    return entry.Copied() && (entry.RegistrationPending() || maybeUnregistered);
}

void Installation::NoteRegistered(const std::string& path)
{
    record_.Entry(RecordKind::SystemFile, path).RegisteredNow();
}

void Installation::NoteShared(const std::string& path)
{
    sharedUses_.push_back(path);
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
