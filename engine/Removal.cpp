#include "engine/Removal.h"

#include "engine/Log.h"
#include "engine/FileReplace.h"
#include "engine/MachineRecord.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"
#include "engine/SelfRegister.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <algorithm>
#include <vector>

Removal::Removal(std::string installDir, std::string program, InstallLog& log)
    : installDir_(std::move(installDir)), program_(std::move(program)), log_(log)
{
}

bool Removal::Load()
{
    return record_.Load(InstallationRecord::PathIn(installDir_));
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

bool Removal::RemoveFile(const std::string& path)
{
    if (!PathExists(path))
        return true;
    const std::wstring wide = Wide(path);
    // The copy carried the source's attributes: a read-only file the product
    // placed is the product's all the same.
    machine::SetAttributes(wide, FILE_ATTRIBUTE_NORMAL);
    if (machine::RemoveFile(wide)) {
        WriteLog("  Eliminato il file: " + path);
        return true;
    }
    DWORD error = ::GetLastError();
    // Open or loaded elsewhere: it goes at the restart. Anything else (a
    // folder in the file's place, no permission) is a failure.
    const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                       (error == ERROR_ACCESS_DENIED && !IsFolder(path));
    if (inUse && DeleteAtRestart(path)) {
        restartNeeded_ = true;
        WriteLog("  IL FILE: " + path + " E' IN USO: SARA' ELIMINATO AL RIAVVIO DEL COMPUTER");
        return true;
    }
    // In use, but not even the restart would take it: that is the reason.
    if (inUse)
        error = ::GetLastError();
    ++failures_;
    WriteLog("  Eliminazione del file: " + path + " NON RIUSCITA!!");
    log_.WriteErrorReason(error);
    return false;
}

bool Removal::Unregister(const std::string& path)
{
    RegisterDetail detail;
    const RegisterResult result = SelfUnregister(path, &detail);
    switch (result) {
    case RegisterOk:
        WriteLog("  FILE: " + path + " DEREGISTRATO CORRETTAMENTE");
        return true;
    case RegisterNotLoadable:
        WriteLog("  IL FILE: " + path + " NON PUO' ESSERE CARICATO E QUINDI DEREGISTRATO");
        log_.WriteErrorReason(detail.error);
        break;
    case RegisterNoEntryPoint:
        // Nothing it could undo: the file goes all the same.
        WriteLog("  PER IL FILE DA DEREGISTRARE: " + path + " NON E' STATO TROVATO IL PUNTO DI INGRESSO");
        log_.WriteErrorReason(detail.error);
        return true;
    case RegisterFailed:
        WriteLog("  LA DEREGISTRAZIONE DEL FILE: " + path + " NON E' AVVENUTA CORRETTAMENTE");
        log_.WriteResultReason(detail.result);
        break;
    }
    ++failures_;
    return false;
}

bool Removal::ReleaseShared(const RecordEntry& entry)
{
    DWORD count = 0;
    // A count that is gone counts as this product's alone.
    if (ReadSharedCount(entry.path, count) && count > 1) {
        if (!WriteSharedCount(entry.path, count - 1)) {
            const DWORD error = ::GetLastError();
            ++failures_;
            WriteLog("  IL CONTATORE DEL FILE: " + entry.path + " NON E' STATO AGGIORNATO");
            log_.WriteErrorReason(error);
            return false;
        }
        WriteLog("  FILE " + entry.path + " LASCIATO IN QUANTO USATO ANCHE DA ALTRI PROGRAMMI (CONTATORE " +
                 std::to_string(count - 1) + ")");
        return true;
    }
    // Nobody else counts it: it goes, unregistered first when the product
    // registered it; an unregistration that fails leaves it for another try.
    if (entry.registered && PathExists(entry.path) && !Unregister(entry.path))
        return false;
    if (!RemoveFile(entry.path))
        return false;
    RemoveSharedCount(entry.path);
    return true;
}

int Removal::Run(ProgressView& view)
{
    view_ = &view;
    log_.Open(LogFilePath(installDir_));
    WriteLog("*****INIZIO RIMOZIONE *****");
    log_.WriteCommandLine();

    // The newest first: the files, then the folders, each child before its parent.
    std::vector<RecordEntry> left;
    const size_t total = record_.entries.size();
    size_t done = 0;
    for (const bool folders : { false, true }) {
        for (auto entry = record_.entries.rbegin(); entry != record_.entries.rend(); ++entry) {
            if ((entry->kind == RecordKind::Folder) != folders)
                continue;
            Show(entry->path, done++, total);
            bool gone = true;
            if (entry->kind == RecordKind::Folder)
                machine::RemoveFolder(Wide(entry->path)); // only when it is empty
            else if (entry->kind == RecordKind::ApplicationFile)
                gone = RemoveFile(entry->path);
            else if (entry->counted)
                gone = ReleaseShared(*entry);
            if (!gone)
                left.push_back(*entry);
        }
    }
    // In the record's order, the folders ahead of the files.
    std::reverse(left.begin(), left.end());
    view_->ShowPosition(100);
    view_->PumpMessages();

    if (failures_ == 0) {
        if (!RemoveUninstallEntry(record_.product.uninstallKey) || !RemoveInstallationDir(record_.product.pathKey)) {
            const DWORD error = ::GetLastError();
            ++failures_;
            WriteLog("  LE INFORMAZIONI DELL'INSTALLAZIONE NON SONO STATE TOLTE DAL REGISTRO DI SISTEMA");
            log_.WriteErrorReason(error);
        }
        machine::RemoveFile(Wide(InstallationRecord::PathIn(installDir_)));
    } else {
        // What is still there stays recorded, for the next removal to finish.
        record_.entries = left;
        record_.Save(InstallationRecord::PathIn(installDir_));
    }
    // The running program goes at the restart; the log stays for whoever reads it.
    if (!program_.empty() && failures_ == 0)
        DeleteAtRestart(program_);

    const int exitCode = failures_ != 0  ? ERROR_INSTALL_FAILURE
                         : restartNeeded_ ? ERROR_SUCCESS_REBOOT_REQUIRED
                                          : ERROR_SUCCESS;
    WriteLog("*****FINE RIMOZIONE*****");
    log_.WriteExitCode(exitCode);
    return exitCode;
}
