#include "engine/Removal.h"

#include "engine/FileReplace.h"
#include "engine/FolderTrust.h"
#include "engine/Folders.h"
#include "engine/Log.h"
#include "engine/MachineRecord.h"
#include "engine/OwnPlaces.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"
#include "engine/SelfRegister.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <algorithm>
#include <set>

Removal::Removal(std::string folder, std::string program, InstallLog& log)
    : folder_(std::move(folder)), program_(std::move(program)), log_(log)
{
}

Removal::Found Removal::Load()
{
    // The machine names the product whose home this is; the record only
    // tells what it placed, once its digest matches. An installation made
    // before homes is found by its installation folder, where its program ran.
    std::vector<std::string> candidates = EntriesHomedIn(folder_);
    homed_ = !candidates.empty();
    if (!homed_)
        candidates = EntriesInstalledIn(folder_);
    const auto installDirOf = [this](const std::string& entryKey) {
        std::string location;
        if (homed_ && ReadEntryText(entryKey, L"InstallLocation", location))
            return location;
        return homed_ ? std::string() : folder_;
    };
    std::string entryKey;
    for (const std::string& candidate : candidates) {
        RecordKeeper keeper(candidate, installDirOf(candidate));
        InstallationRecord probe;
        const RecordKeeper::Found found = keeper.Load(probe);
        if (entryKey.empty() || found == RecordKeeper::Found::Sealed ||
            found == RecordKeeper::Found::RemovalFinishing)
            entryKey = candidate;
    }
    installDir_ = entryKey.empty() ? folder_ : installDirOf(entryKey);
    // Whatever the entry says, the log goes somewhere the administrator finds it.
    if (installDir_.empty())
        installDir_ = folder_;
    const std::string recordPath = InstallationRecord::PathIn(folder_);
    if (entryKey.empty()) {
        if (!PathExists(recordPath))
            return Found::Nothing;
        refusal_ = "NEL REGISTRO DI SISTEMA NON C'E' L'INSTALLAZIONE DELLA CARTELLA " + folder_;
        return Found::Refused;
    }

    keeper_ = RecordKeeper(entryKey, installDir_);
    const RecordKeeper::Found found = keeper_.Load(record_);
    // Names from the registry, not from the record.
    record_.product.uninstallKey = entryKey;
    ReadEntryText(entryKey, kProductKeyValue, record_.product.pathKey);
    std::string shownName;
    if (record_.product.name.empty() && ReadEntryText(entryKey, L"DisplayName", shownName))
        record_.product.name = shownName;
    switch (found) {
    case RecordKeeper::Found::RemovalFinishing:
        finishing_ = true;
        return Found::Installed;
    case RecordKeeper::Found::Sealed:
        RecordKeeper::SettleCountChanges(record_);
        return Found::Installed;
    case RecordKeeper::Found::NotMatching:
        refusal_ = "L'ELENCO DEI FILE INSTALLATI: " + keeper_.RecordPath() +
                   " NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE";
        break;
    case RecordKeeper::Found::Nothing:
    case RecordKeeper::Found::Unreadable:
        refusal_ = "L'ELENCO DEI FILE INSTALLATI: " + keeper_.RecordPath() + " NON PUO' ESSERE LETTO";
        refusalError_ = keeper_.Error() != ERROR_SUCCESS ? keeper_.Error() : ERROR_FILE_NOT_FOUND;
        break;
    }
    return Found::Refused;
}

void Removal::WriteLog(const std::string& message)
{
    log_.WriteLog(message);
}

void Removal::Show(const std::string& path, size_t done, size_t total)
{
    view_->ShowStatus("Rimozione di " + path);
    view_->PumpMessages();
    view_->ShowPosition(total == 0 ? 100 : static_cast<int>(done * 100 / total));
    view_->PumpMessages();
}

