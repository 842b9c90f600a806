#include "checker/Checks.h"

#include "engine/InstallDescription.h"
#include "checker/CheckRules.h"
#include "checker/DescriptionFile.h"
#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <cstdio>
#include <unordered_map>
#include <unordered_set>

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

std::string CaseKey(const std::string& name)
{
    return UpperText(name);
}

bool FileInFolder(const std::string& folder, const char* name)
{
    return IsFile(folder + "\\" + name);
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
      "dove il registro non indica una cartella di installazione, l'installatore non ne ha nessuna e termina "
      "con il codice 1603 senza installare nulla" },
};

class Checker {
public:
    explicit Checker(const DeliveryPlan& plan) : plan_(plan) {}

    std::vector<Finding> Run()
    {
        CheckProgram();
        if (!plan_.descriptionOpens) {
            Add(Severity::Error, "LC018", kInstallDescriptionName,
                "manca o non si può aprire: l'installatore mostra solo il messaggio \"Informazioni di "
                "installazione non presenti.\" e termina senza installare nulla. Mettere Installatore.ini nella "
                "cartella della consegna, accanto a LumoInstall.exe.");
            return findings_;
        }
        const std::string bytes = ReadBytes(plan_.description);
        const DescriptionFile description(bytes);
        description_ = &description;
        CheckEncoding(bytes);
        CheckRepeated();
        CheckLengths();
        CheckRequiredKeys();
        CheckProduct();
        CheckCount("NumeroFiles", "FilesToCopy", plan_.appFiles.size());
        CheckCount("NumeroSysFiles", "SysFile", plan_.sysFiles.size());
        IndexSysFiles();
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
        description_ = nullptr;
        return findings_;
    }

private:
    void Add(Severity severity, const char* code, const std::string& subject, const std::string& message,
             const std::string& file = std::string(), int line = 0)
    {
        findings_.push_back({ severity, code, subject, message, file.empty() ? subject : file, line });
    }

    // A finding about a key of the description file, with the key's line.
    void AddKey(Severity severity, const char* code, const std::string& section, const std::string& key,
                const std::string& message)
    {
        Add(severity, code, KeySubject(section, key), message, kInstallDescriptionName, description_->LineOf(section, key));
    }

    // The program that a workstation starts: LumoInstall.exe, or renamed
    // LumoSidInstall.exe, the 32-bit build.
    void CheckProgram()
    {
        const char* const names[] = { "LumoInstall.exe", "LumoSidInstall.exe" };
        bool found = false;
        for (const char* name : names) {
            if (!FileInFolder(plan_.folder, name))
                continue;
            found = true;
            const PeFile program = ReadPeFile(plan_.folder + "\\" + name);
            if (program.kind == PeKind::Image && !program.truncated && !program.isDll &&
                program.machine == kShippedMachine)
                continue;
            if (program.kind == PeKind::Image && program.machine == IMAGE_FILE_MACHINE_AMD64) {
                Add(Severity::Error, "LC022", name,
                    "è la build di prova a 64 bit, non quella da consegnare: non si avvia su Windows a 32 bit e "
                    "altrove non può caricare i componenti a 32 bit per registrarli (\"NON PUO' ESSERE CARICATO\" "
                    "nel log). Consegnare la build a 32 bit del programma.");
            } else {
                Add(Severity::Error, "LC022", name,
                    "non è il programma di installazione a 32 bit (" + ImageProblem(program) +
                        "): sulla postazione non si avvia. Consegnare la build a 32 bit del programma.");
            }
        }
        if (!found)
            Add(Severity::Error, "LC022", "LumoInstall.exe",
                "manca nella cartella della consegna: sulla postazione non c'è nulla da avviare e non si installa "
                "niente. Mettere LumoInstall.exe, la build a 32 bit, accanto a Installatore.ini.");
    }

    static std::string ImageProblem(const PeFile& image)
    {
        switch (image.kind) {
        case PeKind::Missing:
            return "non si può aprire";
        case PeKind::Empty:
            return "è vuoto";
        case PeKind::NotProgram:
            return "non è un file di programma";
        case PeKind::Damaged:
            return "è danneggiato";
        case PeKind::Image:
            break;
        }
        if (image.truncated)
            return "è troncato";
        if (image.isDll)
            return "è una DLL";
        const std::string bits = MachineBits(image.machine);
        return bits.empty() ? "è per un altro processore" : "è un programma a " + bits + " bit";
    }

