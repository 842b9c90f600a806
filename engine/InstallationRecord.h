// What this product put on the machine, kept in a text file of the
// installation folder that an administrator can read and that the removal
// of the product works from: every file placed, whether a system component
// was copied by the product or found with an equal or newer version, which
// were registered, whose shared count holds one for the product, and the
// folders the product made.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

enum class RecordKind { ApplicationFile, DaoFile, SystemFile, Folder };

struct RecordEntry {
    RecordKind kind = RecordKind::ApplicationFile;
    std::string path;
    // A system component or DAO file copied by this product; false for one
    // found on the machine with an equal or newer version.
    bool copied = false;
    // Registered by this product (its DllRegisterServer returned success, or
    // it is registered at the restart).
    bool registered = false;
    // Its count below SharedDLLs holds one for this product.
    bool counted = false;

    // The product's own copy: an application file, or a shared file it copied.
    bool ByProduct() const { return copied || kind == RecordKind::ApplicationFile; }
};

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

    // False when the file is missing or not a record; the record is then empty.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    // The entry of the path, made when there is none (paths compare without
    // regard to case).
    RecordEntry& Entry(RecordKind kind, const std::string& path);
    const RecordEntry* Find(const std::string& path) const;
    // Forgets the files and folders that are no longer there.
    void ForgetMissing();

    ProductIdentity product;
    std::string installDir;
    std::vector<RecordEntry> entries;

private:
    void Index();
    // Each entry's position by its path in capitals.
    std::unordered_map<std::string, size_t> index_;
};