Removal::Outcome Removal::RemoveFile(const std::string& path)
{
    if (!PathExists(path))
        return Outcome::Done;
    if (DeleteProductFile(path)) {
        WriteLog("  Eliminato il file: " + path);
        return Outcome::Done;
    }
    DWORD error = ::GetLastError();
    // Open or loaded elsewhere: it goes at the restart. Anything else (a
    // folder in the file's place, no permission) is a failure.
    const bool inUse = InUse(error, path);
    if (inUse && (WaitsForRestart(path) || DeleteAtRestart(path))) {
        restartNeeded_ = true;
        WriteLog("  IL FILE: " + path + " E' IN USO: SARA' ELIMINATO AL RIAVVIO DEL COMPUTER");
        return Outcome::Done;
    }
    // In use, but not even the restart would take it: that is the reason.
    if (inUse)
        error = ::GetLastError();
    ++failures_;
    WriteLog("  Eliminazione del file: " + path + " NON RIUSCITA!!");
    log_.WriteErrorReason(error);
    return Outcome::Failed;
}

bool Removal::Unregister(const std::string& path)
{
    RegisterDetail detail;
    const RegisterResult result = SelfUnregister(path, &detail);
    LogRegistrationResult(log_, result, detail, path, true);
    // Without DllUnregisterServer there is nothing it could undo: the file goes all the same.
    if (result == RegisterOk || result == RegisterNoEntryPoint)
        return true;
    ++failures_;
    return false;
}

void Removal::TakeBackRestartWork(const RecordEntry& entry)
{
    // A new copy waiting for the restart would bring the file back.
    const std::string waiting = WaitingPath(entry.path);
    if (PathExists(waiting)) {
        const std::string real = RealPath(waiting);
        TakeBackRestartOperations(
            [&real](const RestartOperation& operation) { return EqualIgnoringCase(operation.from, real); });
        RemoveFile(waiting);
    }
    if (entry.kind == RecordKind::SystemFile)
        ForgetRegistrationAtRestart(entry.path);
}

Removal::Outcome Removal::ReleaseShared(RecordEntry& entry)
{
    long long left = 0;
    DWORD count = 0;
    const bool hasCount = ReadSharedCount(entry.path, count);
    if (entry.GivenBack()) {
        // Given back by a removal that was stopped: never twice.
        left = entry.CountTo() != kNoCount ? entry.CountTo() : hasCount ? static_cast<long long>(count) : 0;
    } else if (!hasCount || count == 0) {
        // Nobody can tell who else uses it: it stays.
        WriteLog("  FILE " + entry.path + " LASCIATO IN QUANTO IL SUO CONTATORE NON E' NOTO");
        return Outcome::Kept;
    } else {
        RecordEntry change = entry;
        change.ReleasingFrom(count, static_cast<long long>(count) - 1);
        // Given back without a note, it could be given back twice.
        if (!keeper_.Note(change) || !WriteSharedCount(entry.path, count - 1)) {
            const DWORD error = ::GetLastError();
            ++failures_;
            WriteLog("  IL CONTATORE DEL FILE: " + entry.path + " NON E' STATO AGGIORNATO");
            log_.WriteErrorReason(error);
            return Outcome::Failed;
        }
        change.ChangeMade();
        entry = change;
        left = count - 1;
    }
    if (left > 0) {
        WriteLog("  FILE " + entry.path + " LASCIATO IN QUANTO USATO ANCHE DA ALTRI PROGRAMMI (CONTATORE " +
                 std::to_string(left) + ")");
        return Outcome::Kept;
    }
    // Nobody else counts it. A file the product only found is not its to take.
    if (!entry.Copied()) {
        WriteLog("  FILE " + entry.path + " LASCIATO IN QUANTO NON E' STATO COPIATO DA QUESTO PRODOTTO");
        RemoveSharedCount(entry.path);
        return Outcome::Kept;
    }
    // Its own copy goes, unregistered first when the product registered it;
    // an unregistration that fails leaves it for another try.
    TakeBackRestartWork(entry);
    // Its code runs as the removal's, elevated: never from a folder that a
    // standard user could have changed since.
    const std::string folder = FolderOf(entry.path);
    if (entry.Registered() && !IsBelow(folder, roots_[1]) && !IsBelow(folder, roots_[2])) {
        const ChangeableLevel level = FirstLevelUsersCanChange(folder, MissingLevels::Refused);
        if (level.Found() && !level.Missing()) {
            ++failures_;
            WriteLog("  IL PERCORSO: " + entry.path + " NON E' STATO TOCCATO: LA CARTELLA " + level.level +
                     " PUO' ESSERE MODIFICATA DA UTENTI NON AMMINISTRATORI");
            if (level.error != 0)
                log_.WriteErrorReason(level.error);
            return Outcome::Failed;
        }
    }
    if (entry.Registered() && PathExists(entry.path) && !Unregister(entry.path))
        return Outcome::Failed;
    const Outcome removed = RemoveFile(entry.path);
    if (removed == Outcome::Done)
        RemoveSharedCount(entry.path);
    return removed;
}

