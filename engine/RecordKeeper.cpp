#include "engine/RecordKeeper.h"

#include "engine/Folders.h"
#include "engine/MachineRecord.h"
#include "engine/OwnPlaces.h"
#include "engine/ProductHome.h"
#include "framework/Digest.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

RecordKeeper::RecordKeeper(std::string entryKey, std::string installDir)
    : entryKey_(std::move(entryKey)), legacyPath_(installDir.empty() ? std::string() : InstallationRecord::PathIn(installDir))
{
    // Without an entry nothing is sealed and nothing removes the product: the
    // record only tells the administrator, beside the log.
    const std::string home = ProductHome(entryKey_);
    recordPath_ = home.empty() ? legacyPath_ : InstallationRecord::PathIn(home);
    if (home.empty())
        legacyPath_.clear();
}

RecordKeeper::Found RecordKeeper::Load(InstallationRecord& record)
{
    record = InstallationRecord();
    error_ = ERROR_SUCCESS;
    std::string digest;
    std::string pending;
    ReadEntryText(entryKey_, kRecordDigest, digest);
    ReadEntryText(entryKey_, kRecordDigestPending, pending);
    const Found found = digest == kRemovalFinishing ? Found::RemovalFinishing : Check(digest, pending, record);
    // What a stopped run or removal noted before each change: newer than
    // the record, which it wrote only at its end; a removal that was
    // finishing may have been stopped with counts given back and not yet
    // forgotten with the entry.
    for (const std::string& line : ReadJournal(entryKey_)) {
        RecordEntry entry;
        if (RecordEntry::FromLine(line, entry))
            record.Put(entry);
    }
    return found;
}

RecordKeeper::Found RecordKeeper::Check(const std::string& digest, const std::string& pending,
                                        InstallationRecord& record)
{
    Found found = Found::Nothing;
    std::string text;
    fromLegacy_ = false;
    movesHome_ = false;
    bool read = ReadOwnFile(recordPath_, text);
    error_ = read ? ERROR_SUCCESS : ::GetLastError();
    bool missing = !read && (error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND);
    // An installation made before homes: its record is believed only as the
    // entry's digest vouches for it, like any other.
    if (missing && !legacyPath_.empty() && (!digest.empty() || !pending.empty())) {
        read = ReadOwnFile(legacyPath_, text);
        error_ = read ? ERROR_SUCCESS : ::GetLastError();
        missing = !read && (error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND);
        fromLegacy_ = read;
    }
    if (!read) {
        if (!missing || !digest.empty())
            found = Found::Unreadable;
    } else {
        const std::string actual = Sha256Hex(text);
        if (!actual.empty() && actual == pending) {
            // Written, and stopped before it was sealed: the journal it took
            // in is stale, and the record is sealed now.
            ClearJournal();
            WriteEntryText(entryKey_, kRecordDigest, actual);
            RemoveEntryValue(entryKey_, kRecordDigestPending);
            found = Found::Sealed;
        } else if (!actual.empty() && actual == digest) {
            found = Found::Sealed;
        } else {
            found = Found::NotMatching;
        }
        if (found == Found::Sealed && !record.Parse(text)) {
            found = Found::Unreadable;
            error_ = ERROR_INVALID_DATA;
        }
    }
    if (found != Found::Sealed)
        record = InstallationRecord();
    // Only a record the digest vouches for moves home; any other stays
    // where it is, unread, for the administrator to look at.
    movesHome_ = fromLegacy_ && found == Found::Sealed;
    return found;
}

bool RecordKeeper::Save(const InstallationRecord& record)
{
    const std::string text = record.Text();
    const std::string digest = entryKey_.empty() ? std::string() : Sha256Hex(text);
    if (!entryKey_.empty() && (digest.empty() || !WriteEntryText(entryKey_, kRecordDigestPending, digest)))
        return false;
    // The home is made below Program Files, whose access list it inherits.
    // A folder at the new record's name can only be a leftover of the
    // program's own there, where no one else writes: it goes when empty, or
    // the write fails and says so.
    if (!entryKey_.empty()) {
        CreateDirectoryPath(FolderOf(recordPath_));
        const std::string stray = recordPath_ + ".nuovo";
        if (IsFolder(stray) && !IsLink(stray))
            machine::RemoveFolder(Wide(stray));
    }
    if (!WriteFileWhole(recordPath_, text))
        return false;
    // What the journal noted is in the record now.
    const bool sealed =
        entryKey_.empty() || (ClearJournal() && WriteEntryText(entryKey_, kRecordDigest, digest) &&
                              RemoveEntryValue(entryKey_, kRecordDigestPending));
    // The record read from the installation folder has moved home: the old
    // one goes, as a name, never through a link.
    if (sealed && movesHome_) {
        const FileHandle old = OpenOwnFile(legacyPath_, DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
        if (old)
            machine::RemoveOpenFile(old.Get(), Wide(legacyPath_));
        movesHome_ = false;
    }
    fromLegacy_ = false;
    return sealed;
}

bool RecordKeeper::Note(const RecordEntry& entry)
{
    if (entryKey_.empty())
        return true;
    if (!journal_ && !OpenJournal(entryKey_, journal_))
        return false;
    return WriteJournalLine(journal_.Get(), entry.path, entry.Line());
}

bool RecordKeeper::Unnote(const std::string& path)
{
    return entryKey_.empty() || RemoveJournalLine(entryKey_, path);
}

bool RecordKeeper::ClearJournal()
{
    journal_.Reset();
    return ::ClearJournal(entryKey_);
}

void RecordKeeper::SettleCountChanges(InstallationRecord& record)
{
    for (RecordEntry& entry : record.entries) {
        if (!entry.CountChanging())
            continue;
        DWORD count = 0;
        entry.Settle(ReadSharedCount(entry.path, count) ? static_cast<long long>(count) : kNoCount);
    }
}

bool RecordKeeper::MarkRemovalFinishing()
{
    return WriteEntryText(entryKey_, kRecordDigest, kRemovalFinishing);
}
