// The names and keys of what the machine records of an installation, and a
// removal that has no key to remove must never reach the entries of other
// products.
#include "TestSupport.h"
#include "engine/InstallationRecord.h"
#include "engine/MachineRecord.h"

#include <gtest/gtest.h>

TEST(MachineRecord, TheEntryOfProgramsAndFeaturesIsNamedAfterThePathKey)
{
    const struct {
        const char* pathKey;
        const char* name;
        const char* key;
    } cases[] = {
        { "Software\\Pelvora\\Tesmoro", "Tesmoro", "Pelvora.Tesmoro" },
        { "SOFTWARE\\Pelvora\\Tesmoro\\", "Tesmoro", "Pelvora.Tesmoro" },
        { "Pelvora\\Tesmoro", "Tesmoro", "Pelvora.Tesmoro" },
        { "", "Pelvora Tesmoro", "Pelvora Tesmoro" },
        { "", "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.key, UninstallKeyName(c.pathKey, c.name)) << c.pathKey << " / " << c.name;
}

TEST(MachineRecord, AnEmptyKeyNameTouchesNoOtherEntry)
{
    const std::string other = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LumoUnitAltroProdotto";
    lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, other, "DisplayName", "Altro");
    EXPECT_TRUE(RemoveUninstallEntry(""));
    EXPECT_FALSE(WriteUninstallEntry("", UninstallEntry{}));
    EXPECT_FALSE(UninstallEntryExists(""));
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, other));
    std::string name;
    EXPECT_FALSE(lumo_test::ReadRegistryString(HKEY_LOCAL_MACHINE,
                                               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                               "DisplayName", name))
        << "values written into the Uninstall key itself";
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, other);
}
