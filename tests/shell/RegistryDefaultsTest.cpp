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
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\LumoInstallTests");
        theApp.installDir = "unchanged";
    }
    void TearDown() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\LumoInstallTests"); }

    static std::string Ini(const std::string& pathKey, const std::string& installationDir)
    {
        return "[CHIAVI]\r\nPathKey=" + pathKey + "\r\nInstallationDir=" + installationDir + "\r\n";
    }

    static void SetValue(DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
        ::RegSetValueExA(key, "InstallationDir", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size()));
        ::RegCloseKey(key);
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
