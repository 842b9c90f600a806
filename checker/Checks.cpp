#include "checker/Checks.h"

#include "app/InstallDescription.h"
#include "checker/CheckRules.h"
#include "checker/PeImage.h"
#include "framework/Handles.h"
#include "framework/Text.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string KeySubject(const std::string& section, const std::string& key)
{
    return "[" + section + "] " + key;
}

bool SameName(const std::string& a, const std::string& b)
{
    return EqualIgnoringCase(a, b);
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    CrtFile file(::_wfopen(Wide(path).c_str(), L"rb"));
    if (!file)
        return bytes;
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof(buffer), file.Get())) > 0;)
        bytes.append(buffer, read);
    return bytes;
}

bool FileInFolder(const std::string& folder, const char* name)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(folder + "\\" + name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A SYSFILE value's destination as written, before the installer turns it
// into capitals: where a "\n" pair can still be seen.
std::string WrittenFolder(const std::string& value)
{
    const std::string trimmed = TrimText(value);
    return TrimText(trimmed.substr(0, trimmed.find('|')));
}

struct KeyRule {
    const char* section;
    const char* key;
    ValueKind kind;
    const char* consequence;
};

const KeyRule kRequiredKeys[] = {
    { "DESCRIZIONI", "Caption", ValueKind::Text,
      "la finestra dell'installazione e la domanda di uscita non avranno titolo" },
    { "DESCRIZIONI", "Procedura", ValueKind::Text, "il testo in grassetto della pagina di benvenuto sarà vuoto" },
    { "DESCRIZIONI", "Procedura_1", ValueKind::Text, "il secondo testo della pagina di benvenuto sarà vuoto" },
    { "DESCRIZIONI", "InstallazioneSuccess", ValueKind::Text,
      "dopo un'installazione riuscita la pagina finale non avrà il suo testo principale" },
    { "DESCRIZIONI", "InstallazioneError", ValueKind::Text,
      "dopo un'installazione non riuscita la pagina finale non avrà il suo testo principale" },
    { "CHIAVI", "PathKey", ValueKind::Path,
      "l'installatore non cerca nel registro la cartella di un'installazione precedente e usa sempre "
      "[CHIAVI] InstallationDir" },
    { "CHIAVI", "InstallationDir", ValueKind::Path,
      "dove il registro non indica una cartella di installazione, l'installatore non ne ha nessuna e scrive il "
      "log in \\Installatore.log, alla radice dell'unità corrente" },
};

class Checker {
public:
    explicit Checker(const DeliveryPlan& plan) : plan_(plan) {}

    std::vector<Finding> Run()
    {
        if (!plan_.descriptionOpens) {
            Add(Severity::Error, "LC018", kInstallDescriptionName,
                "manca o non si può aprire: l'installatore mostra solo il messaggio \"Informazioni di "
                "installazione non presenti.\" e termina senza installare nulla. Mettere Installatore.ini nella "
                "cartella della consegna, accanto a LumoInstall.exe.");
            return findings_;
        }
        CheckEncoding();
        CheckLengths();
        CheckRequiredKeys();
        CheckCount("NumeroFiles", "FilesToCopy", plan_.appFiles.size());
        CheckCount("NumeroSysFiles", "SysFile", plan_.sysFiles.size());
        CheckSysFileEntries();
        for (const auto* folders : { &plan_.unlistableAppFolders, &plan_.unlistableSysFolders }) {
            for (const UnlistableFolder& folder : *folders)
                CheckUnlistable(folder);
        }
        for (const AppFilePlan& file : plan_.appFiles) {
            CheckLogName(file.relative);
            CheckPathLength(file.relative, file.targets.primaryPath);
            if (file.targets.IsDao())
                CheckPathLength(file.relative, file.targets.secondaryPath);
        }
        for (size_t i = 0; i < plan_.sysFiles.size(); ++i)
            CheckSysFile(i);
        return findings_;
    }

private:
    void Add(Severity severity, const char* code, const std::string& subject, const std::string& message)
    {
        findings_.push_back({ severity, code, subject, message });
    }

    void CheckEncoding()
    {
        const std::string bytes = ReadBytes(plan_.description);
        if (HasUtf8Bom(bytes)) {
            const std::string first = FirstSectionName(bytes);
            Add(Severity::Error, "LC005", kInstallDescriptionName,
                "inizia con il segno BOM di UTF-8: sulla postazione " +
                    (first.empty() ? std::string("la prima sezione non viene riconosciuta e le sue chiavi vanno")
                                   : "il nome della prima sezione, [" + first +
                                         "], non viene riconosciuto e tutte le sue chiavi vanno") +
                    " perse. Salvare il file come ANSI (Windows-1252), senza BOM.");
        }
        if (IsUtf8BeyondAscii(bytes)) {
            Add(Severity::Warning, "LC006", kInstallDescriptionName,
                "è salvato in UTF-8 (riga " + std::to_string(FirstLineBeyondAscii(bytes)) +
                    "): ogni lettera accentata apparirà come due caratteri estranei "
                    "(\"Ã¨\" al posto di \"è\"), nei testi come nei nomi di cartella. "
                    "Salvare il file come ANSI (Windows-1252).");
        }
    }

    void CheckLengths()
    {
        for (const char* section : { "DESCRIZIONI", "CHIAVI", "SYSFILE" }) {
            for (const std::string& key : ReadDescriptionKeys(plan_.description, section)) {
                const size_t length = DescriptionValueLength(plan_.description, section, key);
                if (length > kMaxInstallValue)
                    Add(Severity::Error, "LC007", KeySubject(section, key),
                        "il valore è lungo " + std::to_string(length) +
                            " caratteri: l'installatore ne legge solo i primi 255 e il resto va perso. "
                            "Accorciarlo a 255 caratteri al massimo.");
            }
        }
    }

    void CheckRequiredKeys()
    {
        // Renamed LumoSidInstall.exe, the program shows welcome texts of its own.
        const bool ownWelcome = FileInFolder(plan_.folder, "LumoSidInstall.exe") &&
                                !FileInFolder(plan_.folder, "LumoInstall.exe");
        for (const KeyRule& rule : kRequiredKeys) {
            const std::string key = rule.key;
            if (ownWelcome && (key == "Procedura" || key == "Procedura_1"))
                continue;
            const std::string value = ReadDescriptionValue(plan_.description, rule.section, key, rule.kind);
            if (value.empty()) {
                Add(Severity::Warning, "LC013", KeySubject(rule.section, key),
                    std::string("manca o è vuota: ") + rule.consequence +
                        ". Aggiungere la chiave con il suo valore.");
            } else if (rule.kind == ValueKind::Path) {
                CheckLineBreakPair(KeySubject(rule.section, key), value);
            }
        }
    }

    void CheckLineBreakPair(const std::string& subject, const std::string& path)
    {
        if (!HasLineBreakPair(path))
            return;
        Add(Severity::Warning, "LC010", subject,
            "il percorso " + Quoted(path) +
                " contiene i due caratteri \\n: questo installatore lo usa così come è scritto, ma le versioni "
                "precedenti dell'installatore li trasformano in un a capo e spezzano il percorso. Se la consegna "
                "può essere installata anche da una versione precedente, scegliere un nome che dopo la barra "
                "rovesciata non cominci con n.");
    }

    void CheckCount(const char* key, const char* folder, size_t realCount)
    {
        const std::string text = ReadDescriptionValue(plan_.description, "DESCRIZIONI", key, ValueKind::Text);
        const double count = ReadCount(text);
        const std::string subject = KeySubject("DESCRIZIONI", key);
        const std::string advice =
            " Indicare il numero dei file di " + std::string(folder) + " (" + std::to_string(realCount) + ").";
        if (!IsPositiveCount(count)) {
            Add(Severity::Warning, "LC014", subject,
                (text.empty() ? std::string("manca") : "vale " + Quoted(text) + ", che non è un numero positivo") +
                    ": la barra di avanzamento resterà ferma all'inizio di ogni cartella e salterà alla fine "
                    "solo quando la cartella è finita." +
                    advice);
        } else if (IsCountFarFrom(count, realCount)) {
            const bool tooMany = count > static_cast<double>(realCount);
            Add(Severity::Warning, "LC015", subject,
                "vale " + Quoted(text) + " ma " + folder + " contiene " + std::to_string(realCount) +
                    " file: la barra di avanzamento " +
                    (tooMany ? "avanzerà troppo lentamente e salterà alla fine di colpo."
                             : "si riempirà troppo presto e resterà piena.") +
                    advice);
        }
    }

    void CheckSysFileEntries()
    {
        std::vector<std::string> seen;
        for (const std::string& key : ReadDescriptionKeys(plan_.description, "SYSFILE")) {
            bool repeated = false;
            for (const std::string& other : seen)
                repeated = repeated || SameName(other, key);
            if (repeated)
                continue;
            seen.push_back(key);

            const SysFilePlan* file = nullptr;
            for (const SysFilePlan& candidate : plan_.sysFiles) {
                if (SameName(candidate.fileName, key)) {
                    file = &candidate;
                    break;
                }
            }
            const std::string subject = KeySubject("SYSFILE", key);
            if (file == nullptr) {
                Add(Severity::Warning, "LC011", subject,
                    "nessun file con questo nome in SysFile: la voce non ha effetto. Correggere il nome (un file "
                    "senza voce va nella cartella di sistema e viene sempre registrato) o togliere la voce.");
                continue;
            }
            CheckEntry(subject, *file);
        }
    }

    void CheckEntry(const std::string& subject, const SysFilePlan& file)
    {
        const SysFileEntry& entry = file.entry;
        if (!entry.present)
            return;
        const std::string value = TrimText(file.entryValue);
        if (!entry.hasDelimiter) {
            Add(Severity::Warning, "LC008", subject,
                "il valore " + Quoted(value) +
                    " non contiene \"|\": l'installatore lo prende come destinazione senza indicatore, quindi il "
                    "file non verrà registrato. Scrivere " +
                    Quoted(value + "|REG") + " per registrarlo o " + Quoted(value + "|") + " per non registrarlo.");
        } else if (!IsKnownFlag(entry.flagWord)) {
            Add(Severity::Warning, "LC009", subject,
                "l'indicatore " + Quoted(entry.flagWord) +
                    " non è conosciuto: solo REG chiede la registrazione, quindi il file non verrà registrato. "
                    "Scrivere REG per registrarlo, o lasciare vuoto il posto dopo \"|\".");
        }
        CheckSharedEntry(subject, file);
        if (entry.destination != SysDestination::OwnFolder)
            return;
        if (!IsFullFolderPath(entry.folderWord)) {
            const std::string where = entry.folderWord + "\\" + file.fileName;
            Add(Severity::Error, "LC017", subject,
                (entry.folderWord.empty() ? std::string("manca la cartella prima di \"|\"")
                                          : "la cartella " + Quoted(entry.folderWord) +
                                                " non è un percorso completo") +
                    ": il file andrebbe in " + Quoted(where) + ", " +
                    (entry.folderWord.empty() || entry.folderWord[0] == '\\' || entry.folderWord[0] == '/'
                         ? "alla radice dell'unità corrente"
                         : "sotto la cartella corrente dell'installatore") +
                    ". Indicare un percorso completo (ad esempio C:\\Pelvora\\Condivisi), oppure SYSPATH o "
                    "WINPATH.");
        }
        CheckLineBreakPair(subject, WrittenFolder(file.entryValue));
    }

    // Files of one name in several SysFile folders all read the same entry.
    void CheckSharedEntry(const std::string& subject, const SysFilePlan& file)
    {
        std::string names;
        size_t count = 0;
        bool sameTarget = false;
        for (const SysFilePlan& other : plan_.sysFiles) {
            if (!SameName(other.fileName, file.fileName))
                continue;
            names += (count++ == 0 ? "" : ", ") + other.relative;
            sameTarget = sameTarget || (&other != &file && SameName(other.targetPath, file.targetPath));
        }
        if (count < 2)
            return;
        Add(sameTarget ? Severity::Error : Severity::Warning, "LC012", subject,
            "la voce vale per " + std::to_string(count) + " file con lo stesso nome in cartelle diverse di SysFile (" +
                names + ")" +
                (sameTarget ? ": vanno tutti in " + Quoted(file.targetPath) +
                                  ", dove resta solo quello di versione più alta (a parità, il primo "
                                  "incontrato). Dare ai file nomi diversi."
                            : ": ricevono tutti la stessa registrazione. Se devono essere trattati in modo diverso, "
                              "dare loro nomi diversi."));
    }

    void CheckUnlistable(const UnlistableFolder& folder)
    {
        Add(Severity::Error, "LC019", folder.relative,
            "la cartella non può essere letta (il suo percorso, lungo " + std::to_string(PathLength(folder.path)) +
                " caratteri, con \"\\*.*\" supera i " + std::to_string(kMaxPlatformPath) +
                " ammessi, oppure manca il permesso): l'installatore non ne copia nessun file e scrive nel log \"LA "
                "CARTELLA: ... NON PUO' ESSERE LETTA\". Accorciare i nomi delle cartelle o mettere la consegna in una "
                "cartella meno profonda.");
    }

    void CheckPathLength(const std::string& subject, const std::string& target)
    {
        if (!ExceedsPathLimit(target))
            return;
        Add(Severity::Error, "LC016", subject,
            "il percorso di destinazione " + Quoted(target) + " è lungo " + std::to_string(PathLength(target)) +
                " caratteri, più dei " + std::to_string(kMaxPlatformPath) +
                " ammessi: la copia non riuscirà (\"NON RIUSCITA\" nel log). Accorciare i nomi delle cartelle o "
                "del file.");
    }

    // The log is Windows-1252: a name it cannot hold shows there with "?".
    void CheckLogName(const std::string& relative)
    {
        if (!HasCharacterBeyond1252(relative))
            return;
        Add(Severity::Warning, "LC020", relative,
            "il nome contiene caratteri che il log non può scrivere: il file viene installato con il suo nome, ma "
            "in Installatore.log quei caratteri appaiono come \"?\". Se il log deve nominare il file esattamente, "
            "usare nel nome solo caratteri di Windows-1252.");
    }

    void CheckSysFile(size_t index)
    {
        const SysFilePlan& file = plan_.sysFiles[index];
        CheckLogName(file.relative);
        const bool versioned = ShouldCopySystemFile(file.sourceVersion, FileVersion{});
        if (!versioned) {
            Add(Severity::Error, "LC001", file.relative,
                "non ha una versione leggibile (una risorsa di versione con la tabella delle traduzioni e una "
                "versione diversa da 0.0.0.0): non verrà mai copiato, su nessuna postazione (\"NON COPIATO\" nel "
                "log). Dare al componente una risorsa di versione completa.");
        } else if (!file.copy) {
            Add(Severity::Warning, "LC002", file.relative,
                "la versione " + VersionText(file.sourceVersion) + " non è più recente di quella presente in " +
                    Quoted(file.targetPath) + " (" + VersionText(file.targetVersion) +
                    "): su questo computer il file non verrà copiato né registrato. Se deve sostituirla, "
                    "aumentare la versione del componente.");
        }

        const PeImage image = ReadPeImage(file.source);
        if (image.isPe && image.isDll && image.machine != kOwnMachine) {
            const std::string bits = MachineBits(image.machine);
            Add(Severity::Error, "LC003", file.relative,
                (bits.empty() ? std::string("è una DLL per un altro processore")
                              : "è una DLL a " + bits + " bit") +
                    ": l'installatore, a " + MachineBits(kOwnMachine) +
                    " bit, la copia ma non può caricarla per registrarla, e i programmi a " +
                    MachineBits(kOwnMachine) + " bit non possono usarla. Consegnare la versione a " +
                    MachineBits(kOwnMachine) + " bit del componente.");
        }
        if (image.isPe && file.entry.registerAfterCopy && !image.exportsRegister) {
            Add(Severity::Error, "LC004", file.relative,
                std::string("va registrato (") +
                    (file.entry.present ? "la sua voce in [SYSFILE] chiede REG" : "non ha una voce in [SYSFILE]") +
                    ") ma non esporta DllRegisterServer: dopo la copia il log dirà \"NON E' STATO TROVATO IL PUNTO "
                    "DI INGRESSO\". Scrivere nella voce [SYSFILE] un indicatore diverso da REG (ad esempio "
                    "SYSPATH|) o consegnare il componente giusto.");
        }

        CheckPathLength(file.relative, file.targetPath);
    }

    const DeliveryPlan& plan_;
    std::vector<Finding> findings_;
};

} // namespace

std::vector<Finding> CheckDelivery(const DeliveryPlan& plan)
{
    return Checker(plan).Run();
}
