#include "TestSupport.h"
#include "app/InstallerApp.h"

#include <gtest/gtest.h>

using lumo_test::ScopedInstallDescription;

namespace {

std::string Value(const char* section, const char* key)
{
    return ProgramDelivery().ReadInstallValue(section, key);
}

} // namespace

TEST(ReadInstallValue, TurnsBackslashNIntoLineBreaks)
{
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nProcedura=Prima frase.\\nSeconda frase.\r\n"
                                 "Caption=a\\n\\nb\\\\nc\r\n");
    EXPECT_EQ("Prima frase.\r\nSeconda frase.", Value("DESCRIZIONI", "Procedura"));
    // Left to right without overlap: "\\n" is a backslash followed by a line break.
    EXPECT_EQ("a\r\n\r\nb\\\r\nc", Value("DESCRIZIONI", "Caption"));
}

TEST(ReadInstallValue, CutsLongValuesAt255Characters)
{
    std::string longValue;
    for (int i = 0; i < 300; ++i)
        longValue += static_cast<char>('a' + i % 26);
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nCaption=" + longValue + "\r\n");
    EXPECT_EQ(longValue.substr(0, 255), Value("DESCRIZIONI", "Caption"));
}

TEST(ReadInstallValue, EmptyAndMissingValuesReadAsEmpty)
{
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nCaption=\r\nProcedura=x\r\n[CHIAVI]\r\nPathKey=y\r\n");
    EXPECT_EQ("", Value("DESCRIZIONI", "Caption")) << "key with nothing after '='";
    EXPECT_EQ("", Value("DESCRIZIONI", "NumeroFiles")) << "missing key";
    EXPECT_EQ("", Value("SYSFILE", "a.dll")) << "missing section";
    EXPECT_EQ("x", Value("DESCRIZIONI", "Procedura"));
}

TEST(ReadInstallValue, MatchesSectionAndKeyWithoutRegardToCase)
{
    ScopedInstallDescription ini("[descrizioni]\r\ncaption=Installazione Tesmoro\r\n");
    EXPECT_EQ("Installazione Tesmoro", Value("DESCRIZIONI", "Caption"));
}

TEST(ReadInstallValue, MissingFileReadsAsEmpty)
{
    ::DeleteFileA(InstallDescriptionPath().c_str());
    EXPECT_EQ("", Value("DESCRIZIONI", "Caption"));
}

TEST(ReadInstallValue, ReadsAfreshAtEveryUse)
{
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nCaption=prima\r\n");
    EXPECT_EQ("prima", Value("DESCRIZIONI", "Caption"));
    ini.Rewrite("[DESCRIZIONI]\r\nCaption=dopo\r\n");
    EXPECT_EQ("dopo", Value("DESCRIZIONI", "Caption"));
}

TEST(ReadInstallValue, ReadsAWindows1252File)
{
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nProcedura_1=Questo programma installer\xE0 il client.\r\n");
    EXPECT_EQ("Questo programma installerà il client.", Value("DESCRIZIONI", "Procedura_1"));
}
