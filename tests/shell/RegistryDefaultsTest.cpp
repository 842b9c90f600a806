#include "TestSupport.h"
#include "app/InstallerApp.h"

#include <gtest/gtest.h>

using namespace lumo_test;

namespace {

constexpr char kProductKey[] = "Software\\LumoInstallTests\\Prodotto";

class ReadRegistryDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        theApp.installDir = "unchanged";
    }
    void TearDown() override
    {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\LumoInstallTests", KEY_WOW64_32KEY);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\LumoInstallTests", KEY_WOW64_64KEY);
    }

    static std::string Ini(const std::string& pathKey, const std::string& installationDir)
    {
        return "[CHIAVI]\r\nPathKey=" + pathKey + "\r\nInstallationDir=" + installationDir + "\r\n";
    }

    static void SetValue(DWORD type, const std::string& bytes)
    {
        WriteRegistryValue(HKEY_LOCAL_MACHINE, kProductKey, "InstallationDir", type, bytes);
    }
};

} // namespace

TEST_F(ReadRegistryDefaultsTest, TakesTheFolderOfAnEarlierInstallation)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    SetValue(REG_SZ, std::string("D:\\Pelvora\\Tesmoro") + '\0');
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("D:\\Pelvora\\Tesmoro", theApp.installDir);
}

// A 32-bit program on 64-bit Windows sees the 32-bit view of the machine's
// keys, where an earlier installation recorded its folder; every build reads
// that view, whatever its own bitness.
TEST_F(ReadRegistryDefaultsTest, ReadsTheRegistryViewOfThe32BitProgram)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    WriteRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "InstallationDir", "D:\\Vista32", KEY_WOW64_32KEY);
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("D:\\Vista32", theApp.installDir);

    // A value only in the 64-bit view is not an earlier installation of this program.
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY);
    WriteRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "InstallationDir", "D:\\Vista64", KEY_WOW64_64KEY);
    std::string seen;
    ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "InstallationDir", seen, KEY_WOW64_64KEY));
    ASSERT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY))
        << "this machine does not keep two registry views apart";
    EXPECT_FALSE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}

// Key paths and folders are taken as written: "\n" in them is part of a
// name (Software\nuovo, C:\nuovo), not a line break as in the page texts.
TEST_F(ReadRegistryDefaultsTest, KeyAndFolderWithBackslashNAreTakenAsWritten)
{
    const std::string key = "Software\\LumoInstallTests\\nuovo";
    ScopedInstallDescription ini(Ini(key, "C:\\nuovo\\Tesmoro") + "[DESCRIZIONI]\r\nProcedura=a\\nb\r\n");
    EXPECT_FALSE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\nuovo\\Tesmoro", theApp.installDir);

    WriteRegistryString(HKEY_LOCAL_MACHINE, key, "InstallationDir", "D:\\nuovo");
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("D:\\nuovo", theApp.installDir);

    EXPECT_EQ("a\r\nb", ProgramDelivery().ReadInstallValue("DESCRIZIONI", "Procedura")) << "texts keep their line breaks";
}

TEST_F(ReadRegistryDefaultsTest, FallsBackToTheDescriptionFileWhenTheValueIsMissing)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    WriteRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "AltroValore", "x");
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, FallsBackWhenTheKeyDoesNotOpen)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    EXPECT_FALSE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, AnEmptyPathKeyNamesNoKey)
{
    ScopedInstallDescription ini(Ini("", "C:\\Dal\\File"));
    EXPECT_FALSE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, NoFolderAnywhereLeavesItEmpty)
{
    ScopedInstallDescription ini("[CHIAVI]\r\nPathKey=Software\\LumoInstallTests\\Prodotto\r\n");
    WriteRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "AltroValore", "x");
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("", theApp.installDir);

    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kProductKey);
    theApp.installDir = "unchanged";
    EXPECT_FALSE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("", theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, AValueThatFillsTheBufferExactlyStillFits)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    const std::string folder = "C:\\" + std::string(256, 'p');  // 259 characters and the terminator
    SetValue(REG_SZ, folder + '\0');
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ(folder, theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, AValueLongerThanTheBufferFallsBack)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));
    SetValue(REG_SZ, "C:\\" + std::string(400, 'p') + '\0');
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}

TEST_F(ReadRegistryDefaultsTest, AValueWithoutTerminatorIsAlwaysTerminated)
{
    ScopedInstallDescription ini(Ini(kProductKey, "C:\\Dal\\File"));

    // Short, of another type, stored without its terminator: read up to its end.
    SetValue(REG_BINARY, "E:\\Tesmoro");
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("E:\\Tesmoro", theApp.installDir);

    // 260 bytes without a terminator cannot be held with one: falls back.
    SetValue(REG_BINARY, std::string(260, 'q'));
    EXPECT_TRUE(theApp.ReadRegistryDefaults());
    EXPECT_EQ("C:\\Dal\\File", theApp.installDir);
}