std::string Removal::RefusalOf(const RecordEntry& entry)
{
    const std::string& path = entry.path;
    // "C:\...", exactly as the platform would make it full: nothing relative,
    // no "." or "..", no device or network name.
    const bool plain = path.size() > 3 && path[1] == ':' && path[2] == '\\' && path.find('/') == std::string::npos &&
                       Utf8(FullPath(Wide(path))) == path;
    if (!plain)
        return "NON E' UN PERCORSO COMPLETO";
    // Folders are looked at once each: many files share one.
    const std::string folder = UpperText(FolderOf(path));
    auto known = linkedFolders_.find(folder);
    if (known == linkedFolders_.end())
        known = linkedFolders_.emplace(folder, !LinkOnTheWay(FolderOf(path)).empty()).first;
    if (known->second || (entry.kind == RecordKind::Folder && IsLink(path)))
        return "PASSA PER UN COLLEGAMENTO";
    const auto below = [&path](const std::string& root) { return IsBelow(path, root); };
    bool within = std::any_of(roots_.begin(), roots_.end(), below);
    // A shared component may lie in a folder of its own: the machine's count
    // of it, which only an administrator's installer writes, vouches for it;
    // once the product gave its count back, and the count went with the file
    // by a removal then stopped, the record's word that it did.
    if (!within && entry.kind != RecordKind::ApplicationFile && entry.kind != RecordKind::Folder) {
        DWORD count = 0;
        within = entry.GivenBack() || ReadSharedCount(path, count);
    }
    // A folder the product made for such a component, or above it.
    if (!within && entry.kind == RecordKind::Folder) {
        within = std::any_of(record_.entries.begin(), record_.entries.end(), [&path](const RecordEntry& other) {
            return other.kind != RecordKind::Folder && other.kind != RecordKind::ApplicationFile &&
                   IsBelow(other.path, path);
        });
    }
    return within ? std::string() : "E' FUORI DALLE CARTELLE DEL PRODOTTO";
}

Removal::Outcome Removal::RemoveEntry(RecordEntry& entry)
{
    const std::string refusal = RefusalOf(entry);
    if (!refusal.empty()) {
        ++failures_;
        WriteLog("  IL PERCORSO: " + entry.path + " NON E' STATO TOCCATO: " + refusal);
        return Outcome::Failed;
    }
    switch (entry.kind) {
    case RecordKind::Folder:
        // Only when it is empty: what others put there stays, and so does the folder.
    {
        if (!IsFolder(entry.path) || machine::RemoveFolder(Wide(entry.path)))
            return Outcome::Done;
        const DWORD error = ::GetLastError();
        if (error == ERROR_DIR_NOT_EMPTY)
            return Outcome::Done;
        ++failures_;
        WriteLog("  LA CARTELLA: " + entry.path + " NON PUO' ESSERE ELIMINATA");
        log_.WriteErrorReason(error);
        return Outcome::Failed;
    }
    case RecordKind::ApplicationFile:
        if (entry.ExistedBefore()) {
            WriteLog("  FILE " + entry.path + " LASCIATO IN QUANTO PRESENTE PRIMA DELL'INSTALLAZIONE");
            return Outcome::Kept;
        }
        TakeBackRestartWork(entry);
        return RemoveFile(entry.path);
    case RecordKind::DaoFile:
    case RecordKind::SystemFile:
        // A file the product never counted is not its to give back.
        if (!entry.Counted())
            return Outcome::Kept;
        return ReleaseShared(entry);
    }
    return Outcome::Kept;
}

