#include "TestSupport.h"
#include "components/Components.h"
#include "version/VersionCompare.h"

#include <gtest/gtest.h>

#include <ostream>

using lumo_test::ComponentPath;
namespace component = lumo_test::component;

namespace {

std::string Text(const FileVersion& v)
{
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
           std::to_string(v.revision);
}

struct CompareCase {
    FileVersion candidate;
    FileVersion existing;
    bool newer;
};

const CompareCase kCompareCases[] = {
    { { 6, 2, 0, 0 }, { 6, 2, 0, 0 }, false },
    { { 6, 2, 0, 1 }, { 6, 2, 0, 0 }, true },
    { { 6, 2, 0, 0 }, { 6, 2, 0, 1 }, false },
    { { 7, 0, 0, 0 }, { 6, 65535, 65535, 65535 }, true },
    { { 6, 65535, 65535, 65535 }, { 7, 0, 0, 0 }, false },
    // As numbers: "10" would sort before "9" as text.
    { { 6, 10, 0, 0 }, { 6, 9, 0, 0 }, true },
    { { 6, 9, 0, 0 }, { 6, 10, 0, 0 }, false },
    { { 1, 0, 0, 0 }, { 0, 0, 0, 0 }, true },
    { { 0, 0, 0, 0 }, { 1, 0, 0, 0 }, false },
    { { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, false },
    // Each part decides only when the ones before it are equal.
    { { 1, 2, 4, 0 }, { 1, 2, 3, 9 }, true },
    { { 1, 2, 3, 9 }, { 1, 2, 4, 0 }, false },
    { { 2, 0, 0, 0 }, { 1, 9, 9, 9 }, true },
    { { 1, 9, 9, 9 }, { 2, 0, 0, 0 }, false },
    { { 1, 3, 0, 0 }, { 1, 2, 65535, 65535 }, true },
    { { 0, 0, 0, 1 }, { 0, 0, 0, 0 }, true },
    // Parts use all 16 bits: 65535 is the largest, not -1.
    { { 6, 65535, 65535, 65535 }, { 6, 2, 0, 0 }, true },
    { { 6, 2, 0, 0 }, { 6, 65535, 65535, 65535 }, false },
    { { 0, 0, 0, 32768 }, { 0, 0, 0, 32767 }, true },
    { { 65535, 65535, 65535, 65535 }, { 65535, 65535, 65535, 65535 }, false },
    { { 65535, 65535, 65535, 65535 }, { 65535, 65535, 65535, 65534 }, true },
};

} // namespace

TEST(CompareVersions, CandidateMustBeStrictlyNewer)
{
    for (const CompareCase& c : kCompareCases) {
        SCOPED_TRACE(Text(c.candidate) + " vs " + Text(c.existing));
        EXPECT_EQ(c.newer, CompareVersions(c.candidate, c.existing));
        EXPECT_EQ(c.newer, CompareVersions(c.candidate.major, c.candidate.minor, c.candidate.build,
                                           c.candidate.revision, c.existing.major, c.existing.minor,
                                           c.existing.build, c.existing.revision));
    }
}

TEST(CompareVersions, VersionsReadFromComponents)
{
    const struct {
        const char* candidate;
        const char* existing;
        bool newer;
    } cases[] = {
        { component::kVer7_0_0_0, component::kVer6_65535_65535_65535, true },
        { component::kVer6_65535_65535_65535, component::kVer7_0_0_0, false },
        { component::kVer1_2_3_5, component::kVer1_2_3_4, true },
        { component::kVer1_2_3_4, component::kVer1_2_3_5, false },
        { component::kVer2_0_0_0, component::kVer1_9_9_9, true },
        { component::kVer1_9_9_9, component::kVer2_0_0_0, false },
        { component::kVer6_2_0_0, component::kVer6_2_0_0, false },
        { component::kVer6_65535_65535_65535, component::kVer6_2_0_0, true },
        { component::kVer6_2_0_0, component::kVer6_65535_65535_65535, false },
        // A file without a usable version counts as 0.0.0.0.
        { component::kVer1_2_3_4, component::kNoVersion, true },
        { component::kNoVersion, component::kVer1_2_3_4, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.candidate) + " vs " + c.existing);
        const FileVersion candidate = ReadFileVersion(ComponentPath(c.candidate));
        const FileVersion existing = ReadFileVersion(ComponentPath(c.existing));
        EXPECT_EQ(c.newer, CompareVersions(candidate, existing))
            << Text(candidate) << " vs " << Text(existing);
    }
}

