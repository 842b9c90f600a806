#include "engine/InstallationRecord.h"

#include "engine/OwnPlaces.h"
#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr char kRecordName[] = "Installatore-elenco.txt";
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

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

std::string InstallationRecord::Text() const
{
    std::string text = kUtf8Mark;
    text += "; Ciò che l'installazione di " + product.name +
            " ha posto su questo computer.\r\n"
            "; La rimozione del prodotto legge questo file: non modificarlo.\r\n"
            "; Colonne: tipo | origine (copiato dal prodotto dove non c'era, aggiornato su uno più vecchio, "
            "preesistente e sovrascritto, o presente con una versione uguale o più recente) | "
            "registrazione | contatore dei componenti condivisi | percorso\r\n"
            "[PRODOTTO]\r\n"
            "Nome=" + product.name + "\r\n"
            "Versione=" + product.version + "\r\n"
            "Produttore=" + product.publisher + "\r\n"
            "PathKey=" + product.pathKey + "\r\n"
            "Voce=" + product.uninstallKey + "\r\n"
            "Cartella=" + installDir + "\r\n"
            "[FILE]\r\n";
    // In the order of the paths, whatever order the runs met them in, so
    // that the same installation always gives the same record (and digest);
    // read backwards, each folder comes after what is inside it.
    std::vector<std::pair<std::string, const RecordEntry*>> sorted;
    sorted.reserve(entries.size());
    for (const RecordEntry& entry : entries)
        sorted.emplace_back(UpperText(entry.path), &entry);
    std::sort(sorted.begin(), sorted.end());
    for (const auto& [key, entry] : sorted)
        text += entry->Line() + "\r\n";
    return text;
}

bool InstallationRecord::Parse(const std::string& text)
{
    *this = InstallationRecord();
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
        RecordEntry entry;
        // A path listed twice keeps its first line.
        if (RecordEntry::FromLine(line, entry) && Find(entry.path) == nullptr)
            Put(entry);
    }
    return true;
}

bool InstallationRecord::Load(const std::string& path)
{
    std::string text;
    if (!ReadOwnFile(path, text)) {
        *this = InstallationRecord();
        return false;
    }
    return Parse(text);
}

bool InstallationRecord::Save(const std::string& path) const
{
    return WriteFileWhole(path, Text());
}

bool ReadOwnFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    const FileHandle file = OpenOwnFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file)
        return false;
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr))
            return false;
        if (got == 0)
            return true;
        bytes.append(buffer, got);
    }
}

bool WriteFileWhole(const std::string& path, const std::string& bytes)
{
    const std::wstring temp = Wide(path + ".nuovo");
    FileHandle file(machine::CreateNewFile(temp, FILE_ATTRIBUTE_NORMAL));
    // What an ended run left at the temporary name goes first. A link or a
    // second name of another file that a user put there goes by its name
    // alone, which never reaches what it leads to; nothing is written through it.
    if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {
        bool removed = false;
        {
            const FileHandle left =
                OpenOwnFile(Utf8(temp), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
            removed = left ? machine::RemoveOpenFile(left.Get(), temp)
                           : ::GetLastError() == kLinkRefused && machine::RemoveFile(temp);
        }
        if (removed)
            file.Reset(machine::CreateNewFile(temp, FILE_ATTRIBUTE_NORMAL));
    }
    if (!file)
        return false;
    if (machine::WriteAndFlush(file.Get(), bytes.data(), bytes.size()) && machine::RenameOver(file.Get(), Wide(path)))
        return true;
    const DWORD error = ::GetLastError();
    machine::RemoveOpenFile(file.Get(), temp);
    ::SetLastError(error);
    return false;
}

RecordEntry& InstallationRecord::Entry(RecordKind kind, const std::string& path)
{
    const auto [at, added] = index_.try_emplace(UpperText(path), entries.size());
    if (!added)
        return entries[at->second];
    entries.emplace_back(kind, path);
    return entries.back();
}

void InstallationRecord::Put(const RecordEntry& entry)
{
    Entry(entry.kind, entry.path) = entry;
}

const RecordEntry* InstallationRecord::Find(const std::string& path) const
{
    const auto found = index_.find(UpperText(path));
    return found != index_.end() ? &entries[found->second] : nullptr;
}

RecordEntry* InstallationRecord::Find(const std::string& path)
{
    const auto found = index_.find(UpperText(path));
    return found != index_.end() ? &entries[found->second] : nullptr;
}

void InstallationRecord::ForgetMissing(const std::function<bool(const std::string&)>& exists)
{
    Forget([&exists](const RecordEntry& entry) { return exists ? !exists(entry.path) : !PathExists(entry.path); });
}

void InstallationRecord::Index()
{
    index_.clear();
    for (size_t i = 0; i < entries.size(); ++i)
        index_.emplace(UpperText(entries[i].path), i);
}
