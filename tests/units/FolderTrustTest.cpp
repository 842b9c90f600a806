// Whether a standard user could change a folder, on descriptors as Windows
// keeps them, judged by the platform's access check. Wine keeps no access
// list on a file and reports one descriptor for everything (the one user,
// an administrator, as owner; Everyone read only), so the table hands the
// decision descriptors written as SDDL, and the chain is checked on what
// Wine reports.
#include "TestSupport.h"
#include "engine/FolderTrust.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace {

// The running user's SID as text: a folder it owns, it made elevated.
std::string RunningUser()
{
    HANDLE token = nullptr;
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    wchar_t* text = nullptr;
    std::string sid;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
        ::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = Utf8(text);
        ::LocalFree(text);
    }
    if (token != nullptr)
        ::CloseHandle(token);
    return sid;
}

FolderChange Decide(const std::string& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        ADD_FAILURE() << "not a descriptor: " << sddl << " (error " << ::GetLastError() << ")";
        return FolderChange::Undecided;
    }
    const FolderChange decided = StandardUserCanChange(descriptor);
    ::LocalFree(descriptor);
    return decided;
}

const std::string kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::string kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
// What a folder inherits at the root of a system drive.
const std::string kFromRoot = "(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)"
                              "(A;CIID;LC;;;AU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)";

TEST(FolderTrust, DescriptorsAsWindowsKeepsThem)
{
    const std::string self = RunningUser();
    ASSERT_FALSE(self.empty());
    const std::string ti = kTrustedInstaller;
    struct Row {
        const char* what;
        std::string sddl;
        FolderChange expected;
    } rows[] = {
        // Every path goes through it: signed-in users may add a subfolder
        // (LC is FILE_ADD_SUBDIRECTORY), and what they may do inside one
        // comes only through inherit-only entries.
        { "the root of a system drive",
          "O:SYG:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;LC;;;AU)"
          "(A;OICIIO;SDGXGWGR;;;AU)",
          FolderChange::None },
        { "Program Files",
          "O:" + ti + "G:" + ti + "D:PAI(A;;FA;;;" + ti + ")(A;CIIO;GA;;;" + ti + ")(A;;0x1301bf;;;SY)"
          "(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)"
          "(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;S-1-15-2-1)(A;OICIIO;GXGR;;;S-1-15-2-1)",
          FolderChange::None },
        { "a folder an administrator made at the root", "O:BAG:SYD:AI" + kFromRoot, FolderChange::ByEntry },
        { "a folder a user made at the root",
          "O:" + kUser + "G:" + kUser + "D:AI(A;ID;FA;;;" + kUser + ")" + kFromRoot, FolderChange::ByOwner },
        { "a user owns it, however closed its list", "O:" + kUser + "D:P(A;;FA;;;SY)", FolderChange::ByOwner },
        { "Authenticated Users own it", "O:AUD:P(A;;FA;;;SY)", FolderChange::ByOwner },
        { "the system owns it", "O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)", FolderChange::None },
        { "a creator owner entry on the folder itself", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;GA;;;CO)",
          FolderChange::ByEntry },
        { "a denial for Users before a grant to Everyone of reading",
          "O:BAD:(D;;FA;;;BU)(A;OICI;FA;;;BA)(A;;0x1200a9;;;WD)", FolderChange::None },
        // The access check walks the entries in order: a denial first takes
        // the rights away, one after a grant takes nothing back.
        { "a denial of the changes before a grant of everything", "O:BAD:(D;;0xd0042;;;BU)(A;;FA;;;WD)",
          FolderChange::None },
        { "the same denial after the grant", "O:BAD:(A;;FA;;;WD)(D;;0xd0042;;;BU)", FolderChange::ByEntry },
        { "a denial for one user protects from no one else",
          "O:BAD:(D;;FA;;;" + kUser + ")(A;;FA;;;WD)", FolderChange::ByEntry },
        { "Users may add a file", "O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", FolderChange::ByEntry },
        { "Users may add a subfolder alone", "O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)", FolderChange::None },
        // Wine reads D:NO_ACCESS_CONTROL as an empty list (which opens
        // nothing): no D: part at all is the descriptor without a list.
        { "no access list at all", "O:BAG:BA", FolderChange::ByEntry },
        // Under Wine every file and folder reports this, the running user
        // being the one user.
        { "what Wine reports", "O:" + self + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + self + ")(A;OICI;0x1200a9;;;WD)",
          FolderChange::None },
        { "one user may write (generic)", "O:BAD:(A;;FA;;;BA)(A;;GW;;;" + kUser + ")", FolderChange::ByEntry },
        { "Interactive users may write", "O:BAD:(A;;FA;;;BA)(A;;0x120116;;;IU)", FolderChange::ByEntry },
        { "Users may change the list alone", "O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", FolderChange::ByEntry },
        { "Authenticated Users may take ownership alone", "O:BAD:(A;;FA;;;BA)(A;;WO;;;AU)", FolderChange::ByEntry },
        { "Interactive users may delete alone", "O:BAD:(A;;FA;;;BA)(A;;SD;;;IU)", FolderChange::ByEntry },
        { "Everyone may delete what is inside", "O:BAD:(A;;FA;;;BA)(A;;0x40;;;WD)", FolderChange::ByEntry },
        { "Everyone may do everything, inherit-only", "O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;WD)", FolderChange::None },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(static_cast<int>(row.expected), static_cast<int>(Decide(row.sddl))) << row.sddl;
    }
}

// Every level Wine reports passes; a level that is not there is the
// caller's to judge.
TEST(FolderTrust, TheChainOfAFolderOnWine)
{
    lumo_test::TempDir dir("lumo-fiducia");
    for (const std::string& folder : { dir.Path(), dir.Path() + "\\", dir.Path() + "\\sotto\\..", std::string("C:\\") }) {
        SCOPED_TRACE(folder);
        const ChangeableLevel level = FirstLevelUsersCanChange(folder, MissingLevels::Refused);
        EXPECT_FALSE(level.Found()) << level.level << " refused, error " << level.error;
    }
    const std::string deeper = dir / "nuova\\ancora";
    EXPECT_FALSE(FirstLevelUsersCanChange(deeper, MissingLevels::Pass).Found());
    const ChangeableLevel missing = FirstLevelUsersCanChange(deeper, MissingLevels::Refused);
    EXPECT_EQ(dir / "nuova", missing.level);
    EXPECT_TRUE(missing.Missing());
    EXPECT_EQ(static_cast<int>(FolderChange::Undecided), static_cast<int>(missing.why));
}

// The program that ships hands the check no descriptor of a test's: the
// variable that does so in the test build changes nothing here.
TEST(FolderTrust, TheShippedCheckReadsEveryLevelItself)
{
    lumo_test::TempDir dir("lumo-fiducia");
    const std::string given = dir.Path() + "*O:" + kUser + "D:(A;;FA;;;" + kUser + ")";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"LUMO_DESCRITTORI", Wide(given).c_str()));
    const ChangeableLevel level = FirstLevelUsersCanChange(dir.Path(), MissingLevels::Refused);
    ::SetEnvironmentVariableW(L"LUMO_DESCRITTORI", nullptr);
    EXPECT_FALSE(level.Found()) << level.level;
}

} // namespace
