// The life of a record entry: each history of transitions a run or a removal
// can make, the line the record and the journal keep of it, what the
// installation and the removal read from it, and the same read back from
// its line, as a run stopped after the note reads it.
#include "engine/RecordEntry.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using Step = std::function<void(RecordEntry&)>;

const Step kCopyNew = [](RecordEntry& e) { e.Copying(false, false); };
const Step kCopyOver = [](RecordEntry& e) { e.Copying(true, false); };
const Step kCopyToRegister = [](RecordEntry& e) { e.Copying(true, true); };
const Step kCopyNewToRegister = [](RecordEntry& e) { e.Copying(false, true); };
const Step kFound = [](RecordEntry& e) { e.Found(); };
const Step kRegistered = [](RecordEntry& e) { e.RegisteredNow(); };
const Step kCounting = [](RecordEntry& e) { e.CountingFrom(1, 2); };
const Step kReleasing = [](RecordEntry& e) { e.ReleasingFrom(2, 1); };
const Step kMade = [](RecordEntry& e) { e.ChangeMade(); };
const Step kNotMade = [](RecordEntry& e) { e.ChangeNotMade(); };

struct History {
    const char* what;
    RecordKind kind;
    std::vector<Step> steps;
    const char* line; // without " | <path>"
    bool byProduct;
    bool registerAtNextRun; // copied and waiting for its registration
    bool needsCount;
    bool counted;
    bool givenBack;
};

TEST(RecordEntry, EveryHistoryReadsTheSameFromItsLine)
{
    const RecordKind app = RecordKind::ApplicationFile;
    const RecordKind sys = RecordKind::SystemFile;
    const History histories[] = {
        { "placed where none was", app, { kCopyNew }, "applicativo | copiato | - | -", true, false, true, false, false },
        { "overwrote a user's file", app, { kCopyOver }, "applicativo | preesistente | - | -", false, false, true,
          false, false },
        // The second run finds its own copy there: still the product's.
        { "placed, then copied again", app, { kCopyNew, kCopyOver }, "applicativo | copiato | - | -", true, false, true,
          false, false },
        { "only found", sys, { kFound }, "sistema | presente | - | -", false, false, true, false, false },
        { "found, then a newer one copied", sys, { kFound, kCopyToRegister }, "sistema | aggiornato | da registrare | -",
          true, true, true, false, false },
        { "copied, then found by the next run", sys, { kCopyNew, kFound }, "sistema | copiato | - | -", true, false, true,
          false, false },
        { "copied and registered", sys, { kCopyNewToRegister, kRegistered }, "sistema | copiato | registrato | -", true,
          false, true, false, false },
        // A newer copy over a registered one waits for its own registration.
        { "registered, then a newer copy", sys, { kCopyNewToRegister, kRegistered, kCopyToRegister },
          "sistema | copiato | da registrare | -", true, true, true, false, false },
        { "waiting, then no longer to register", sys, { kCopyNewToRegister, kCopyOver }, "sistema | copiato | - | -",
          true, false, true, false, false },
        { "registered, copied again without registering", sys, { kCopyNewToRegister, kRegistered, kCopyOver },
          "sistema | copiato | registrato | -", true, false, true, false, false },
        { "a count being taken", sys, { kFound, kCounting }, "sistema | presente | - | contando 1>2", false, false,
          false, false, false },
        { "counted", sys, { kFound, kCounting, kMade }, "sistema | presente | - | contato", false, false, false, true,
          false },
        { "a count not taken", sys, { kFound, kCounting, kNotMade }, "sistema | presente | - | -", false, false, true,
          false, false },
        { "a count being given back", sys, { kCopyNew, kCounting, kMade, kReleasing },
          "sistema | copiato | - | rilasciando 2>1", true, false, false, true, false },
        { "given back", sys, { kCopyNew, kCounting, kMade, kReleasing, kMade }, "sistema | copiato | - | rilasciato",
          true, false, true, true, true },
        { "not given back", sys, { kCopyNew, kCounting, kMade, kReleasing, kNotMade }, "sistema | copiato | - | contato",
          true, false, false, true, false },
        // Used again after a removal gave its count back: taken again.
        { "given back, then counted again", sys, { kCopyNew, kCounting, kMade, kReleasing, kMade, kCounting, kMade },
          "sistema | copiato | - | contato", true, false, false, true, false },
        { "a folder", RecordKind::Folder, {}, "cartella | creata | - | -", false, false, true, false, false },
        { "a DAO file over an older one", RecordKind::DaoFile, { kCopyOver, kCounting, kMade },
          "dao | aggiornato | - | contato", true, false, false, true, false },
    };
    const std::string path = "C:\\Programmi\\Prodotto | due\\file.dll";
    for (const History& h : histories) {
        SCOPED_TRACE(h.what);
        RecordEntry lived{ h.kind, path };
        for (const Step& step : h.steps)
            step(lived);
        EXPECT_EQ(std::string(h.line) + " | " + path, lived.Line());
        RecordEntry read;
        ASSERT_TRUE(RecordEntry::FromLine(lived.Line(), read));
        for (const RecordEntry* entry : { &lived, &read }) {
            SCOPED_TRACE(entry == &lived ? "as lived" : "as read back");
            EXPECT_EQ(h.kind, entry->kind);
            EXPECT_EQ(path, entry->path);
            EXPECT_EQ(h.byProduct, entry->ByProduct());
            EXPECT_EQ(h.registerAtNextRun, entry->Copied() && entry->RegistrationPending());
            EXPECT_EQ(h.needsCount, entry->NeedsCount());
            EXPECT_EQ(h.counted, entry->Counted());
            EXPECT_EQ(h.givenBack, entry->GivenBack());
        }
        EXPECT_EQ(lived.Line(), read.Line());
    }
}

