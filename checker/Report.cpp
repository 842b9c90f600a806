#include "checker/Report.h"

namespace {

// The plan's line for a folder that its pass cannot list.
std::string UnlistableLine(const UnlistableFolder& folder)
{
    return "  " + folder.relative + ": la cartella " + folder.path +
           " non può essere letta, i suoi file non saranno copiati";
}

// The unlistable folders that the pass meets right before its file number index.
void AddUnlistable(std::vector<std::string>& lines, const std::vector<UnlistableFolder>& folders, size_t index)
{
    for (const UnlistableFolder& folder : folders) {
        if (folder.before == index)
            lines.push_back(UnlistableLine(folder));
    }
}

std::string Counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::vector<std::string> FindingLines(const std::vector<Finding>& findings)
{
    std::vector<std::string> lines;
    size_t errors = 0;
    for (const Finding& finding : findings) {
        const bool error = finding.severity == Severity::Error;
        errors += error ? 1 : 0;
        lines.push_back(std::string(error ? "ERRORE " : "AVVISO ") + finding.code + " " + finding.subject + ": " +
                        finding.message);
    }
    lines.push_back("Totale: " + Counted(findings.size(), "segnalazione", "segnalazioni") + " (" +
                    Counted(errors, "errore", "errori") + ", " +
                    Counted(findings.size() - errors, "avviso", "avvisi") + ").");
    return lines;
}

CheckExit FindingsExit(const std::vector<Finding>& findings)
{
    CheckExit exit = ExitClean;
    for (const Finding& finding : findings)
        exit = finding.severity == Severity::Error ? ExitErrors : (exit == ExitClean ? ExitWarnings : exit);
    return exit;
}

std::vector<std::string> PlanLines(const DeliveryPlan& plan)
{
    std::vector<std::string> lines;
    lines.push_back("Piano di installazione di " + plan.folder + " su questo computer (nulla viene modificato).");
    if (!plan.descriptionOpens) {
        lines.push_back("Installatore.ini manca o non si può aprire: l'installatore mostrerebbe solo "
                        "\"Informazioni di installazione non presenti.\" e non installerebbe nulla.");
        return lines;
    }

    const InstallFolder& install = plan.installFolder;
    std::string origin;
    if (install.fromRegistry) {
        origin = "dal registro: HKEY_LOCAL_MACHINE\\" + plan.pathKey + ", valore InstallationDir";
    } else {
        origin = "dal file di descrizione: [CHIAVI] InstallationDir";
        if (install.keyOpened)
            origin += "; la chiave HKEY_LOCAL_MACHINE\\" + plan.pathKey + " non ha il valore InstallationDir";
        if (plan.keyNeedsAdministrator)
            origin += "; ma la chiave HKEY_LOCAL_MACHINE\\" + plan.pathKey +
                      " esiste e si apre solo come amministratore: l'installatore, che gira come amministratore, "
                      "prenderebbe la cartella dal suo valore InstallationDir. Eseguire LumoCheck come amministratore";
    }
    lines.push_back("Cartella di installazione: " + (install.folder.empty() ? std::string("nessuna") : install.folder) +
                    " (" + origin + ")");
    lines.push_back("File di log: " + plan.logPath +
                    (install.folder.empty() ? " (alla radice dell'unità corrente)" : ""));

    lines.push_back("File applicativi (FilesToCopy): " + std::to_string(plan.appFiles.size()) +
                    ", sotto la cartella dei programmi " + plan.programFilesFolder);
    for (size_t i = 0; i < plan.appFiles.size(); ++i) {
        const AppFilePlan& file = plan.appFiles[i];
        AddUnlistable(lines, plan.unlistableAppFolders, i);
        lines.push_back("  " + file.relative + " -> " + file.targets.primaryPath);
        if (file.targets.IsDao())
            lines.push_back("    prima, senza riga nel log: " + file.targets.secondaryPath);
    }
    AddUnlistable(lines, plan.unlistableAppFolders, plan.appFiles.size());

    lines.push_back("File di sistema (SysFile): " + std::to_string(plan.sysFiles.size()) +
                    ", nella cartella di sistema " + plan.systemFolder +
                    (plan.systemFolderFellBack ? " (la cartella di sistema a 32 bit non è disponibile)" : ""));
    for (size_t i = 0; i < plan.sysFiles.size(); ++i) {
        const SysFilePlan& file = plan.sysFiles[i];
        AddUnlistable(lines, plan.unlistableSysFolders, i);
        lines.push_back("  " + file.relative + " -> " + file.targetPath + "; versione " +
                        VersionText(file.sourceVersion) + "; sul computer " + VersionText(file.targetVersion) +
                        "; " + (file.copy ? "copia" : "non copia") + "; " +
                        (file.registers ? "registra" : "non registra"));
    }
    AddUnlistable(lines, plan.unlistableSysFolders, plan.sysFiles.size());
    return lines;
}
