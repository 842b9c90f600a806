// The names in the folders a run installs into, each folder listed once. A
// run asks of every target whether it is there; under Wine (and on other file
// systems that compare names without regard to case) a name that is not in a
// folder costs a search of the whole folder, and the system folder holds a
// thousand names. The index answers from one listing, kept up to date with
// what the run itself places and makes. Another program may write a target
// after its folder was listed: what the run decides by (to copy or not, and
// whether the file was there before it) is looked for at the target itself.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

class FolderIndex {
public:
    // Whether something of that name is in its folder: as the folder was
    // when first asked about, with what the run placed since.
    bool Has(const std::string& path);
    // Its size in bytes, 0 when it is not there.
    unsigned long long SizeOf(const std::string& path);
    // Whether something of that name is there now, from one look at it; the
    // listing learns the answer. A target that cannot be looked at is taken
    // as there: absence is only what the file system says it is.
    bool Look(const std::string& path);
    // The run placed a file of that size there.
    void Added(const std::string& path, unsigned long long size);
    // The run made that folder: it is known to be empty without a listing.
    void Made(const std::string& folder);
    // Whether the run made that folder: nothing an earlier run left can be
    // in it.
    bool MadeByRun(const std::string& folder) const;

private:
    using Names = std::unordered_map<std::string, unsigned long long>;
    Names& Listing(const std::string& folder);
    // The listing of the folder when it was made already, or null.
    Names* Listed(const std::string& folder);

    // Names in capitals with their sizes, by folder in capitals.
    std::unordered_map<std::string, Names> folders_;
    // In capitals.
    std::unordered_set<std::string> made_;
    // The folder asked about last, as it was written.
    std::string lastFolder_;
    Names* last_ = nullptr;
};