    void CheckEncoding(const std::string& bytes)
    {
        if (description_->Encoding() == TextEncoding::Utf16NoBom) {
            Add(Severity::Error, "LC027", kInstallDescriptionName,
                "è salvato in UTF-16 senza il segno BOM: l'installatore non lo riconosce come Unicode e lo legge "
                "come testo ANSI, dove ogni carattere è seguito da un byte nullo, quindi non trova le sezioni né "
                "le chiavi e non installa come descritto. Salvare il file come ANSI (Windows-1252), oppure come "
                "Unicode con il suo BOM.",
                kInstallDescriptionName, 1);
        }
        if (HasUtf8Bom(bytes)) {
            const std::string first = FirstSectionName(bytes);
            Add(Severity::Error, "LC005", kInstallDescriptionName,
                "inizia con il segno BOM di UTF-8: sulla postazione " +
                    (first.empty() ? std::string("la prima sezione non viene riconosciuta e le sue chiavi vanno")
                                   : "il nome della prima sezione, [" + first +
                                         "], non viene riconosciuto e tutte le sue chiavi vanno") +
                    " perse. Salvare il file come ANSI (Windows-1252), senza BOM.",
                kInstallDescriptionName, 1);
        }
        if (IsUtf8BeyondAscii(bytes)) {
            const int line = FirstLineBeyondAscii(bytes);
            Add(Severity::Warning, "LC006", kInstallDescriptionName,
                "è salvato in UTF-8 (riga " + std::to_string(line) +
                    "): ogni lettera accentata apparirà come due caratteri estranei "
                    "(\"Ã¨\" al posto di \"è\"), nei testi come nei nomi di cartella. "
                    "Salvare il file come ANSI (Windows-1252).",
                kInstallDescriptionName, line);
        }
    }

    // Only the sections the installer reads: a repetition elsewhere changes nothing.
    void CheckRepeated()
    {
        for (const RepeatedName& repeated : description_->Repeated()) {
            const std::string section = UpperText(repeated.section);
            if (section != "DESCRIZIONI" && section != "PRODOTTO" && section != "CHIAVI" && section != "SYSFILE")
                continue;
            const std::string line = std::to_string(repeated.line);
            const std::string first = std::to_string(repeated.firstLine);
            if (repeated.key.empty()) {
                Add(Severity::Error, "LC025", "[" + repeated.section + "]",
                    "la sezione compare di nuovo alla riga " + line + " (la prima volta alla riga " + first +
                        "): l'installatore legge solo la prima e ignora tutte le chiavi scritte sotto la seconda. "
                        "Riunire le chiavi in una sola sezione [" +
                        repeated.section + "].",
                    kInstallDescriptionName, repeated.line);
            } else if (repeated.sameValue) {
                Add(Severity::Warning, "LC026", KeySubject(repeated.section, repeated.key),
                    "la chiave compare di nuovo alla riga " + line + " con lo stesso valore (la prima volta alla "
                    "riga " + first + "): l'installatore usa la prima. Togliere la riga " + line + ".",
                    kInstallDescriptionName, repeated.line);
            } else {
                Add(Severity::Error, "LC026", KeySubject(repeated.section, repeated.key),
                    "la chiave compare di nuovo alla riga " + line + " con un altro valore (la prima volta alla "
                    "riga " + first + "): l'installatore usa solo il valore della riga " + first +
                        " e ignora quello della riga " + line + ". Tenere una sola riga, con il valore giusto.",
                    kInstallDescriptionName, repeated.line);
            }
        }
    }

