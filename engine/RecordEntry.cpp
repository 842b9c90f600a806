#include "engine/RecordEntry.h"

#include <vector>

namespace {

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

std::string CountText(long long count)
{
    return count == kNoCount ? "-" : std::to_string(count);
}

bool CountOf(const std::string& text, long long& count)
{
    if (text == "-") {
        count = kNoCount;
        return true;
    }
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    count = std::stoll(text);
    return count <= 0xFFFFFFFFll;
}

// "contando 1>2": a change of the count from one value to another.
bool ParseChange(const std::string& field, const char* word, long long& from, long long& to)
{
    const std::string lead = std::string(word) + " ";
    if (field.compare(0, lead.size(), lead) != 0)
        return false;
    const std::string change = field.substr(lead.size());
    const size_t arrow = change.find('>');
    return arrow != std::string::npos && CountOf(change.substr(0, arrow), from) &&
           CountOf(change.substr(arrow + 1), to);
}

} // namespace

void RecordEntry::Copying(bool wasThere, bool registerWanted)
{
    if (origin_ == Origin::None)
        origin_ = wasThere ? Origin::PlacedOver : Origin::Placed;
    else if (origin_ == Origin::Found)
        origin_ = Origin::PlacedOver;
    // The new copy is not yet registered, whatever an earlier one was: a run
    // stopped before it registers leaves the next run to do it.
    if (registerWanted)
        registration_ = Registration::Pending;
    else if (registration_ == Registration::Pending)
        registration_ = Registration::None;
}

void RecordEntry::Found()
{
    if (origin_ == Origin::None)
        origin_ = Origin::Found;
}

void RecordEntry::RegisteredNow()
{
    registration_ = Registration::Done;
}

void RecordEntry::CountingFrom(long long from, long long to)
{
    count_ = Count::Counting;
    countFrom_ = from;
    countTo_ = to;
}

void RecordEntry::ReleasingFrom(long long from, long long to)
{
    count_ = Count::Releasing;
    countFrom_ = from;
    countTo_ = to;
}

void RecordEntry::ChangeMade()
{
    if (count_ == Count::Counting)
        count_ = Count::Counted;
    else if (count_ == Count::Releasing)
        count_ = Count::Released;
}

void RecordEntry::ChangeNotMade()
{
    // A count being given back was the product's; one being taken was not
    // (whether an earlier removal gave one back is not kept by the note).
    if (count_ == Count::Counting)
        count_ = Count::None;
    else if (count_ == Count::Releasing)
        count_ = Count::Counted;
}

void RecordEntry::Settle(long long countNow)
{
    const bool made =
        countNow == countTo_ || (count_ == Count::Releasing && countTo_ == 0 && countNow == kNoCount);
    if (made)
        ChangeMade();
    else
        ChangeNotMade();
}

std::string RecordEntry::Line() const
{
    const bool file = kind != RecordKind::Folder;
    // The origin tells what the removal may take: a file the product placed
    // where none was, or over an older one (aggiornato), is its own; one it
    // overwrote (preesistente) or only found (presente) is not.
    const char* origin = kind == RecordKind::Folder            ? "creata"
                         : kind == RecordKind::ApplicationFile ? (ExistedBefore() ? "preesistente" : "copiato")
                         : !Copied()                           ? "presente"
                         : ExistedBefore()                     ? "aggiornato"
                                                               : "copiato";
    const char* registration = !file                                       ? "-"
                               : registration_ == Registration::Done    ? "registrato"
                               : registration_ == Registration::Pending ? "da registrare"
                                                                        : "-";
    std::string count = "-";
    if (file) {
        switch (count_) {
        case Count::None:
            break;
        case Count::Counting:
            count = "contando " + CountText(countFrom_) + ">" + CountText(countTo_);
            break;
        case Count::Counted:
            count = "contato";
            break;
        case Count::Releasing:
            count = "rilasciando " + CountText(countFrom_) + ">" + CountText(countTo_);
            break;
        case Count::Released:
            count = "rilasciato";
            break;
        }
    }
    return std::string(WordOf(kind)) + kSeparator + origin + kSeparator + registration + kSeparator + count +
           kSeparator + path;
}

bool RecordEntry::FromLine(const std::string& line, RecordEntry& entry)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t next = line.find(kSeparator, at);
        if (next == std::string::npos)
            break;
        fields.push_back(line.substr(at, next - at));
        at = next + 3;
    }
    RecordEntry parsed;
    if (fields.size() != 4 || !KindOf(fields[0], parsed.kind) || at >= line.size())
        return false;
    parsed.path = line.substr(at);

    const std::string& origin = fields[1];
    parsed.origin_ = origin == "copiato"                                 ? Origin::Placed
                     : origin == "aggiornato" || origin == "preesistente" ? Origin::PlacedOver
                     : origin == "presente"                              ? Origin::Found
                                                                         : Origin::None;
    parsed.registration_ = fields[2] == "registrato"      ? Registration::Done
                           : fields[2] == "da registrare" ? Registration::Pending
                                                          : Registration::None;
    const std::string& count = fields[3];
    if (count == "contato")
        parsed.count_ = Count::Counted;
    else if (count == "rilasciato")
        parsed.count_ = Count::Released;
    else if (ParseChange(count, "contando", parsed.countFrom_, parsed.countTo_))
        parsed.count_ = Count::Counting;
    else if (ParseChange(count, "rilasciando", parsed.countFrom_, parsed.countTo_))
        parsed.count_ = Count::Releasing;
    entry = parsed;
    return true;
}
