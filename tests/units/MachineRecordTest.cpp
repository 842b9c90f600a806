// The names and keys of what the machine records of an installation, and a
// removal that has no key to remove must never reach the entries of other
// products.
#include "TestSupport.h"
#include "engine/InstallationRecord.h"
#include "engine/MachineRecord.h"
#include "engine/ProductHome.h"
#include "framework/Text.h"

#include <shlobj.h>

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

// The product's home lies below the 32-bit Program Files folder, which only
// administrators can write, and no key can lead it anywhere else: a name the
// file system cannot hold, or one that would climb out, becomes a plain one.
TEST(MachineRecord, TheHomeOfEveryKeyLiesBelowProgramFiles)
{
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, programFiles)));
    const std::string root = Utf8(programFiles) + "\\LumoInstall";
    EXPECT_EQ(root, ProductHomeRoot());

    const struct {
        const char* key;
        const char* folder;
    } cases[] = {
        { "Pelvora.Tesmoro", "Pelvora.Tesmoro" },
        { "Pelvora Tesmoro", "Pelvora Tesmoro" },
        { "..", "._" },
        { ".", "_" },
        { "a\\..\\..\\Windows", "a_.._.._Windows" },
        { "C:\\Windows", "C__Windows" },
        { "a/b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i" },
        { "fine. ", "fine._" },
        { "tab\there", "tab_here" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(c.folder, HomeFolderName(c.key));
        EXPECT_EQ(root + "\\" + c.folder, ProductHome(c.key));
    }
    EXPECT_EQ("", ProductHome("")) << "without an entry there is no home";

    const UninstallEntry entry =
        MakeUninstallEntry(ProductIdentity{}, "C:\\Pelvora\\Tesmoro", ProductHome("Pelvora.Tesmoro"), 1);
    const std::string program = root + "\\Pelvora.Tesmoro\\LumoInstall.exe";
    EXPECT_EQ("\"" + program + "\" /UNINSTALL", entry.uninstallString);
    EXPECT_EQ("\"" + program + "\" /UNINSTALL /S", entry.quietUninstallString);
    EXPECT_EQ(program + ",0", entry.displayIcon);
    EXPECT_EQ("C:\\Pelvora\\Tesmoro", entry.installLocation);
}
