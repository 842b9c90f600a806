#include "checker/Report.h"

#include "checker/CheckRules.h"
#include "framework/Path.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace {

std::string Counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a component cannot be loaded, as the plan says it.
std::string LoadProblemText(const RegisterForecast& forecast)
{
    switch (forecast.problem) {
    case LoadProblem::PathTooLong:
        return "il percorso supera i 259 caratteri";
    case LoadProblem::Absent:
        return "il file non c'è";
    case LoadProblem::NotImage:
        return forecast.kind == PeKind::Empty        ? "il file è vuoto"
               : forecast.kind == PeKind::NotProgram ? "non è un file di programma"
                                                     : "il file è danneggiato";
    case LoadProblem::OtherMachine: {
        const std::string bits = MachineBits(forecast.machine);
        return bits.empty() ? "è per un altro processore" : "è a " + bits + " bit";
    }
    case LoadProblem::MissingImports:
        return "mancano " + NameList(forecast.missingImports);
    case LoadProblem::None:
        break;
    }
    return std::string();
}

// What the plan says of a registration beyond "registra"; empty when it goes as asked.
std::string RegistrationNote(const RegisterForecast& forecast)
{
    const std::string module =
        forecast.loadedFrom.empty() ? std::string("il file che era lì") : forecast.loadedFrom;
    switch (forecast.result) {
    case RegisterForecast::Result::NotLoadable:
        return "la registrazione non riuscirà: " + LoadProblemText(forecast) + " (\"NON PUO' ESSERE CARICATO\")";
    case RegisterForecast::Result::NoEntryPoint:
        return forecast.alreadyLoaded
                   ? "la registrazione non riuscirà: il modulo già caricato, di " + module +
                         ", non esporta DllRegisterServer"
                   : std::string("la registrazione non riuscirà: non esporta DllRegisterServer");
    case RegisterForecast::Result::Registers:
        return forecast.alreadyLoaded ? "registra il modulo già caricato, di " + module + ", non questo file"
                                      : std::string();
    case RegisterForecast::Result::None:
        break;
    }
    return std::string();
}

std::string CopyNote(CopyForecast forecast)
{
    switch (forecast) {
    case CopyForecast::FailsPathTooLong:
        return "la copia non riuscirà: il percorso supera i 259 caratteri (\"NON RIUSCITA\")";
    case CopyForecast::ReplacesLoaded:
        return "il file lì è caricato da questa installazione: viene messo da parte e cancellato al riavvio";
    default:
        return std::string();
    }
}

std::string WithNote(const std::string& line, const std::string& note)
{
    return note.empty() ? line : line + "; " + note;
}

std::string DaoState(const RegisterForecast& forecast)
{
    if (forecast.problem == LoadProblem::Absent)
        return "il file non c'è, nessun effetto";
    if (forecast.result == RegisterForecast::Result::NotLoadable)
        return "non può essere caricato: " + LoadProblemText(forecast);
    if (forecast.result == RegisterForecast::Result::NoEntryPoint)
        return "non esporta DllRegisterServer";
    return forecast.alreadyLoaded ? "registra di nuovo il modulo già caricato" : "registra";
}

std::string FolderLine(const UnlistableFolder& folder)
{
    return "  " + folder.relative + ": la cartella " + folder.path +
           " non può essere letta, i suoi file non saranno copiati" +
           (folder.problem == FolderProblem::LeadsBack ? " (è un collegamento a una cartella che la contiene)" : "");
}

const char* CopyWord(CopyForecast forecast)
{
    switch (forecast) {
    case CopyForecast::NotCopied:
        return "notCopied";
    case CopyForecast::Copies:
        return "copies";
    case CopyForecast::FailsPathTooLong:
        return "failsPathTooLong";
    case CopyForecast::ReplacesLoaded:
        return "replacesLoaded";
    }
    return "";
}

