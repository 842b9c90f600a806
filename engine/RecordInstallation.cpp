// What the machine keeps of an installation once the passes have run: the
// record of the files placed, the shared counts, the installation folder,
// the entry of Programs and Features and the program that removes it all.
#include "engine/FileReplace.h"
#include "engine/Folders.h"
#include "engine/Installation.h"
#include "engine/Log.h"
#include "engine/MachineRecord.h"
#include "engine/ProductHome.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

ProductIdentity ReadProductIdentity(const Delivery& delivery)
{
    ProductIdentity product;
    product.name = delivery.ReadInstallPath("PRODOTTO", "Nome");
    if (product.name.empty())
        product.name = delivery.ReadInstallValue("DESCRIZIONI", "Caption");
    product.version = delivery.ReadInstallPath("PRODOTTO", "Versione");
    product.publisher = delivery.ReadInstallPath("PRODOTTO", "Produttore");
    product.pathKey = delivery.ReadInstallPath("CHIAVI", "PathKey");
    product.uninstallKey = UninstallKeyName(product.pathKey, product.name);
    return product;
}

void Installation::RecordInstallation(const std::string& installDir)
{
    record_.product = product_;
    record_.installDir = installDir;

    // Each shared component counts this product once, however many runs use
    // it; a component that was there before without a count keeps one for its
    // earlier owner. Each change is noted before it is made, so that a run
    // stopped in between neither counts twice nor forgets.
    bool registry = true;
    // Why the first registry write that failed did.
    DWORD registryError = ERROR_SUCCESS;
    auto noteRegistry = [&](bool written) {
        if (!written && registryError == ERROR_SUCCESS)
            registryError = ::GetLastError();
        registry = registry && written;
    };
    for (const std::string& path : sharedUses_) {
        RecordEntry* entry = record_.Find(path);
        // A count a removal gave back is no longer the product's: used
        // again, it is taken again.
        if (entry == nullptr || !entry->NeedsCount())
            continue;
        DWORD countNow = 0;
        const bool hasCount = ReadSharedCount(path, countNow);
        RecordEntry change = *entry;
        change.CountingFrom(hasCount ? static_cast<long long>(countNow) : kNoCount,
                            NewSharedCount(hasCount, countNow, entry->ExistedBefore()));
        // A change the journal does not hold could be made twice by a run
        // stopped after it: it is not made.
        if (!keeper_.Note(change)) {
            const DWORD error = ::GetLastError();
            CountFailure();
            WriteLog("  IL CONTATORE DEL FILE: " + path + " NON E' STATO AGGIORNATO");
            log_.WriteErrorReason(error);
            continue;
        }
        if (WriteSharedCount(path, static_cast<DWORD>(change.CountTo()))) {
            change.ChangeMade();
            *entry = change;
        } else {
            noteRegistry(false);
        }
    }
    sharedUses_.clear();

    // The program that removes the installation, in the product's home
    // beside its record, where no standard user can replace it; with no
    // Installatore.ini beside it, a double-click on it installs nothing.
    const std::string home = ProductHome(record_.product.uninstallKey);
    const std::string program = home.empty() ? std::string() : HomeProgramPath(home);
    bool programPlaced = false;
    if (!program.empty() && !delivery_.ProgramPath().empty() && !EqualIgnoringCase(delivery_.ProgramPath(), program)) {
        CreateDirectoryPath(home);
        const ReplaceOutcome copied = PlaceFile(delivery_.ProgramPath(), program, true);
        programPlaced = copied.Copied();
        if (!programPlaced)
            LogFailedCopy(program, copied);
    }
    // A removal before the restart left its program and its home to the
    // restart to delete; the entry written below starts that program again.
    if (!program.empty())
        KeepPastRestart({ program, home });
    const bool movingHome = keeper_.MovesHome();

    // Folders and files the run did not list are asked of the file system.
    record_.ForgetMissing([this](const std::string& path) { return targets_.Has(path); });
    if (!keeper_.Save(record_)) {
        const DWORD error = ::GetLastError();
        CountFailure();
        WriteLog("  L'ELENCO DEI FILE INSTALLATI: " + keeper_.RecordPath() + " NON E' STATO SCRITTO");
        log_.WriteErrorReason(error);
    }

    ULONGLONG bytes = 0;
    for (const RecordEntry& entry : record_.entries) {
        if (entry.kind != RecordKind::Folder && entry.ByProduct())
            bytes += targets_.SizeOf(entry.path);
    }
    const UninstallEntry entry = MakeUninstallEntry(record_.product, installDir, home, SizeInKb(bytes));
    // A product that has neither a key nor a name gets no entry: there is
    // nothing to call it by (LumoCheck says so).
    if (!record_.product.uninstallKey.empty()) {
        // Where the removal finds the product key, rather than in the record,
        // and the home its program runs from: written before the commands
        // that start it, so that a run stopped in between offers no removal
        // that could not find the product.
        noteRegistry(WriteEntryText(record_.product.uninstallKey, kProductKeyValue, record_.product.pathKey));
        noteRegistry(WriteEntryText(record_.product.uninstallKey, kHomeValue, home));
        noteRegistry(WriteUninstallEntry(record_.product.uninstallKey, entry));
    }
    // An installation made before homes kept its removal program in the
    // installation folder; the entry no longer starts it, and it goes.
    if (movingHome && !keeper_.MovesHome() && programPlaced) {
        const std::string old = installDir + "\\LumoInstall.exe";
        if (!EqualIgnoringCase(old, delivery_.ProgramPath()) && PathExists(old) && !DeleteProductFile(old))
            DeleteAtRestart(old);
    }
    if (!record_.product.pathKey.empty())
        noteRegistry(WriteInstallationDir(record_.product.pathKey, installDir));
    if (!registry) {
        CountFailure();
        WriteLog("  LE INFORMAZIONI DELL'INSTALLAZIONE NON SONO STATE SCRITTE NEL REGISTRO DI SISTEMA");
        log_.WriteErrorReason(registryError);
    }
}
