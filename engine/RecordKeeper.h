// The installation record and what makes it trustworthy. The record lies in
// the product's home below Program Files (an installation made before homes
// kept it in the installation folder: it is read there once, and moved); what
// decides lies in the product's entry of Programs and Features, where only
// administrators write: the digest of the record the last run wrote, and the journal of the
// changes a run or a removal has under way. A record that does not match
// its digest is never acted on, and a run or a removal stopped at any
// instant leaves the next one the facts it needs to finish the work once.
#pragma once

#include "engine/InstallationRecord.h"
#include "framework/Handles.h"

#include <windows.h>

#include <string>

class RecordKeeper {
public:
    // entryKey names the product's entry (UninstallKeyName); without one
    // nothing is sealed and nothing journaled.
    RecordKeeper(std::string entryKey, std::string installDir);

    enum class Found {
        Nothing,          // no record and no digest: nothing was installed here
        Sealed,           // the record is the one the last run wrote
        NotMatching,      // a record that no run of the product wrote
        Unreadable,       // the digest says there is a record, and it cannot be read
        RemovalFinishing, // a removal did away with the files; the registry is left
    };
    // Reads the record and checks it against its digest, then takes in the
    // journal of a run or a removal that did not end. Error() tells why a
    // record could not be read.
    Found Load(InstallationRecord& record);
    DWORD Error() const { return error_; }

    // Writes the record whole and seals it: the new record's digest is noted
    // as pending, the file is written, the digest becomes the record's; a
    // stop at any step leaves a record that matches one of the two.
    bool Save(const InstallationRecord& record);

    // Notes the entry's state in the journal, before the change it tells of.
    bool Note(const RecordEntry& entry);
    // Takes back the note of a change that did not happen.
    bool Unnote(const std::string& path);
    bool ClearJournal();
    // The counts the journal says were being changed: whether each change
    // was made, read from the count there now.
    static void SettleCountChanges(InstallationRecord& record);

    // The removal's last step: the files are done with, the registry is left.
    bool MarkRemovalFinishing();

    const std::string& EntryKey() const { return entryKey_; }
    // The record the keeper reads and removes: in the home, or where an
    // installation made before homes left it until it is saved again.
    const std::string& RecordPath() const { return fromLegacy_ ? legacyPath_ : recordPath_; }
    // The record was read from the installation folder, vouched for by the
    // digest, and is not yet saved in the home.
    bool MovesHome() const { return movesHome_; }

private:
    // The record against the entry's digest, or the one noted as pending.
    Found Check(const std::string& digest, const std::string& pending, InstallationRecord& record);

    std::string entryKey_;
    std::string recordPath_;
    std::string legacyPath_;
    bool fromLegacy_ = false;
    bool movesHome_ = false;
    // The journal's key, kept open while a run notes its changes.
    RegKey journal_;
    DWORD error_ = ERROR_SUCCESS;
};
