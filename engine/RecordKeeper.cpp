#include "engine/RecordKeeper.h"

#include "engine/MachineRecord.h"
#include "engine/OwnPlaces.h"
#include "framework/Digest.h"

RecordKeeper::RecordKeeper(std::string entryKey, std::string installDir)
    : entryKey_(std::move(entryKey)), recordPath_(InstallationRecord::PathIn(installDir))
{
}

RecordKeeper::Found RecordKeeper::Load(InstallationRecord& record)
{
    record = InstallationRecord();
    error_ = ERROR_SUCCESS;
    std::string digest;
    std::string pending;
    ReadEntryText(entryKey_, kRecordDigest, digest);
    ReadEntryText(entryKey_, kRecordDigestPending, pending);
    if (digest == kRemovalFinishing)
        return Found::RemovalFinishing;

    Found found = Found::Nothing;
    std::string text;
    if (!ReadOwnFile(recordPath_, text)) {
        error_ = ::GetLastError();
        const bool missing = error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND;
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
        if (found == Found::Sealed && !record.Parse(text))
            found = Found::Unreadable;
    }
    if (found != Found::Sealed)
        record = InstallationRecord();

    // What a stopped run or removal noted before each change: newer than
    // the record, which it wrote only at its end.
    for (const std::string& line : ReadJournal(entryKey_)) {
        RecordEntry entry;
        if (InstallationRecord::ParseLine(line, entry))
            record.Put(entry);
    }
    return found;
}

bool RecordKeeper::Save(const InstallationRecord& record)
{
    const std::string text = record.Text();
    const std::string digest = entryKey_.empty() ? std::string() : Sha256Hex(text);
    if (!entryKey_.empty() && (digest.empty() || !WriteEntryText(entryKey_, kRecordDigestPending, digest)))
        return false;
    if (!WriteFileWhole(recordPath_, text))
        return false;
    // What the journal noted is in the record now.
    return entryKey_.empty() ||
           (ClearJournal() &&
            WriteEntryText(entryKey_, kRecordDigest, digest) && RemoveEntryValue(entryKey_, kRecordDigestPending));
}

bool RecordKeeper::Note(const RecordEntry& entry)
{
    if (entryKey_.empty())
        return true;
    if (!journal_ && !OpenJournal(entryKey_, journal_))
        return false;
    return WriteJournalLine(journal_.Get(), entry.path, InstallationRecord::LineOf(entry));
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
        if (!entry.counting && !entry.releasing)
            continue;
        DWORD count = 0;
        const long long now = ReadSharedCount(entry.path, count) ? static_cast<long long>(count) : kNoCount;
        // A count given back to zero may have gone with its file since.
        const bool made = now == entry.countTo || (entry.releasing && entry.countTo == 0 && now == kNoCount);
        // A count being given back was the product's either way.
        if (entry.counting) {
            entry.counted = made;
        } else {
            entry.counted = true;
            entry.released = made;
        }
        entry.counting = false;
        entry.releasing = false;
    }
}

bool RecordKeeper::MarkRemovalFinishing()
{
    return WriteEntryText(entryKey_, kRecordDigest, kRemovalFinishing);
}