// A stopped run's noted change against the count the registry holds now.
TEST(RecordEntry, ANotedChangeIsSettledByTheCountThere)
{
    struct Row {
        bool releasing;
        long long from, to, now;
        const char* count;
    } rows[] = {
        { false, kNoCount, 1, 1, "contato" },      // made
        { false, kNoCount, 1, kNoCount, "-" },     // not made
        { false, 2, 3, 2, "-" },                   // not made
        { true, 3, 2, 2, "rilasciato" },           // made
        { true, 3, 2, 3, "contato" },              // not made: still the product's
        { true, 1, 0, 0, "rilasciato" },           // made
        { true, 1, 0, kNoCount, "rilasciato" },    // made, and the value went with its file
        { true, 3, 2, kNoCount, "contato" },       // the value gone, yet not given back to zero by us
    };
    for (const Row& r : rows) {
        RecordEntry entry{ RecordKind::SystemFile, "C:\\w\\c.dll" };
        entry.Copying(false, false);
        if (r.releasing)
            entry.ReleasingFrom(r.from, r.to);
        else
            entry.CountingFrom(r.from, r.to);
        RecordEntry read;
        ASSERT_TRUE(RecordEntry::FromLine(entry.Line(), read));
        read.Settle(r.now);
        EXPECT_FALSE(read.CountChanging());
        EXPECT_EQ(std::string("sistema | copiato | - | ") + r.count + " | C:\\w\\c.dll", read.Line())
            << (r.releasing ? "releasing " : "counting ") << r.from << ">" << r.to << ", now " << r.now;
    }
}

TEST(RecordEntry, LinesThatAreNotEntriesAreRefused)
{
    const char* lines[] = {
        "",
        "applicativo | copiato | - | -",              // no path
        "applicativo | copiato | - | - | ",           // an empty path
        "programma | copiato | - | - | C:\\x",        // no such kind
        "applicativo|copiato|-|-|C:\\x",              // not the separator
        "applicativo | copiato | - | C:\\x",          // a field missing
    };
    for (const char* line : lines) {
        RecordEntry entry{ RecordKind::SystemFile, "unchanged" };
        EXPECT_FALSE(RecordEntry::FromLine(line, entry)) << line;
        EXPECT_EQ("unchanged", entry.path) << line;
    }
    // A change whose counts are not numbers is no change: nothing is counted.
    RecordEntry entry;
    ASSERT_TRUE(RecordEntry::FromLine("sistema | copiato | - | contando x>1 | C:\\x", entry));
    EXPECT_FALSE(entry.CountChanging());
    EXPECT_TRUE(entry.NeedsCount());
}

} // namespace