bool Removal::RemoveRegistration()
{
    // Marked first: a removal stopped from here on has the registry alone
    // left to clean, and the next one does it without a record.
    if (!keeper_.MarkRemovalFinishing())
        return false;
    const FileHandle record =
        OpenOwnFile(keeper_.RecordPath(), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (record)
        machine::RemoveOpenFile(record.Get(), Wide(keeper_.RecordPath()));
    return RemoveInstallationDir(record_.product.pathKey) && RemoveUninstallEntry(record_.product.uninstallKey);
}

int Removal::Run(ProgressView& view)
{
    view_ = &view;
    // The log is the program's own: never written through a link.
    log_.Open(LogFilePath(installDir_));
    WriteLog("*****INIZIO RIMOZIONE *****");
    log_.WriteCommandLine();

    if (!refusal_.empty()) {
        ++failures_;
        WriteLog("  " + refusal_ + ": NULLA E' STATO RIMOSSO");
        if (refusalError_ != 0)
            log_.WriteErrorReason(refusalError_);
    } else if (!finishing_) {
        roots_ = { installDir_, GetProgramFilesDir(), GetWindowsDir() };
        bool fellBack = false;
        roots_.push_back(GetSystemX86Dir(fellBack));

        // What stopped runs left beside the product's files first: a file
        // set aside whose target is missing is the product's file.
        std::set<std::string> folders;
        for (const RecordEntry& entry : record_.entries) {
            if (entry.kind != RecordKind::Folder && RefusalOf(entry).empty() &&
                folders.insert(FolderOf(entry.path)).second)
                RepairLeftoversIn(FolderOf(entry.path));
        }
        folders.clear();

        // The newest first: the files, then the folders, each child before its parent.
        std::vector<RecordEntry> left;
        const size_t total = record_.entries.size();
        size_t done = 0;
        for (const bool folderPass : { false, true }) {
            for (auto entry = record_.entries.rbegin(); entry != record_.entries.rend(); ++entry) {
                if ((entry->kind == RecordKind::Folder) != folderPass)
                    continue;
                Show(entry->path, done++, total);
                if (RemoveEntry(*entry) == Outcome::Failed)
                    left.push_back(*entry);
                else if (!folderPass)
                    folders.insert(FolderOf(entry->path));
            }
            // An ended run's temporary folders go before the folders that hold them.
            if (!folderPass) {
                for (const std::string& folder : folders)
                    RemoveLeftoverTemporaryFolder(folder);
            }
        }
        // In the record's order, the folders ahead of the files.
        std::reverse(left.begin(), left.end());
        record_.entries = left;
    }
    view_->ShowPosition(100);
    view_->PumpMessages();

    if (failures_ == 0) {
        // The running program goes at the restart, asked for before the
        // registry is cleaned: a removal stopped after that finds nothing
        // left to ask it again.
        const bool scheduled = program_.empty() || WaitsForRestart(program_) || DeleteAtRestart(program_);
        // Its home, emptied by then, after it.
        const bool homeScheduled = scheduled && homed_ && !program_.empty() && DeleteAtRestart(folder_);
        if (!RemoveRegistration()) {
            const DWORD error = ::GetLastError();
            ++failures_;
            WriteLog("  LE INFORMAZIONI DELL'INSTALLAZIONE NON SONO STATE TOLTE DAL REGISTRO DI SISTEMA");
            log_.WriteErrorReason(error);
            // The entry stays, and its program with it.
            const std::string real = RealPath(program_);
            const std::string home = RealPath(folder_);
            if (scheduled && !program_.empty())
                TakeBackRestartOperations([&](const RestartOperation& operation) {
                    return EqualIgnoringCase(operation.from, real) ||
                           (homeScheduled && EqualIgnoringCase(operation.from, home));
                });
        }
    } else if (refusal_.empty() && !finishing_) {
        // What is still there stays recorded, for the next removal to finish.
        if (!keeper_.Save(record_)) {
            const DWORD error = ::GetLastError();
            WriteLog("  L'ELENCO DEI FILE INSTALLATI: " + keeper_.RecordPath() + " NON E' STATO SCRITTO");
            log_.WriteErrorReason(error);
        }
    }

    const int exitCode = failures_ != 0  ? ERROR_INSTALL_FAILURE
                         : restartNeeded_ ? ERROR_SUCCESS_REBOOT_REQUIRED
                                          : ERROR_SUCCESS;
    WriteLog("*****FINE RIMOZIONE*****");
    log_.WriteExitCode(exitCode);
    return exitCode;
}