const char* ProblemWord(LoadProblem problem)
{
    switch (problem) {
    case LoadProblem::None:
        return "none";
    case LoadProblem::PathTooLong:
        return "pathTooLong";
    case LoadProblem::Absent:
        return "absent";
    case LoadProblem::NotImage:
        return "notImage";
    case LoadProblem::OtherMachine:
        return "otherMachine";
    case LoadProblem::MissingImports:
        return "missingImports";
    }
    return "";
}

const char* ResultWord(RegisterForecast::Result result)
{
    switch (result) {
    case RegisterForecast::Result::None:
        return "none";
    case RegisterForecast::Result::Registers:
        return "registers";
    case RegisterForecast::Result::NotLoadable:
        return "notLoadable";
    case RegisterForecast::Result::NoEntryPoint:
        return "noEntryPoint";
    }
    return "";
}

// Members in the order they are added, values already in JSON.
class JsonObject {
public:
    JsonObject& Raw(const char* key, std::string value)
    {
        members_.emplace_back(key, std::move(value));
        return *this;
    }
    JsonObject& Text(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
    JsonObject& Number(const char* key, long long value) { return Raw(key, std::to_string(value)); }
    JsonObject& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }

    // indent is that of the line where the object opens.
    std::string Render(size_t indent) const
    {
        if (members_.empty())
            return "{}";
        std::string text = "{\n";
        for (size_t i = 0; i < members_.size(); ++i)
            text += std::string(indent + 2, ' ') + JsonString(members_[i].first) + ": " + members_[i].second +
                    (i + 1 < members_.size() ? ",\n" : "\n");
        return text + std::string(indent, ' ') + "}";
    }

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonArray(const std::vector<JsonObject>& items, size_t indent)
{
    if (items.empty())
        return "[]";
    std::string text = "[\n";
    for (size_t i = 0; i < items.size(); ++i)
        text += std::string(indent + 2, ' ') + items[i].Render(indent + 2) + (i + 1 < items.size() ? ",\n" : "\n");
    return text + std::string(indent, ' ') + "]";
}

std::string JsonNames(const std::vector<std::string>& names)
{
    std::string text = "[";
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : ", ") + JsonString(names[i]);
    return text + "]";
}

constexpr const char* kBuildName = kTestBuild ? "x86_64" : "i686";

JsonObject Header(const std::string& folder, const char* mode)
{
    JsonObject document;
    document.Text("program", "LumoCheck")
        .Text("version", kCheckerVersion)
        .Text("build", kBuildName)
        .Bool("testBuild", kTestBuild)
        .Text("folder", folder)
        .Text("mode", mode);
    return document;
}

JsonObject RegistrationJson(const RegisterForecast& forecast)
{
    JsonObject object;
    object.Text("result", ResultWord(forecast.result)).Text("problem", ProblemWord(forecast.problem));
    if (!forecast.missingImports.empty())
        object.Raw("missingImports", JsonNames(forecast.missingImports));
    object.Bool("alreadyLoaded", forecast.alreadyLoaded);
    if (forecast.alreadyLoaded)
        object.Text("loadedFrom", forecast.loadedFrom);
    return object;
}

