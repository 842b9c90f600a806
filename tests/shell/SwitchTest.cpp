#include "app/InstallerApp.h"
#include "comserver/ComServer.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FindSwitch, ReturnsThePositionAfterTheFirstSwitchCharacter)
{
    const char* text = "abc/def-ghi";
    EXPECT_EQ(text + 4, FindSwitch(text, "-/"));
    EXPECT_EQ(text + 8, FindSwitch(text + 4, "-/"));
    EXPECT_EQ(nullptr, FindSwitch(text + 8, "-/"));
    EXPECT_EQ(nullptr, FindSwitch("", "-/"));
}

TEST(FindServerSwitch, RecognisesOnlyASwitchThatEndsTheCommandLine)
{
    struct Case {
        const char* commandLine;
        ServerSwitch expected;
    };
    const Case cases[] = {
        { "C:\\Consegna\\LumoInstall.exe /RegServer", ServerSwitch::Register },
        { "C:\\Consegna\\LumoInstall.exe -RegServer", ServerSwitch::Register },
        { "\"C:\\Consegna\\LumoInstall.exe\" /regserver", ServerSwitch::Register },
        { "C:\\Consegna\\LumoInstall.exe -unregserver", ServerSwitch::Unregister },
        { "C:\\Consegna\\LumoInstall.exe /UNREGSERVER", ServerSwitch::Unregister },
        { "C:\\Consegna\\LumoInstall.exe /RegServer ", ServerSwitch::None },
        { "C:\\Consegna\\LumoInstall.exe /RegServer /x", ServerSwitch::None },
        { "C:\\Consegna\\LumoInstall.exe /UnregServer /RegServer", ServerSwitch::Register },
        { "C:\\Consegna\\LumoInstall.exe /RegServer /UnregServer", ServerSwitch::Unregister },
        { "C:\\Con-segna\\a/b\\LumoInstall.exe /RegServer", ServerSwitch::Register },
        { "C:\\Consegna-RegServer\\LumoInstall.exe", ServerSwitch::None },
        { "C:\\Consegna\\LumoInstall.exe RegServer", ServerSwitch::None },
        { "C:\\Consegna\\LumoInstall.exe //RegServer", ServerSwitch::Register },
        { "C:\\Consegna\\LumoInstall.exe /Reg Server", ServerSwitch::None },
        { "C:\\Consegna\\LumoInstall.exe", ServerSwitch::None },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, FindServerSwitch(c.commandLine)) << "command line: [" << c.commandLine << "]";
}

TEST(IsSidInstallName, ComparesTheWholeFileNameWithoutRegardToCase)
{
    struct Case {
        const char* path;
        bool expected;
    };
    const Case cases[] = {
        { "C:\\Consegna\\LumoSidInstall.exe", true },
        { "C:\\Consegna\\LUMOSIDINSTALL.EXE", true },
        { "LumoSidInstall.exe", true },
        { "C:\\Consegna\\LumoSidInstall.exe.bak", false },
        { "C:\\Consegna\\LumoInstall.exe", false },
        { "C:\\LumoSidInstall.exe\\LumoInstall.exe", false },
        { "C:\\Consegna\\xLumoSidInstall.exe", false },
        { "", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, IsSidInstallName(c.path)) << "path: [" << c.path << "]";
}

TEST(FindLogSwitch, TakesTheFileOfEachFormFromTheWideCommandLine)
{
    struct Case {
        const wchar_t* commandLine;
        const char* expected;
    };
    const Case cases[] = {
        { L"\"C:\\Consegna\\LumoInstall.exe\" /S /LOG=C:\\raccolta\\pc1.log", "C:\\raccolta\\pc1.log" },
        { L"LumoInstall.exe /log C:\\raccolta\\pc1.log /S", "C:\\raccolta\\pc1.log" },
        { L"LumoInstall.exe -Log=\"C:\\con spazi\\pc 1.log\" /S", "C:\\con spazi\\pc 1.log" },
        { L"LumoInstall.exe \"/LOG=C:\\con spazi\\pc 1.log\"", "C:\\con spazi\\pc 1.log" },
        { L"LumoInstall.exe -LOG \"C:\\con spazi\\pc 1.log\" -S", "C:\\con spazi\\pc 1.log" },
        { L"LumoInstall.exe /LOG=raccolta\\pc1.log", "raccolta\\pc1.log" },
        // Beyond the code page: kept, as UTF-8.
        { L"LumoInstall.exe /LOG=C:\\\x03A9\\\x65E5.log", "C:\\\xCE\xA9\\\xE6\x97\xA5.log" },
        { L"LumoInstall.exe /LOG=a.log /LOG b.log", "b.log" },
        { L"LumoInstall.exe /LOG", "" },
        { L"LumoInstall.exe /LOG /S", "" },
        { L"LumoInstall.exe /LOG \"\" /S", "" },
        { L"LumoInstall.exe /LOG=", "" },
        { L"LumoInstall.exe /LOGS=x.log /LOGx y.log", "" },
        { L"LumoInstall.exe LOG=x.log log x.log", "" },
        { L"\"C:\\Cartella /LOG=x\\LumoInstall.exe\" /S", "" },
        { L"LumoInstall.exe", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, FindLogSwitch(c.commandLine)) << "command line: [" << Utf8(c.commandLine) << "]";
}
