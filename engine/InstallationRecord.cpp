#include "engine/InstallationRecord.h"

#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kRecordName[] = "Installatore-elenco.txt";
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kSeparator[] = " | ";

// The words of the record, as an administrator reads them.
struct KindWord {
    RecordKind kind;
    const char* word;
};
constexpr KindWord kKinds[] = {
    { RecordKind::ApplicationFile, "applicativo" },
    { RecordKind::DaoFile, "dao" },
    { RecordKind::SystemFile, "sistema" },
    { RecordKind::Folder, "cartella" },
};

const char* WordOf(RecordKind kind)
{
    for (const KindWord& k : kKinds) {
        if (k.kind == kind)
            return k.word;
    }
    return "?";
}

bool KindOf(const std::string& word, RecordKind& kind)
{
    for (const KindWord& k : kKinds) {
        if (word == k.word) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

std::string Line(const RecordEntry& entry)
{
    const bool file = entry.kind != RecordKind::Folder;
    return std::string(WordOf(entry.kind)) + kSeparator +
           (entry.kind == RecordKind::Folder ? "creata"
            : entry.ByProduct()                     ? "copiato"
                                                                        : "presente") +
           kSeparator + (file && entry.registered ? "registrato" : "-") + kSeparator +
           (file && entry.counted ? "contato" : "-") + kSeparator + entry.path;
}

// "key=value" of the product section.
bool SplitValue(const std::string& line, const char* key, std::string& value)
{
    const std::string lead = std::string(key) + "=";
    if (line.compare(0, lead.size(), lead) != 0)
        return false;
    value = line.substr(lead.size());
    return true;
}

} // namespace

std::string UninstallKeyName(const std::string& pathKey, const std::string& name)
{
    std::string key = pathKey;
    const std::string software = "Software\\";
    if (key.size() > software.size() && EqualIgnoringCase(key.substr(0, software.size()), software))
        key.erase(0, software.size());
    while (!key.empty() && key.back() == '\\')
        key.pop_back();
    std::replace(key.begin(), key.end(), '\\', '.');
    return key.empty() ? name : key;
}

std::string InstallationRecord::PathIn(const std::string& installDir)
{
    return installDir + "\\" + kRecordName;
}

bool InstallationRecord::Load(const std::string& path)
{
    *this = InstallationRecord();
    CrtFile file(::_wfopen(Wide(path).c_str(), L"rb"));
    if (!file)
        return false;
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file.Get())) > 0;)
        text.append(buffer, got);
    if (text.compare(0, 3, kUtf8Mark) != 0)
        return false;

    bool inFiles = false;
    for (size_t start = 3; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line == "[PRODOTTO]" || line == "[FILE]") {
            inFiles = line == "[FILE]";
            continue;
        }
        if (!inFiles) {
            SplitValue(line, "Nome", product.name) || SplitValue(line, "Versione", product.version) ||
                SplitValue(line, "Produttore", product.publisher) || SplitValue(line, "PathKey", product.pathKey) ||
                SplitValue(line, "Voce", product.uninstallKey) || SplitValue(line, "Cartella", installDir);
            continue;
        }
        // kind | origin | registration | count | path: the path comes last, since
        // it may hold anything but "|".
        std::vector<std::string> fields;
        size_t at = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t next = line.find(kSeparator, at);
            if (next == std::string::npos)
                break;
            fields.push_back(line.substr(at, next - at));
            at = next + 3;
        }
        RecordKind kind;
        if (fields.size() != 4 || !KindOf(fields[0], kind) || at >= line.size())
            continue;
        // A path listed twice keeps its first line.
        const std::string path = line.substr(at);
        if (Find(path) != nullptr)
            continue;
        RecordEntry& entry = Entry(kind, path);
        entry.copied = fields[1] == "copiato";
        entry.registered = fields[2] == "registrato";
        entry.counted = fields[3] == "contato";
    }
    return true;
}

bool InstallationRecord::Save(const std::string& path) const
{
    std::string text = kUtf8Mark;
    text += "; Ciò che l'installazione di " + product.name +
            " ha posto su questo computer.\r\n"
            "; La rimozione del prodotto legge questo file: non modificarlo.\r\n"
            "; Colonne: tipo | origine (copiato dal prodotto, o presente con una versione uguale o più recente) | "
            "registrazione | contatore dei componenti condivisi | percorso\r\n"
            "[PRODOTTO]\r\n"
            "Nome=" + product.name + "\r\n"
            "Versione=" + product.version + "\r\n"
            "Produttore=" + product.publisher + "\r\n"
            "PathKey=" + product.pathKey + "\r\n"
            "Voce=" + product.uninstallKey + "\r\n"
            "Cartella=" + installDir + "\r\n"
            "[FILE]\r\n";
    for (const RecordEntry& entry : entries)
        text += Line(entry) + "\r\n";

    // Whole or not at all, as every file the installer writes: a new file,
    // on the disk before it takes the record's name.
    const std::wstring temp = Wide(path + ".nuovo");
    machine::RemoveFile(temp);
    bool written = false;
    {
        const FileHandle file(machine::CreateNewFile(temp, FILE_ATTRIBUTE_NORMAL));
        if (!file)
            return false;
        written = machine::WriteAndFlush(file.Get(), text.data(), text.size()) &&
                  machine::RenameOver(file.Get(), Wide(path));
    }
    if (!written) {
        const DWORD error = ::GetLastError();
        machine::RemoveFile(temp);
        ::SetLastError(error);
    }
    return written;
}

RecordEntry& InstallationRecord::Entry(RecordKind kind, const std::string& path)
{
    const auto [at, added] = index_.try_emplace(UpperText(path), entries.size());
    if (!added)
        return entries[at->second];
    RecordEntry entry;
    entry.kind = kind;
    entry.path = path;
    entries.push_back(entry);
    return entries.back();
}

const RecordEntry* InstallationRecord::Find(const std::string& path) const
{
    const auto found = index_.find(UpperText(path));
    return found != index_.end() ? &entries[found->second] : nullptr;
}

void InstallationRecord::ForgetMissing()
{
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const RecordEntry& entry) { return !PathExists(entry.path); }),
                  entries.end());
    Index();
}

void InstallationRecord::Index()
{
    index_.clear();
    for (size_t i = 0; i < entries.size(); ++i)
        index_.emplace(UpperText(entries[i].path), i);
}