// Each step of a pass, in run order.
std::vector<JsonObject> StepsJson(const DeliveryPlan& plan, bool system)
{
    std::vector<JsonObject> steps;
    const char* pass = system ? "SysFile" : "FilesToCopy";
    for (const PlanStep& step : system ? plan.sysSteps : plan.appSteps) {
        JsonObject entry;
        entry.Text("pass", pass);
        if (step.kind == PlanStep::Kind::Folder) {
            const UnlistableFolder& folder =
                (system ? plan.unlistableSysFolders : plan.unlistableAppFolders)[step.index];
            entry.Text("step", "unreadableFolder")
                .Text("source", folder.relative)
                .Text("path", folder.path)
                .Text("reason", folder.problem == FolderProblem::LeadsBack ? "leadsBack" : "cannotList");
        } else if (step.kind == PlanStep::Kind::Dao) {
            const DaoRegistration& dao = plan.daoRegistrations[step.index];
            entry.Text("step", "daoRegistration")
                .Text("folder", dao.folderRelative)
                .Text("target", kDaoLibraryPath)
                .Raw("registration", RegistrationJson(dao.registration).Render(8));
        } else if (!system) {
            const AppFilePlan& file = plan.appFiles[step.index];
            entry.Text("step", "file").Text("source", file.relative);
            if (file.targets.IsDao())
                entry.Text("firstTarget", file.targets.secondaryPath).Text("firstCopy", CopyWord(file.secondaryCopy));
            entry.Text("target", file.targets.primaryPath).Text("copy", CopyWord(file.primaryCopy));
        } else {
            const SysFilePlan& file = plan.sysFiles[step.index];
            entry.Text("step", "file")
                .Text("source", file.relative)
                .Text("target", file.targetPath)
                .Text("version", VersionText(file.sourceVersion))
                .Text("targetVersion", VersionText(file.targetVersion))
                .Text("copy", file.action == SystemFileAction::SourceUnreadable ? "fails"
                                                                                 : CopyWord(file.copyForecast))
                .Bool("register", file.registers);
            if (file.registers)
                entry.Raw("registration", RegistrationJson(file.registration).Render(8));
        }
        steps.push_back(std::move(entry));
    }
    return steps;
}

constexpr char kSarifSchema[] = "https://docs.oasis-open.org/sarif/sarif/v2.1.0/os/schemas/sarif-schema-2.1.0.json";
// The uriBaseId of every result's file: the delivery folder.
constexpr char kSarifBase[] = "DELIVERY";

// A path as the path of a URI: "/" between names, every byte other than the
// unreserved characters of RFC 3986 and ":" percent-encoded, so that a name
// in any script or with blanks stays one valid URI.
std::string UriPath(const std::string& path)
{
    std::string uri;
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/') {
            uri += '/';
        } else if ((byte < 0x80 && std::isalnum(byte)) || std::string("-._~:").find(c) != std::string::npos) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri;
}

// The delivery folder as a file URI ending in "/": "file:///C:/Consegna/",
// or "file://server/share/Consegna/" for a folder on the network.
std::string FolderUri(const std::string& folder)
{
    return (folder.compare(0, 2, "\\\\") == 0 ? "file:" : "file:///") + UriPath(folder) + "/";
}

// A SARIF message or description: an object with its text.
JsonObject SarifText(const std::string& text)
{
    JsonObject object;
    object.Text("text", text);
    return object;
}

// The run of a SARIF document, as far as every run has it: LumoCheck with
// its rules, and how the run ended.
JsonObject SarifRun(const JsonObject& invocation)
{
    std::vector<JsonObject> rules;
    for (const Rule& rule : Rules()) {
        JsonObject item;
        item.Text("id", rule.code)
            .Raw("shortDescription", SarifText(rule.mistake).Render(14))
            .Raw("fullDescription",
                 SarifText(std::string(rule.mistake) + ". On the workstation: " + rule.consequence + ".").Render(14));
        rules.push_back(std::move(item));
    }
    JsonObject driver;
    driver.Text("name", "LumoCheck")
        .Text("version", kCheckerVersion)
        .Raw("properties", JsonObject().Text("build", kBuildName).Bool("testBuild", kTestBuild).Render(10))
        .Raw("rules", JsonArray(rules, 10));
    JsonObject run;
    run.Raw("tool", JsonObject().Raw("driver", driver.Render(8)).Render(6))
        .Raw("invocations", JsonArray({ invocation }, 6));
    return run;
}

std::string SarifDocument(const JsonObject& run)
{
    JsonObject document;
    document.Text("$schema", kSarifSchema).Text("version", "2.1.0").Raw("runs", JsonArray({ run }, 2));
    return document.Render(0) + "\n";
}

