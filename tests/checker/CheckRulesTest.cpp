// The checker's own judgements as tables, and the lines and exit code it
// makes of its findings.
#include "checker/CheckRules.h"
#include "checker/Report.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(CheckRules, Utf8AndItsMark)
{
    const struct {
        const char* name;
        std::string bytes;
        bool bom;
        bool utf8;
        int line;
        const char* firstSection;
    } cases[] = {
        { "ASCII only", "[DESCRIZIONI]\r\nCaption=Prova\r\n", false, false, 0, "DESCRIZIONI" },
        { "Windows-1252 accents", "[A]\r\nK=installer\xE0 \xE8 cos\xEC\r\n", false, false, 2, "A" },
        { "UTF-8 accents", "[A]\r\nK=ok\r\nP=Perch\xC3\xA9\r\n", false, true, 3, "A" },
        { "UTF-8 with its mark", "\xEF\xBB\xBF[DESCRIZIONI]\r\nP=citt\xC3\xA0\r\n", true, true, 2, "DESCRIZIONI" },
        { "mark, ASCII after it", "\xEF\xBB\xBF[A]\r\nK=v\r\n", true, false, 0, "A" },
        // A lone lead byte, a lead without its continuation, an overlong form
        // and an encoded surrogate are not UTF-8, whatever else the file holds.
        { "cut sequence", "K=\xC3", false, false, 1, "" },
        { "lead then ASCII", "K=\xC3" "A \xC3\xA9", false, false, 1, "" },
        { "overlong slash", "K=\xC0\xAF", false, false, 1, "" },
        { "overlong three bytes", "K=\xE0\x80\xAF", false, false, 1, "" },
        { "surrogate", "K=\xED\xA0\x80", false, false, 1, "" },
        { "four-byte character", "K=\xF0\x9F\x98\x80", false, true, 1, "" },
        { "beyond U+10FFFF", "K=\xF4\x90\x80\x80", false, false, 1, "" },
        { "section after comments", "; nota\r\n\r\n  [CHIAVI]\r\n", false, false, 0, "CHIAVI" },
        { "empty", "", false, false, 0, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.bom, HasUtf8Bom(c.bytes));
        EXPECT_EQ(c.utf8, IsUtf8BeyondAscii(c.bytes));
        EXPECT_EQ(c.line, FirstLineBeyondAscii(c.bytes));
        EXPECT_EQ(c.firstSection, FirstSectionName(c.bytes));
    }
}

TEST(CheckRules, CountsFlagsAndLineBreakPairs)
{
    const struct {
        double count;
        size_t real;
        bool positive;
        bool isFar;
    } counts[] = {
        { 4, 4, true, false },
        // Twice or half the real number is near enough; beyond is far.
        { 8, 4, true, false },
        { 9, 4, true, true },
        { 2, 4, true, false },
        { 1.5, 4, true, true },
        { 1, 0, true, true },
        { 0, 4, false, true },
        { -3, 4, false, true },
        { NAN, 4, false, false },
        { INFINITY, 4, true, true },
    };
    for (const auto& c : counts) {
        SCOPED_TRACE(std::to_string(c.count) + " for " + std::to_string(c.real));
        EXPECT_EQ(c.positive, IsPositiveCount(c.count));
        if (!std::isnan(c.count)) {
            EXPECT_EQ(c.isFar, IsCountFarFrom(c.count, c.real));
        }
    }

    EXPECT_TRUE(IsKnownFlag("REG"));
    EXPECT_TRUE(IsKnownFlag(""));
    EXPECT_FALSE(IsKnownFlag("REGISTRA"));
    EXPECT_FALSE(IsKnownFlag("NOREG"));

    EXPECT_TRUE(HasLineBreakPair("C:\\nuovo"));
    EXPECT_TRUE(HasLineBreakPair("Software\\Pelvora\\n"));
    // Only the small letter made a line break.
    EXPECT_FALSE(HasLineBreakPair("C:\\NUOVO"));
    EXPECT_FALSE(HasLineBreakPair("C:\\Pelvora\\Tesmoro"));
}

TEST(CheckReport, LinesAndExitCode)
{
    EXPECT_EQ(ExitClean, FindingsExit({}));
    EXPECT_EQ((std::vector<std::string>{ "Totale: 0 segnalazioni (0 errori, 0 avvisi)." }), FindingLines({}));

    const Finding warning{ Severity::Warning, "LC014", "[DESCRIZIONI] NumeroFiles", "vale 0." };
    const Finding error{ Severity::Error, "LC001", "SysFile\\a.dll", "senza versione." };
    EXPECT_EQ(ExitWarnings, FindingsExit({ warning }));
    EXPECT_EQ(ExitWarnings, FindingsExit({ warning, warning }));
    // An error decides wherever it stands.
    EXPECT_EQ(ExitErrors, FindingsExit({ error, warning }));
    EXPECT_EQ(ExitErrors, FindingsExit({ warning, error }));

    EXPECT_EQ((std::vector<std::string>{ "AVVISO LC014 [DESCRIZIONI] NumeroFiles: vale 0.",
                                         "ERRORE LC001 SysFile\\a.dll: senza versione.",
                                         "Totale: 2 segnalazioni (1 errore, 1 avviso)." }),
              FindingLines({ warning, error }));
    EXPECT_EQ("Totale: 3 segnalazioni (2 errori, 1 avviso).", FindingLines({ error, warning, error }).back());
}

} // namespace
