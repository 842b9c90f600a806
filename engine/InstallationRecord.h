// What this product put on the machine, kept in a text file of the
// installation folder that an administrator can read and that the removal
// of the product works from: every file placed, whether a system component
// was copied by the product or found with an equal or newer version, which
// were registered, whose shared count holds one for the product, and the
// folders the product made.
#pragma once

#include "engine/RecordEntry.h"

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// The product as the description file names it.
struct ProductIdentity {
    std::string name;      // [PRODOTTO] Nome, else [DESCRIZIONI] Caption
    std::string version;   // [PRODOTTO] Versione; may be empty
    std::string publisher; // [PRODOTTO] Produttore; may be empty
    std::string pathKey;   // [CHIAVI] PathKey
    // The key below ...\CurrentVersion\Uninstall: from PathKey, so that a new
    // version of the product replaces the entry of the old one.
    std::string uninstallKey;
};

// The key name of the Uninstall entry for a product: its PathKey without a
// leading "Software\", each backslash a dot; the name when there is no key.
std::string UninstallKeyName(const std::string& pathKey, const std::string& name);

class InstallationRecord {
public:
    // The record's file in an installation folder.
    static std::string PathIn(const std::string& installDir);

    // The record as its file holds it (UTF-8 with a byte-order mark), and
    // back. Parse is false for bytes that are not a record; the record is
    // then empty.
    std::string Text() const;
    bool Parse(const std::string& text);
    // Reads and writes the file as it lies, without asking whether it is
    // the one the last run wrote (the delivery checker's plan reads it so).
    // A file is written whole: a new file on the disk, then renamed.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    // The entry of the path, made when there is none (paths compare without
    // regard to case).
    RecordEntry& Entry(RecordKind kind, const std::string& path);
    const RecordEntry* Find(const std::string& path) const;
    RecordEntry* Find(const std::string& path);
    // Puts the entry in, replacing the one of its path.
    void Put(const RecordEntry& entry);
    // Forgets the files and folders that are no longer there, as exists
    // tells (the file system, when not given).
    void ForgetMissing(const std::function<bool(const std::string&)>& exists = nullptr);
    // Forgets the entries the predicate picks.
    template <class Predicate>
    void Forget(Predicate picked)
    {
        entries.erase(std::remove_if(entries.begin(), entries.end(), picked), entries.end());
        Index();
    }

    ProductIdentity product;
    std::string installDir;
    std::vector<RecordEntry> entries;

private:
    void Index();
    // Each entry's position by its path in capitals.
    std::unordered_map<std::string, size_t> index_;
};

// Writes the bytes to the file whole or not at all: a new file beside it,
// flushed to the disk, then renamed over it in one step. Never through a
// link: a link at the temporary name is refused, one at the file's name is
// replaced, not followed.
bool WriteFileWhole(const std::string& path, const std::string& bytes);
// Reads a file of the program's own, never through a link; false when it
// cannot be read (the last error tells why).
bool ReadOwnFile(const std::string& path, std::string& bytes);