// Why a shared count will hold what the plan says.
std::string CountNote(const SharedCountPlan& shared)
{
    if (shared.countedBefore)
        return "invariato: già contato per questo prodotto da un'installazione precedente";
    if (shared.hasCount)
        return "ora " + std::to_string(shared.countNow);
    return shared.fileThere ? "il file c'è già senza contatore: chi lo ha installato prima conta per uno"
                            : "il file non c'è ancora";
}

// The key of the description file a value that is left out would come from.
const char* SourceKey(const std::string& name)
{
    return name == "DisplayVersion" ? "[PRODOTTO] Versione" : "[PRODOTTO] Produttore";
}

// The section of the plan about the registry: each key once, its values below it.
void RegistryLines(const DeliveryPlan& plan, std::vector<std::string>& lines)
{
    lines.push_back("Registro di sistema, scritto alla fine dell'installazione in HKEY_LOCAL_MACHINE (vista a 32 "
                    "bit):");
    if (!plan.sharedCounts.empty())
        lines.push_back(std::string("  ") + kSharedDllsKey);
    for (const SharedCountPlan& shared : plan.sharedCounts)
        lines.push_back("    " + shared.path + " = " +
                        (shared.countedBefore && !shared.hasCount ? std::string("nessuno")
                                                                  : std::to_string(shared.count)) +
                        " (" + CountNote(shared) + ")");
    std::string key;
    for (const RegistryValuePlan& value : plan.registryValues) {
        if (value.key != key) {
            key = value.key;
            lines.push_back("  " + key);
        }
        if (value.removed) {
            lines.push_back("    " + value.name + ": non scritto, e tolto se c'è (" + SourceKey(value.name) +
                            " manca)");
            continue;
        }
        std::string line = "    " + value.name + " = " + (value.number ? std::to_string(value.value) : value.text);
        if (value.name == "InstallDate")
            line += " (il giorno dell'installazione)";
        else if (value.name == "EstimatedSize")
            line += " (KB dei file che il prodotto ha posto sul computer)";
        lines.push_back(line);
    }
}

// The registry values in the order the run writes them, the shared counts first.
std::vector<JsonObject> RegistryJson(const DeliveryPlan& plan)
{
    std::vector<JsonObject> values;
    for (const SharedCountPlan& shared : plan.sharedCounts) {
        JsonObject count;
        count.Text("file", shared.kind == RecordKind::DaoFile ? "dao" : "system")
            .Bool("fileThere", shared.fileThere)
            .Raw("countNow", shared.hasCount ? std::to_string(shared.countNow) : "null")
            .Bool("countedBefore", shared.countedBefore);
        JsonObject value;
        value.Text("key", kSharedDllsKey)
            .Text("name", shared.path)
            .Text("type", "REG_DWORD")
            .Text("action", shared.countedBefore ? "unchanged" : "set")
            .Raw("value", shared.countedBefore && !shared.hasCount ? "null" : std::to_string(shared.count))
            .Raw("sharedCount", count.Render(8));
        values.push_back(std::move(value));
    }
    for (const RegistryValuePlan& planned : plan.registryValues) {
        JsonObject value;
        value.Text("key", planned.key)
            .Text("name", planned.name)
            .Text("type", planned.number ? "REG_DWORD" : "REG_SZ")
            .Text("action", planned.removed ? "delete" : "set");
        if (planned.removed) {
            values.push_back(std::move(value));
            continue;
        }
        if (planned.number)
            value.Number("value", planned.value);
        else
            value.Text("value", planned.text);
        if (planned.name == "InstallDate")
            value.Bool("dayOfRun", true);
        values.push_back(std::move(value));
    }
    return values;
}

} // namespace

std::string TestBuildLine()
{
    return "LumoCheck, build di prova a 64 bit: giudica come l'installatore a 32 bit che si consegna.";
}

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

