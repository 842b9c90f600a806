// The program's own places: the access list it gives its folders, and links
// and second names refused where it writes or deletes. Wine keeps no access
// list on a file (a list set with success reads back as the default one) and
// shows only a link to a folder as a link: these tests check the descriptor
// the program builds, that applying it succeeds, and the refusals.
#include "TestSupport.h"
#include "engine/InstallationRecord.h"
#include "engine/OwnPlaces.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace {

using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::WriteFileBytes;

// The descriptor as the platform reads it back from the program's text.
TEST(OwnPlaces, TheProtectedFolderDescriptorNamesAdministratorsAlone)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedFolderSddl().c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(0, control & SE_DACL_PROTECTED) << "the list would inherit from the folder above";

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl != nullptr);
    struct Expected {
        WELL_KNOWN_SID_TYPE who;
        ACCESS_MASK mask;
    } expected[] = {
        { WinLocalSystemSid, FILE_ALL_ACCESS },
        { WinBuiltinAdministratorsSid, FILE_ALL_ACCESS },
        { WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE },
    };
    ASSERT_EQ(3u, dacl->AceCount);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        SCOPED_TRACE(i);
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << "only grants: nothing else may reach in";
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags & (OBJECT_INHERIT_ACE |
                                                                                        CONTAINER_INHERIT_ACE));
        EXPECT_EQ(expected[i].mask, ace->Mask);
        EXPECT_TRUE(::IsWellKnownSid(&ace->SidStart, expected[i].who));
    }
    PSID owner = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    ::LocalFree(descriptor);

    lumo_test::TempDir dir("lumo-own");
    EXPECT_TRUE(ProtectFolder(dir.Path())) << "error " << ::GetLastError();
}

// Links on the way to a place of the program's own, and links and second
// names where it opens its files: each refused, nothing reached through them.
TEST(OwnPlaces, LinksAndSecondNamesAreRefused)
{
    lumo_test::TempDir dir("lumo-own");
    const std::string elsewhere = dir / "altrove";
    ::CreateDirectoryW(Wide(elsewhere).c_str(), nullptr);
    WriteFileBytes(elsewhere + "\\tenere.txt", "tenere");
    ::CreateDirectoryW(Wide(dir / "vera").c_str(), nullptr);
    const lumo_test::FolderLink link(dir / "collegata", "altrove");

    struct Row {
        std::string path;
        std::string link;
    } rows[] = {
        { dir / "vera\\Tesmoro", "" },
        { dir / "collegata", dir / "collegata" },
        { dir / "collegata\\Tesmoro", dir / "collegata" },
        { dir / "collegata\\a\\b", dir / "collegata" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.link, LinkOnTheWay(row.path)) << row.path;

    ::SetLastError(0);
    EXPECT_FALSE(ProtectFolder(dir / "collegata"));
    EXPECT_EQ(kLinkRefused, ::GetLastError());
    EXPECT_FALSE(OpenOwnFile(dir / "collegata", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    // Wine reaches only the target of a link: there the link stays, and so
    // does everything it leads to.
    const bool removed = RemoveLinkItself(dir / "collegata");
    EXPECT_EQ(removed, !lumo_test::DirectoryExists(dir / "collegata"));
    EXPECT_EQ("tenere", ReadFileBytes(elsewhere + "\\tenere.txt"));

    // A second name for a file outside: the record is neither read nor
    // written through it.
    const std::string outside = elsewhere + "\\elenco.txt";
    WriteFileBytes(outside, "\xEF\xBB\xBF[PRODOTTO]\r\n");
    const std::string record = dir / "vera\\Installatore-elenco.txt";
    ASSERT_TRUE(::CreateHardLinkW(Wide(record).c_str(), Wide(outside).c_str(), nullptr));
    std::string bytes;
    ::SetLastError(0);
    EXPECT_FALSE(ReadOwnFile(record, bytes));
    EXPECT_EQ(kLinkRefused, ::GetLastError());
    EXPECT_FALSE(OpenOwnFile(record, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS));
    ::DeleteFileW(Wide(record).c_str());

    // A second name planted where the record's new copy is written first
    // goes by its name alone: the record is written new, the file outside
    // keeps its bytes and its own name.
    ASSERT_TRUE(::CreateHardLinkW(Wide(record + ".nuovo").c_str(), Wide(outside).c_str(), nullptr));
    EXPECT_TRUE(WriteFileWhole(record, "nuovo"));
    EXPECT_EQ("\xEF\xBB\xBF[PRODOTTO]\r\n", ReadFileBytes(outside));
    EXPECT_EQ("nuovo", ReadFileBytes(record));
    EXPECT_FALSE(FileExists(record + ".nuovo"));
    ::DeleteFileW(Wide(record).c_str());

    // Where nothing is in the way, the file is written whole.
    EXPECT_TRUE(WriteFileWhole(record, "nuovo"));
    EXPECT_EQ("nuovo", ReadFileBytes(record));
    EXPECT_FALSE(FileExists(record + ".nuovo"));
}

} // namespace