TEST(ReadFileVersion, GivesTheFileVersionOrZero)
{
    lumo_test::TempDir dir("lumo-rfv");
    lumo_test::WriteFileBytes(dir / "notes.txt", "not a program\r\n");
    const struct {
        const char* name;
        std::string path;
        const char* version;
    } cases[] = {
        { "6.2.0.0", ComponentPath(component::kVer6_2_0_0), "6.2.0.0" },
        { "1.2.3.4", ComponentPath(component::kVer1_2_3_4), "1.2.3.4" },
        { "6.65535.65535.65535", ComponentPath(component::kVer6_65535_65535_65535), "6.65535.65535.65535" },
        { "missing file", dir / "missing.dll", "0.0.0.0" },
        { "missing folder", dir / "missing\\missing.dll", "0.0.0.0" },
        { "text file", dir / "notes.txt", "0.0.0.0" },
        { "no version resource", ComponentPath(component::kNoVersion), "0.0.0.0" },
        { "no translation", ComponentPath(component::kNoTranslation), "0.0.0.0" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.version, Text(ReadFileVersion(c.path)));
    }
}

namespace {

using Pieces = std::vector<std::string>;

struct SplitCase {
    const char* text;
    Pieces withEmpty;
    Pieces withoutEmpty;
    int occurrences;
};

std::string Show(const Pieces& pieces)
{
    std::string shown = "{";
    for (size_t i = 0; i < pieces.size(); ++i)
        shown += (i ? ", \"" : "\"") + pieces[i] + "\"";
    return shown + "}";
}

} // namespace

TEST(SplitText, CutsAtEveryBar)
{
    const SplitCase cases[] = {
        { "SYSPATH|REG", { "SYSPATH", "REG" }, { "SYSPATH", "REG" }, 1 },
        { "SYSPATH", {}, {}, 0 },
        { "", {}, {}, 0 },
        { "|REG", { "", "REG" }, { "REG" }, 1 },
        { "A||B", { "A", "", "B" }, { "A", "B" }, 2 },
        { "A|", { "A", "" }, { "A" }, 1 },
        { "A|B|C", { "A", "B", "C" }, { "A", "B", "C" }, 2 },
        { "|", { "", "" }, {}, 1 },
        { "||", { "", "", "" }, {}, 2 },
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        Pieces withEmpty;
        EXPECT_EQ(c.occurrences, SplitText(c.text, "|", withEmpty, true));
        EXPECT_EQ(c.withEmpty, withEmpty) << "keepEmpty: " << Show(withEmpty);
        Pieces withoutEmpty;
        EXPECT_EQ(c.occurrences, SplitText(c.text, "|", withoutEmpty, false));
        EXPECT_EQ(c.withoutEmpty, withoutEmpty) << "without empty: " << Show(withoutEmpty);
    }
}

TEST(SplitText, LongerDelimitersDoNotOverlap)
{
    const struct {
        const char* text;
        const char* delimiter;
        Pieces withEmpty;
        int occurrences;
    } cases[] = {
        { "aaa", "aa", { "", "a" }, 1 },
        { "aaaa", "aa", { "", "", "" }, 2 },
        { "x::y::z", "::", { "x", "y", "z" }, 2 },
        { "x:y", "::", {}, 0 },
        { "ab", "abc", {}, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" at \"" + c.delimiter + "\"");
        Pieces pieces;
        EXPECT_EQ(c.occurrences, SplitText(c.text, c.delimiter, pieces, true));
        EXPECT_EQ(c.withEmpty, pieces) << Show(pieces);
    }
}

TEST(SplitText, AppendsAfterPiecesAlreadyInTheList)
{
    for (bool keepEmpty : { true, false }) {
        SCOPED_TRACE(keepEmpty ? "keepEmpty" : "without empty");
        Pieces pieces = { "old", "" };
        EXPECT_EQ(1, SplitText("SYSPATH|REG", "|", pieces, keepEmpty));
        EXPECT_EQ((Pieces{ "old", "", "SYSPATH", "REG" }), pieces) << Show(pieces);
        EXPECT_EQ(0, SplitText("SYSPATH", "|", pieces, keepEmpty));
        EXPECT_EQ((Pieces{ "old", "", "SYSPATH", "REG" }), pieces) << Show(pieces);
    }
}

TEST(SplitText, EmptyDelimiterFindsNothing)
{
    for (const char* text : { "SYSPATH|REG", "", "abc" }) {
        SCOPED_TRACE(std::string("\"") + text + "\"");
        for (bool keepEmpty : { true, false }) {
            Pieces pieces = { "kept" };
            EXPECT_EQ(0, SplitText(text, "", pieces, keepEmpty));
            EXPECT_EQ(Pieces{ "kept" }, pieces) << Show(pieces);
        }
    }
}
