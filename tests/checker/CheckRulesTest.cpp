// The checker's own judgements as tables, and the lines and exit code it
// makes of its findings.
#include "checker/CheckRules.h"
#include "checker/CommandLine.h"
#include "checker/DescriptionFile.h"
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

    const Finding warning{ Severity::Warning, "LC014", "[DESCRIZIONI] NumeroFiles", "vale 0.", "Installatore.ini", 3 };
    const Finding error{ Severity::Error, "LC001", "SysFile\\a.dll", "senza versione.", "SysFile\\a.dll", 0 };
    EXPECT_EQ(ExitWarnings, FindingsExit({ warning }));
    EXPECT_EQ(ExitErrors, FindingsExit({ warning }, true));
    EXPECT_EQ(ExitClean, FindingsExit({}, true));
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

TEST(CheckReport, JsonStringsEscapeWhatJsonForbids)
{
    EXPECT_EQ("\"C:\\\\Pelvora \\\"x\\\"\\n\\r\\t\\u0001\\u001f \xC3\xA8\"",
              JsonString("C:\\Pelvora \"x\"\n\r\t\x01\x1F \xC3\xA8"));
}

TEST(CheckRules, RootKeyPrefixes)
{
    const struct {
        const char* path;
        const char* root;
    } cases[] = {
        { "HKEY_LOCAL_MACHINE\\Software\\Pelvora", "HKEY_LOCAL_MACHINE" },
        { "  hklm\\Software", "hklm" },
        { "HKCU/Software", "HKCU" },
        { "HKEY_USERS", "HKEY_USERS" },
        { "Software\\HKLM", "" },
        { "HKLMX\\Software", "" },
        { "HKEY_LOCAL_MACHINEX", "" },
        { "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.root, RootKeyPrefix(c.path)) << c.path;
}

// Where each key stands, what is written twice, and how the file is encoded.
TEST(CheckRules, DescriptionFileScan)
{
    const DescriptionFile file("; commento\r\n[Descrizioni]\r\n  Caption = Prima  \r\n\r\ncaption=Seconda\r\n"
                               "[CHIAVI]]\r\nPathKey=x\r\n[ non chiusa\r\nPathKey=x\r\nsenza uguale\r\nSENZA UGUALE\n"
                               "[descrizioni]\r\nCaption=Terza\r\n[chiavi]\r\n");
    EXPECT_EQ(TextEncoding::Ansi, file.Encoding());
    EXPECT_EQ(3, file.LineOf("DESCRIZIONI", "caption"));
    EXPECT_EQ(2, file.LineOf("descrizioni"));
    EXPECT_EQ(0, file.LineOf("CHIAVI", "Nessuna"));
    EXPECT_EQ(5u, file.WrittenLength("DESCRIZIONI", "Caption"));
    EXPECT_EQ(std::string::npos, file.WrittenLength("SYSFILE", "a.dll"));
    const std::vector<RepeatedName>& repeated = file.Repeated();
    ASSERT_EQ(5u, repeated.size());
    // "]" ends a name at its first occurrence, a line without one is a key,
    // and what follows a repeated section is not read.
    const struct {
        const char* section;
        const char* key;
        int line, firstLine;
        bool sameValue;
    } expected[] = {
        { "Descrizioni", "caption", 5, 3, false },  { "CHIAVI", "PathKey", 9, 7, true },
        { "CHIAVI", "SENZA UGUALE", 11, 10, true }, { "descrizioni", "", 12, 2, false },
        { "chiavi", "", 14, 6, false },
    };
    for (size_t i = 0; i < repeated.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].section, repeated[i].section);
        EXPECT_EQ(expected[i].key, repeated[i].key);
        EXPECT_EQ(expected[i].line, repeated[i].line);
        EXPECT_EQ(expected[i].firstLine, repeated[i].firstLine);
        EXPECT_EQ(expected[i].sameValue, repeated[i].sameValue);
    }

    const std::string le("[\0A\0]\0\r\0\n\0k\0=\0v\0", 16);
    const std::string be("\0[\0A\0]", 6);
    EXPECT_EQ(TextEncoding::Utf16NoBom, DetectEncoding(le));
    EXPECT_EQ(TextEncoding::Utf16NoBom, DetectEncoding(be));
    EXPECT_EQ(TextEncoding::Utf16Le, DetectEncoding("\xFF\xFE[\0"));
    EXPECT_EQ(TextEncoding::Utf16Be, DetectEncoding("\xFE\xFF\0["));
    EXPECT_EQ(TextEncoding::Utf8Bom, DetectEncoding("\xEF\xBB\xBF[A]"));
    EXPECT_EQ(TextEncoding::Ansi, DetectEncoding("[A]\r\nk=perch\xE9\r\n"));
    EXPECT_EQ(TextEncoding::Ansi, DetectEncoding(""));
    // A stray zero does not make UTF-16.
    EXPECT_EQ(TextEncoding::Ansi, DetectEncoding(std::string("[A]\r\nk=v\0w\r\n", 12)));

    // A UTF-16 file with its mark is read as the Unicode it is.
    const std::wstring wide = L"[SYSFILE]\r\nα.dll=SYSPATH|\r\nΑ.DLL=WINPATH|\r\n";
    const DescriptionFile unicode("\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()),
                                                           wide.size() * sizeof(wchar_t)));
    ASSERT_EQ(1u, unicode.Repeated().size());
    EXPECT_EQ("\xCE\x91.DLL", unicode.Repeated()[0].key);
    EXPECT_EQ(2, unicode.LineOf("SYSFILE", "\xCE\xB1.dll"));
}

TEST(CheckCommandLine, SwitchesAndTheirMistakes)
{
    const CheckOptions all = ParseCommandLine({ "--JSON", "--avvisi-come-errori", "--ignora", "lc013, LC015",
                                                "--solo-consegna", "--ignora=LC020", "C:\\Consegna" });
    EXPECT_TRUE(all.error.empty()) << all.error;
    EXPECT_TRUE(all.json && all.warningsFail && all.onlyDelivery && !all.plan);
    EXPECT_EQ((std::set<std::string>{ "LC013", "LC015", "LC020" }), all.ignored);
    EXPECT_EQ("C:\\Consegna", all.folder);
    EXPECT_TRUE(ParseCommandLine({ "/?" }).help);
    EXPECT_TRUE(ParseCommandLine({ "--version" }).version);
    EXPECT_TRUE(ParseCommandLine({ "--piano", "--json" }).error.empty());
    for (const std::vector<std::string>& wrong :
         { std::vector<std::string>{ "--ignora" }, { "--ignora", "LC099" }, { "--ignora=LC013,", "x" },
           { "--tutto" }, { "a", "b" }, { "--piano", "--solo-consegna" }, { "--piano", "--ignora", "LC001" } })
        EXPECT_FALSE(ParseCommandLine(wrong).error.empty()) << ::testing::PrintToString(wrong);
    EXPECT_EQ(32u, RuleCodes().size());
    for (const std::string& code : RuleCodes())
        EXPECT_EQ(code == "LC002" || code == "LC016" || code == "LC019", DependsOnMachine(code)) << code;
}

} // namespace