CheckExit FindingsExit(const std::vector<Finding>& findings, bool warningsFail)
{
    CheckExit exit = ExitClean;
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::Error || warningsFail)
            return ExitErrors;
        exit = ExitWarnings;
    }
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
    if (NormalFullPath(install.folder).empty())
        lines.push_back("File di log: nessuno (la cartella non è un percorso completo di un'unità locale: "
                        "l'installatore termina con il codice 1603 senza installare nulla)");
    else
        lines.push_back("File di log: " + plan.logPath);

    lines.push_back("File applicativi (FilesToCopy): " + std::to_string(plan.appFiles.size()) +
                    ", sotto la cartella dei programmi " + plan.programFilesFolder);
    for (const PlanStep& step : plan.appSteps) {
        if (step.kind == PlanStep::Kind::Folder) {
            lines.push_back(FolderLine(plan.unlistableAppFolders[step.index]));
        } else if (step.kind == PlanStep::Kind::Dao) {
            const DaoRegistration& dao = plan.daoRegistrations[step.index];
            lines.push_back("  fine di " + dao.folderRelative + ": registrazione di " + kDaoLibraryPath +
                            ", senza riga nel log né effetto sull'esito: " + DaoState(dao.registration));
        } else {
            const AppFilePlan& file = plan.appFiles[step.index];
            lines.push_back(WithNote("  " + file.relative + " -> " + file.targets.primaryPath,
                                     CopyNote(file.primaryCopy)));
            if (file.targets.IsDao())
                lines.push_back(WithNote("    prima, senza riga nel log: " + file.targets.secondaryPath,
                                         CopyNote(file.secondaryCopy)));
        }
    }

    lines.push_back("File di sistema (SysFile): " + std::to_string(plan.sysFiles.size()) +
                    ", nella cartella di sistema " + plan.systemFolder +
                    (plan.systemFolderFellBack ? " (la cartella di sistema a 32 bit non è disponibile)" : ""));
    for (const PlanStep& step : plan.sysSteps) {
        if (step.kind == PlanStep::Kind::Folder) {
            lines.push_back(FolderLine(plan.unlistableSysFolders[step.index]));
            continue;
        }
        const SysFilePlan& file = plan.sysFiles[step.index];
        std::string line = "  " + file.relative + " -> " + file.targetPath + "; versione " +
                           VersionText(file.sourceVersion) + "; sul computer " + VersionText(file.targetVersion) +
                           "; " +
                           (file.action == SystemFileAction::SourceUnreadable
                                ? "non copia: versione illeggibile, non riuscirebbe"
                            : file.copy ? "copia"
                                        : "non copia") +
                           "; " + (file.registers ? "registra" : "non registra");
        line = WithNote(line, CopyNote(file.copyForecast));
        if (file.registers)
            line = WithNote(line, RegistrationNote(file.registration));
        lines.push_back(line);
    }
    RegistryLines(plan, lines);

    if (plan.failures != 0)
        lines.push_back("Esito previsto: 1603 (" + Counted(plan.failures, "operazione", "operazioni") +
                        " non riuscirebbe" + (plan.failures == 1 ? "" : "ro") + ").");
    else if (plan.restart)
        lines.push_back("Esito previsto: 3010 (il computer va riavviato per completare l'installazione).");
    else
        lines.push_back("Esito previsto: 0.");
    return lines;
}

CheckExit PlanExit(const DeliveryPlan& plan)
{
    return !plan.descriptionOpens || plan.failures != 0 ? ExitErrors : ExitClean;
}

std::string JsonString(const std::string& utf8)
{
    std::string text = "\"";
    for (const char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
                text += escaped;
            } else {
                text += c;
            }
        }
    }
    return text + "\"";
}

