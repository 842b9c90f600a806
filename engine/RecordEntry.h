// One entry of the installation record and its life: where the file came
// from, whether the product registered it, and what the product holds of its
// shared count. The installation, the removal, the journal and the record's
// text all change an entry through the transitions below and nothing else,
// so that each rule (a count given back is taken again, a component found
// and then replaced was there before ...) is written once.
#pragma once

#include <string>

enum class RecordKind { ApplicationFile, DaoFile, SystemFile, Folder };

// A count below SharedDLLs, or none.
constexpr long long kNoCount = -1;

class RecordEntry {
public:
    RecordEntry() = default;
    RecordEntry(RecordKind entryKind, std::string entryPath) : kind(entryKind), path(std::move(entryPath)) {}

    RecordKind kind = RecordKind::ApplicationFile;
    std::string path;

    // --- What the entry says.

    // A file the product copied: where none was, or over an older one.
    bool Copied() const { return origin_ == Origin::Placed || origin_ == Origin::PlacedOver; }
    // A file that was on the machine before the product's copy, or that the
    // product only found there with an equal or newer version.
    bool ExistedBefore() const { return origin_ == Origin::PlacedOver || origin_ == Origin::Found; }
    // The product's own copy: an application file it placed where none was,
    // or a shared file it copied.
    bool ByProduct() const { return kind == RecordKind::ApplicationFile ? !ExistedBefore() : Copied(); }

    // Registered by this product (its DllRegisterServer returned success, or
    // it is registered at the restart).
    bool Registered() const { return registration_ == Registration::Done; }
    // Copied to be registered by a run that was stopped before it did.
    bool RegistrationPending() const { return registration_ == Registration::Pending; }

    // The product took a count for it: its count holds one for the product,
    // or did until a removal gave it back.
    bool Counted() const { return count_ != Count::None && count_ != Count::Counting; }
    // A removal gave the product's count back and could not finish with the
    // file: the next removal must not give it back again.
    bool GivenBack() const { return count_ == Count::Released; }
    // A run that uses the file must take a count for the product: it holds none.
    bool NeedsCount() const { return count_ == Count::None || count_ == Count::Released; }
    // A change of the count noted before it is made, not yet known to be made.
    bool CountChanging() const { return count_ == Count::Counting || count_ == Count::Releasing; }
    // The change's count before and after it (kNoCount for none); after a
    // count is given back, what it was left at.
    long long CountFrom() const { return countFrom_; }
    long long CountTo() const { return countTo_; }

    // --- Its life.

    // The product is about to copy its file to the path. For an entry it had
    // not met, wasThere tells whether a file lay there; a component it only
    // found is one it now copies over. The copy is registered when wanted,
    // and a registration still waiting is given up when no longer wanted.
    void Copying(bool wasThere, bool registerWanted);
    // Found with an equal or newer version: used, not copied.
    void Found();
    void RegisteredNow();
    // A change of the count from one value to another, about to be made.
    void CountingFrom(long long from, long long to);
    void ReleasingFrom(long long from, long long to);
    // The change under way was made, or was not.
    void ChangeMade();
    void ChangeNotMade();
    // Made or not, as the count there now (kNoCount for none) tells: the
    // journal of a stopped run holds the change, the registry its outcome. A
    // count given back to zero may have gone with its file since.
    void Settle(long long countNow);

    // --- As the record and the journal write it:
    // "kind | origin | registration | count | path", the path last since it
    // may hold anything but "|".
    std::string Line() const;
    // False for a line that is not an entry; the entry is then unchanged.
    static bool FromLine(const std::string& line, RecordEntry& entry);

private:
    enum class Origin {
        None,       // a folder, or a file not yet met
        Placed,     // copied where none was ("copiato")
        PlacedOver, // copied over a file that was there ("aggiornato", "preesistente")
        Found,      // found with an equal or newer version ("presente")
    };
    enum class Registration { None, Pending, Done };
    enum class Count { None, Counting, Counted, Releasing, Released };

    Origin origin_ = Origin::None;
    Registration registration_ = Registration::None;
    Count count_ = Count::None;
    long long countFrom_ = kNoCount;
    long long countTo_ = kNoCount;
};