    void CheckLengths()
    {
        for (const char* section : { "DESCRIZIONI", "PRODOTTO", "CHIAVI", "SYSFILE" }) {
            for (const std::string& key : ReadDescriptionKeys(plan_.description, section)) {
                // The reader is asked only where the written value could be too long.
                const size_t written = description_->WrittenLength(section, key);
                if (written != std::string::npos && written <= kMaxInstallValue)
                    continue;
                const size_t length = DescriptionValueLength(plan_.description, section, key);
                if (length > kMaxInstallValue)
                    AddKey(Severity::Error, "LC007", section, key,
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
                AddKey(Severity::Warning, "LC013", rule.section, key,
                       std::string("manca o è vuota: ") + rule.consequence +
                           ". Aggiungere la chiave con il suo valore.");
                continue;
            }
            if (rule.kind == ValueKind::Path)
                CheckLineBreakPair(rule.section, key, value);
            if (key == "InstallationDir" && NormalFullPath(TrimText(value)).empty())
                CheckInstallationDir(TrimText(value));
            if (key == "PathKey")
                CheckPathKey(value);
        }
    }

    // What Programs and Features and the distribution systems learn of the
    // product from the entry the run writes.
    void CheckProduct()
    {
        if (!plan_.product.version.empty())
            return;
        auto given = [&](const char* key) {
            return !ReadDescriptionValue(plan_.description, "PRODOTTO", key, ValueKind::Path).empty();
        };
        std::string message =
            "manca o è vuota: l'installazione non scrive DisplayVersion nella voce del prodotto nel registro, "
            "quindi Programmi e funzionalità non mostra la versione installata e i sistemi di distribuzione non "
            "hanno una versione da confrontare per sapere se il prodotto è installato e aggiornato.";
        std::vector<std::string> missing;
        if (!given("Nome")) {
            missing.push_back("Nome");
            // As written: a "\n" pair in it stays two characters here.
            const std::string caption =
                ReadDescriptionValue(plan_.description, "DESCRIZIONI", "Caption", ValueKind::Path);
            message += caption.empty()
                           ? " Manca anche Nome, e [DESCRIZIONI] Caption è vuota: in Programmi e funzionalità "
                             "il prodotto non ha nome."
                           : " Manca anche Nome: in Programmi e funzionalità il prodotto si chiama come il titolo "
                             "[DESCRIZIONI] Caption, " + Quoted(caption) + ".";
        }
        missing.push_back("Versione");
        if (!given("Produttore"))
            missing.push_back("Produttore");
        if (description_->LineOf("PRODOTTO") == 0) {
            message += " Aggiungere la sezione [PRODOTTO] con Nome, Versione e Produttore (ad esempio Nome=Pelvora "
                       "Tesmoro, Versione=5.2.1.0, Produttore=Pelvora).";
        } else {
            std::string keys;
            for (size_t i = 0; i < missing.size(); ++i)
                keys += (i == 0 ? "" : i + 1 == missing.size() ? " e " : ", ") + missing[i];
            message += " Aggiungere a [PRODOTTO] " + std::string(missing.size() == 1 ? "la chiave " : "le chiavi ") +
                       keys + " (ad esempio Versione=5.2.1.0).";
        }
        AddKey(Severity::Warning, "LC032", "PRODOTTO", "Versione", message);
    }

    void CheckInstallationDir(const std::string& folder)
    {
        AddKey(Severity::Error, "LC023", "CHIAVI", "InstallationDir",
               "il percorso " + Quoted(folder) +
                   " non è un percorso completo di un'unità locale: dove il registro non indica una cartella di "
                   "installazione, l'installatore termina con il codice 1603 senza installare nulla. Indicare un "
                   "percorso completo, ad esempio C:\\Pelvora\\Tesmoro.");
    }

    void CheckPathKey(const std::string& pathKey)
    {
        const std::string root = RootKeyPrefix(pathKey);
        if (root.empty())
            return;
        AddKey(Severity::Error, "LC024", "CHIAVI", "PathKey",
               "comincia con il nome della chiave radice " + Quoted(root + "\\") +
                   ": l'installatore cerca la chiave sempre sotto HKEY_LOCAL_MACHINE, cioè in "
                   "HKEY_LOCAL_MACHINE\\" + TrimText(pathKey) +
                   ", che non esiste: non trova mai la cartella di un'installazione precedente e installa sempre in "
                   "[CHIAVI] InstallationDir. Scrivere la chiave senza il prefisso (ad esempio "
                   "Software\\Pelvora\\Tesmoro).");
    }

    void CheckLineBreakPair(const std::string& section, const std::string& key, const std::string& path)
    {
        if (!HasLineBreakPair(path))
            return;
        AddKey(Severity::Warning, "LC010", section, key,
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
        const std::string advice =
            " Indicare il numero dei file di " + std::string(folder) + " (" + std::to_string(realCount) + ").";
        if (!IsPositiveCount(count)) {
            AddKey(Severity::Warning, "LC014", "DESCRIZIONI", key,
                   (text.empty() ? std::string("manca") : "vale " + Quoted(text) + ", che non è un numero positivo") +
                       ": la barra di avanzamento resterà ferma all'inizio di ogni cartella e salterà alla fine "
                       "solo quando la cartella è finita." +
                       advice);
        } else if (IsCountFarFrom(count, realCount)) {
            const bool tooMany = count > static_cast<double>(realCount);
            AddKey(Severity::Warning, "LC015", "DESCRIZIONI", key,
                   "vale " + Quoted(text) + " ma " + folder + " contiene " + std::to_string(realCount) +
                       " file: la barra di avanzamento " +
                       (tooMany ? "avanzerà troppo lentamente e salterà alla fine di colpo."
                                : "si riempirà troppo presto e resterà piena.") +
                       advice);
        }
    }

    // The files of SysFile by name, so that each entry finds its files at once.
    void IndexSysFiles()
    {
        for (size_t i = 0; i < plan_.sysFiles.size(); ++i)
            filesByName_[CaseKey(plan_.sysFiles[i].fileName)].push_back(i);
        for (const SysFilePlan& file : plan_.sysFiles)
            deliveryNames_.insert(CaseKey(file.fileName));
        for (const AppFilePlan& file : plan_.appFiles)
            deliveryNames_.insert(CaseKey(file.relative.substr(file.relative.rfind('\\') + 1)));
    }

    void CheckSysFileEntries()
    {
        std::unordered_set<std::string> seen;
        for (const std::string& key : ReadDescriptionKeys(plan_.description, "SYSFILE")) {
            const std::string name = CaseKey(key);
            if (!seen.insert(name).second)
                continue;
            const auto files = filesByName_.find(name);
            if (files == filesByName_.end()) {
                AddKey(Severity::Warning, "LC011", "SYSFILE", key,
                       "nessun file con questo nome in SysFile: la voce non ha effetto. Correggere il nome (un file "
                       "senza voce va nella cartella di sistema e viene sempre registrato) o togliere la voce.");
                continue;
            }
            CheckEntry(key, plan_.sysFiles[files->second.front()], files->second);
        }
    }

    void CheckEntry(const std::string& key, const SysFilePlan& file, const std::vector<size_t>& sameName)
    {
        const SysFileEntry& entry = file.entry;
        if (!entry.present)
            return;
        const std::string value = TrimText(file.entryValue);
        if (!entry.hasDelimiter) {
            AddKey(Severity::Warning, "LC008", "SYSFILE", key,
                   "il valore " + Quoted(value) +
                       " non contiene \"|\": l'installatore lo prende come destinazione senza indicatore, quindi il "
                       "file non verrà registrato. Scrivere " +
                       Quoted(value + "|REG") + " per registrarlo o " + Quoted(value + "|") +
                       " per non registrarlo.");
        } else if (!IsKnownFlag(entry.flagWord)) {
            AddKey(Severity::Warning, "LC009", "SYSFILE", key,
                   "l'indicatore " + Quoted(entry.flagWord) +
                       " non è conosciuto: solo REG chiede la registrazione, quindi il file non verrà registrato. "
                       "Scrivere REG per registrarlo, o lasciare vuoto il posto dopo \"|\".");
        }
        CheckSharedEntry(key, file, sameName);
        if (entry.destination != SysDestination::OwnFolder)
            return;
        if (!IsFullFolderPath(entry.folderWord)) {
            const std::string where = entry.folderWord + "\\" + file.fileName;
            AddKey(Severity::Error, "LC017", "SYSFILE", key,
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
        CheckLineBreakPair("SYSFILE", key, WrittenFolder(file.entryValue));
    }

    // Files of one name in several SysFile folders all read the same entry;
    // sent to one target, the run meets them there one after the other.
    void CheckSharedEntry(const std::string& key, const SysFilePlan& file, const std::vector<size_t>& sameName)
    {
        if (sameName.size() < 2)
            return;
        std::string names;
        std::vector<const SysFilePlan*> onTarget;
        for (size_t index : sameName) {
            const SysFilePlan& other = plan_.sysFiles[index];
            names += (names.empty() ? "" : ", ") + other.relative;
            if (SameName(other.targetPath, file.targetPath))
                onTarget.push_back(&other);
        }
        const std::string shared = "la voce vale per " + std::to_string(sameName.size()) +
                                   " file con lo stesso nome in cartelle diverse di SysFile (" + names + ")";
        if (onTarget.size() < 2) {
            AddKey(Severity::Warning, "LC012", "SYSFILE", key,
                   shared + ": ricevono tutti la stessa registrazione. Se devono essere trattati in modo diverso, "
                            "dare loro nomi diversi.");
            return;
        }
        std::string what = shared + ": vanno tutti in " + Quoted(file.targetPath) +
                           ". L'installatore li tratta nell'ordine in cui li trova e copia ognuno solo se è più "
                           "recente del file che trova lì: alla fine resta quello di versione più alta (a parità, "
                           "il primo incontrato)";
        for (const SysFilePlan* later : onTarget) {
            if (later->copyForecast != CopyForecast::ReplacesLoaded || !later->registration.alreadyLoaded)
                continue;
            const std::string earlier =
                later->registration.loadedFrom.empty() ? "il file che era lì" : later->registration.loadedFrom;
            what += ". Ma " + earlier + ", registrato prima, resta caricato: la copia di " + later->relative +
                    " lo mette da parte, il computer va riavviato (esito 3010) e la registrazione di " +
                    later->relative + " esegue di nuovo il codice di " + earlier + ", non il suo";
            break;
        }
        AddKey(Severity::Error, "LC012", "SYSFILE", key, what + ". Dare ai file nomi diversi.");
    }

    void CheckUnlistable(const UnlistableFolder& folder)
    {
        if (folder.problem == FolderProblem::LeadsBack) {
            Add(Severity::Error, "LC031", folder.relative,
                "è un collegamento a una cartella che lo contiene: l'installatore non lo segue (non finirebbe mai), "
                "non copia nessun file da lì, scrive nel log \"LA CARTELLA: ... NON PUO' ESSERE LETTA\" e termina "
                "con esito 1603. Togliere il collegamento dalla consegna.");
            return;
        }
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

    // What the bytes of a component are, before what its version says:
    // false when they are no sound image, which has no version either.
    bool CheckImage(const SysFilePlan& file)
    {
        const PeFile& image = file.image;
        const char* never = " non verrà mai copiato, su nessuna postazione (\"NON COPIATO\" nel log).";
        switch (image.kind) {
        case PeKind::Empty:
            Add(Severity::Error, "LC028", file.relative,
                std::string("è vuoto (0 byte): non ha una versione e") + never + " Consegnare il file giusto.");
            return false;
        case PeKind::NotProgram:
            Add(Severity::Error, "LC029", file.relative,
                std::string("non è un file di programma (niente intestazioni MZ e PE: un testo, un archivio o "
                            "un altro file con questo nome): non ha una versione e") +
                    never + " Consegnare il componente giusto.");
            return false;
        case PeKind::Missing:
        case PeKind::Damaged:
            Add(Severity::Error, "LC030", file.relative,
                std::string(image.kind == PeKind::Missing
                                ? "non si può aprire per leggerlo"
                                : "è danneggiato: le sue intestazioni non stanno nel file (troncato o rovinato "
                                  "durante il trasferimento)") +
                    ": non ha una versione leggibile e" + never + " Consegnare una copia integra del componente.");
            return false;
        case PeKind::Image:
            break;
        }
        if (image.truncated) {
            Add(Severity::Error, "LC030", file.relative,
                "è più corto di quanto dicono le sue intestazioni (troncato): non può essere caricato, e "
                "l'installatore tratta un file così, una volta copiato, come assente. Consegnare una copia integra "
                "del componente.");
            return false;
        }
        if (image.hasVersionResource && !image.versionSound) {
            Add(Severity::Error, "LC030", file.relative,
                std::string("la sua risorsa di versione è danneggiata (lunghezze o posizioni che escono dalla "
                            "risorsa o dal file): l'installatore la considera assente, quindi il file") +
                    never + " Ricompilare il componente o consegnarne una copia integra.");
            return false;
        }
        return true;
    }

    void CheckSysFile(size_t index)
    {
        const SysFilePlan& file = plan_.sysFiles[index];
        CheckLogName(file.relative);
        const PeFile& image = file.image;
        const bool sound = CheckImage(file);
        const bool versioned = ShouldCopySystemFile(file.sourceVersion, FileVersion{});
        if (sound && !versioned) {
            Add(Severity::Error, "LC001", file.relative,
                "non ha una versione leggibile (una risorsa di versione con la tabella delle traduzioni e una "
                "versione diversa da 0.0.0.0): non verrà mai copiato, su nessuna postazione (\"NON COPIATO\" nel "
                "log, o, per una risorsa di versione incompleta o danneggiata, \"LA VERSIONE DEL FILE ... NON "
                "PUO' ESSERE LETTA\" e l'installazione non riesce). Dare al componente una risorsa di versione "
                "completa.");
        } else if (versioned && !file.copy) {
            Add(Severity::Warning, "LC002", file.relative,
                "la versione " + VersionText(file.sourceVersion) + " non è più recente di quella presente in " +
                    Quoted(file.targetPath) + " (" + VersionText(file.targetVersion) +
                    "): su questo computer il file non verrà copiato né registrato. Se deve sostituirla, "
                    "aumentare la versione del componente.");
        }

        if (image.kind == PeKind::Image && image.isDll && image.machine != kShippedMachine) {
            const std::string bits = MachineBits(image.machine);
            const std::string own = MachineBits(kShippedMachine);
            Add(Severity::Error, "LC003", file.relative,
                (bits.empty() ? std::string("è una DLL per un altro processore")
                              : "è una DLL a " + bits + " bit") +
                    ": l'installatore, a " + own + " bit, la copia ma non può caricarla per registrarla, e i "
                    "programmi a " + own + " bit non possono usarla. Consegnare la versione a " + own +
                    " bit del componente.");
        }
        if (image.kind == PeKind::Image && file.entry.registerAfterCopy && !image.exportsRegister) {
            Add(Severity::Error, "LC004", file.relative,
                std::string("va registrato (") +
                    (file.entry.present ? "la sua voce in [SYSFILE] chiede REG" : "non ha una voce in [SYSFILE]") +
                    ") ma non esporta DllRegisterServer: dopo la copia il log dirà \"NON E' STATO TROVATO IL PUNTO "
                    "DI INGRESSO\". Scrivere nella voce [SYSFILE] un indicatore diverso da REG (ad esempio "
                    "SYSPATH|) o consegnare il componente giusto.");
        }
        if (image.kind == PeKind::Image && image.machine == kShippedMachine)
            CheckImports(file);
        CheckPathLength(file.relative, file.targetPath);
    }

    // An import is found on a workstation when it is a system DLL or when the
    // delivery brings a file of that name.
    void CheckImports(const SysFilePlan& file)
    {
        std::vector<std::string> missing;
        for (const std::string& import : file.nonSystemImports) {
            if (deliveryNames_.count(CaseKey(import)) == 0)
                missing.push_back(import);
        }
        if (missing.empty())
            return;
        const std::string list = NameList(missing);
        const std::string which = missing.size() == 1 ? "importa " + list + ", che non è"
                                                      : "importa " + list + ", che non sono";
        Add(Severity::Error, "LC021", file.relative,
            which + " né DLL di sistema di questo computer né file della consegna: " +
                (file.entry.registerAfterCopy
                     ? "l'installatore non può caricarlo per registrarlo (\"NON PUO' ESSERE CARICATO\" nel log, esito "
                       "1603) e nessun programma potrà usarlo."
                     : "nessun programma potrà caricarlo sulla postazione.") +
                " Consegnare anche " + (missing.size() == 1 ? "la DLL che manca" : "le DLL che mancano") +
                " (in SysFile, così che vadano nella cartella di sistema) o un componente che non ne abbia "
                "bisogno.");
    }

    const DeliveryPlan& plan_;
    const DescriptionFile* description_ = nullptr;
    std::unordered_map<std::string, std::vector<size_t>> filesByName_;
    std::unordered_set<std::string> deliveryNames_;
    std::vector<Finding> findings_;
};

} // namespace

std::vector<Finding> CheckDelivery(const DeliveryPlan& plan)
{
    return Checker(plan).Run();
}

bool DependsOnMachine(const std::string& code)
{
    return code == "LC002" || code == "LC016" || code == "LC019";
}