std::string FindingsJson(const std::string& folder, const std::vector<Finding>& findings, CheckExit exit)
{
    std::vector<JsonObject> items;
    size_t errors = 0;
    for (const Finding& finding : findings) {
        const bool error = finding.severity == Severity::Error;
        errors += error ? 1 : 0;
        JsonObject item;
        item.Text("code", finding.code)
            .Text("severity", error ? "ERRORE" : "AVVISO")
            .Text("subject", finding.subject)
            .Text("message", finding.message);
        if (!finding.file.empty())
            item.Text("file", finding.file);
        if (finding.line > 0)
            item.Number("line", finding.line);
        items.push_back(std::move(item));
    }
    JsonObject document = Header(folder, "check");
    document.Raw("findings", JsonArray(items, 2))
        .Number("errors", static_cast<long long>(errors))
        .Number("warnings", static_cast<long long>(findings.size() - errors))
        .Number("exitCode", exit);
    return document.Render(0) + "\n";
}

std::string ErrorJson(const std::string& message, CheckExit exit)
{
    return JsonObject().Text("program", "LumoCheck").Text("error", message).Number("exitCode", exit).Render(0) +
           "\n";
}

std::string PlanJson(const DeliveryPlan& plan, CheckExit exit)
{
    JsonObject document = Header(plan.folder, "plan");
    JsonObject body;
    body.Bool("descriptionFound", plan.descriptionOpens);
    if (plan.descriptionOpens) {
        std::vector<JsonObject> steps = StepsJson(plan, false);
        for (JsonObject& step : StepsJson(plan, true))
            steps.push_back(std::move(step));
        body.Text("installFolder", plan.installFolder.folder)
            .Text("installFolderSource", plan.installFolder.fromRegistry ? "registry" : "description")
            .Text("logFile", plan.logPath)
            .Text("programFiles", plan.programFilesFolder)
            .Text("systemFolder", plan.systemFolder)
            .Raw("steps", JsonArray(steps, 4))
            .Raw("registry", JsonArray(RegistryJson(plan), 4))
            .Number("failures", static_cast<long long>(plan.failures))
            .Bool("restart", plan.restart)
            .Number("expectedExitCode", plan.ExpectedExitCode());
    }
    document.Raw("plan", body.Render(2)).Number("exitCode", exit);
    return document.Render(0) + "\n";
}

std::string FindingsSarif(const std::string& folder, const std::vector<Finding>& findings, CheckExit exit)
{
    std::vector<JsonObject> results;
    for (const Finding& finding : findings) {
        JsonObject physical;
        physical.Raw("artifactLocation",
                     JsonObject().Text("uri", UriPath(finding.file)).Text("uriBaseId", kSarifBase).Render(16));
        if (finding.line > 0)
            physical.Raw("region", JsonObject().Number("startLine", finding.line).Render(16));
        JsonObject result;
        result.Text("ruleId", finding.code)
            .Text("level", finding.severity == Severity::Error ? "error" : "warning")
            .Raw("message", SarifText(finding.subject + ": " + finding.message).Render(10))
            .Raw("locations", JsonArray({ JsonObject().Raw("physicalLocation", physical.Render(14)) }, 10));
        results.push_back(std::move(result));
    }
    JsonObject run = SarifRun(JsonObject().Bool("executionSuccessful", true).Number("exitCode", exit));
    run.Raw("originalUriBaseIds",
            JsonObject().Raw(kSarifBase, JsonObject().Text("uri", FolderUri(folder)).Render(8)).Render(6))
        .Raw("results", JsonArray(results, 6));
    return SarifDocument(run);
}

std::string ErrorSarif(const std::string& message, CheckExit exit)
{
    JsonObject notification;
    notification.Text("level", "error").Raw("message", SarifText(message).Render(14));
    JsonObject invocation;
    invocation.Bool("executionSuccessful", false)
        .Number("exitCode", exit)
        .Raw("toolExecutionNotifications", JsonArray({ notification }, 10));
    return SarifDocument(SarifRun(invocation));
}
