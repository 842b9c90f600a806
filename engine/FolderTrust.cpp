#include "engine/FolderTrust.h"

#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

GENERIC_MAPPING FileMapping()
{
    return { FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS };
}

using SidBytes = std::vector<BYTE>;

SidBytes WellKnown(WELL_KNOWN_SID_TYPE type)
{
    SidBytes sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return SidBytes();
    sid.resize(size);
    return sid;
}

const SidBytes& TrustedInstaller()
{
    static const SidBytes sid = [] {
        PSID converted = nullptr;
        if (!::ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &converted))
            return SidBytes();
        const BYTE* bytes = static_cast<const BYTE*>(converted);
        SidBytes copy(bytes, bytes + ::GetLengthSid(converted));
        ::LocalFree(converted);
        return copy;
    }();
    return sid;
}

// The running user's own SID when that user is an administrator (or the
// system): what it owns, it made elevated. Empty otherwise.
const SidBytes& RunningAdministrator()
{
    static const SidBytes sid = [] {
        SidBytes administrators = WellKnown(WinBuiltinAdministratorsSid);
        BOOL member = FALSE;
        if (administrators.empty() || !::CheckTokenMembership(nullptr, administrators.data(), &member) || !member)
            return SidBytes();
        KernelHandle token;
        std::vector<BYTE> user(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
        DWORD size = 0;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
            !::GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size))
            return SidBytes();
        const BYTE* bytes = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
        return SidBytes(bytes, bytes + ::GetLengthSid(const_cast<BYTE*>(bytes)));
    }();
    return sid;
}

bool Same(PSID sid, const SidBytes& other)
{
    return !other.empty() && ::EqualSid(sid, const_cast<BYTE*>(other.data()));
}

bool Trusted(PSID sid)
{
    return ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           Same(sid, TrustedInstaller()) || Same(sid, RunningAdministrator());
}

bool StandardUsersGroup(PSID sid)
{
    return ::IsWellKnownSid(sid, WinBuiltinUsersSid) || ::IsWellKnownSid(sid, WinAuthenticatedUserSid) ||
           ::IsWellKnownSid(sid, WinWorldSid) || ::IsWellKnownSid(sid, WinInteractiveSid);
}

bool Denies(BYTE type)
{
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The list as it applies to a standard user, with every entry moved to
// Everyone: an untrusted account's grant (a creator owner entry that applies
// to the folder itself included), and a standard group's denial. An entry of
// a kind a folder does not hold is taken as a grant to anyone, never as a
// denial. Generic rights are mapped here, as the access check expects.
bool ForStandardUser(PACL dacl, PSID everyone, std::vector<BYTE>& list)
{
    struct Entry {
        bool deny;
        BYTE flags;
        ACCESS_MASK mask;
    };
    std::vector<Entry> entries;
    GENERIC_MAPPING mapping = FileMapping();
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            return false;
        const BYTE type = ace->Header.AceType;
        const bool plain = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE ||
                           type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE;
        const PSID sid = plain ? static_cast<PSID>(&ace->SidStart) : nullptr;
        const bool deny = Denies(type);
        // A conditional denial may not apply: only a plain one counts.
        if (deny ? !(type == ACCESS_DENIED_ACE_TYPE && StandardUsersGroup(sid)) : (sid != nullptr && Trusted(sid)))
            continue;
        ACCESS_MASK mask = ace->Mask;
        ::MapGenericMask(&mask, &mapping);
        entries.push_back({ deny, static_cast<BYTE>(ace->Header.AceFlags & INHERIT_ONLY_ACE), mask });
    }
    const DWORD entrySize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(everyone);
    list.assign(sizeof(ACL) + entries.size() * entrySize, 0);
    PACL acl = reinterpret_cast<PACL>(list.data());
    if (!::InitializeAcl(acl, static_cast<DWORD>(list.size()), ACL_REVISION))
        return false;
    for (const Entry& entry : entries) {
        const BOOL added = entry.deny ? ::AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, everyone)
                                      : ::AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, everyone);
        if (!added)
            return false;
    }
    return true;
}

// An impersonation token of this process without its privileges: taking
// ownership or restoring would otherwise count as rights the list gives.
bool StandardToken(KernelHandle& token)
{
    KernelHandle process;
    KernelHandle restricted;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.Receive()) ||
        !::CreateRestrictedToken(process.Get(), DISABLE_MAX_PRIVILEGE, 0, nullptr, 0, nullptr, 0, nullptr,
                                 restricted.Receive()) ||
        !::DuplicateToken(restricted.Get(), SecurityIdentification, token.Receive())) {
        token.Reset();
        return false;
    }
    return true;
}

// Whether a member of Everyone gets a change from the list: the access check
// of the platform, on a descriptor whose owner nobody holds. Each right is
// asked for alone, so that the entries count in their order, as they do on
// Windows; Wine's check of the maximum allowed takes every denial first.
bool ChangeGrantedToEveryone(PACL dacl, bool& granted)
{
    SidBytes everyone = WellKnown(WinWorldSid);
    SidBytes nobody = WellKnown(WinNullSid);
    std::vector<BYTE> list;
    KernelHandle token;
    SECURITY_DESCRIPTOR descriptor{};
    if (everyone.empty() || nobody.empty() || !ForStandardUser(dacl, everyone.data(), list) || !StandardToken(token) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, nobody.data(), FALSE) ||
        !::SetSecurityDescriptorGroup(&descriptor, nobody.data(), FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(list.data()), FALSE))
        return false;
    GENERIC_MAPPING mapping = FileMapping();
    granted = false;
    const ACCESS_MASK changes[] = { DELETE, WRITE_DAC, WRITE_OWNER, FILE_DELETE_CHILD, FILE_ADD_FILE };
    for (ACCESS_MASK right : changes) {
        std::vector<BYTE> privileges(sizeof(PRIVILEGE_SET) + 8 * sizeof(LUID_AND_ATTRIBUTES));
        DWORD privilegesSize = static_cast<DWORD>(privileges.size());
        DWORD grantedRights = 0;
        BOOL status = FALSE;
        if (!::AccessCheck(&descriptor, token.Get(), right, &mapping,
                           reinterpret_cast<PPRIVILEGE_SET>(privileges.data()), &privilegesSize, &grantedRights,
                           &status))
            return false;
        granted = granted || (status && (grantedRights & right) != 0);
    }
    return true;
}

// From the drive's root ("C:\", "\\server\share\") down to the folder itself.
std::vector<std::wstring> Levels(const std::wstring& folder)
{
    std::wstring full = FullPath(folder);
    size_t rootEnd = std::wstring::npos;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
        rootEnd = 2;
    } else if (full.compare(0, 2, L"\\\\") == 0) {
        const size_t server = full.find(L'\\', 2);
        rootEnd = server == std::wstring::npos ? server : full.find(L'\\', server + 1);
        if (server != std::wstring::npos && rootEnd == std::wstring::npos) {
            full += L'\\';
            rootEnd = full.size() - 1;
        }
    }
    if (rootEnd == std::wstring::npos)
        return {};
    while (full.size() > rootEnd + 1 && full.back() == L'\\')
        full.pop_back();
    std::vector<std::wstring> levels{ full.substr(0, rootEnd + 1) };
    for (size_t at = full.find(L'\\', rootEnd + 1); at != std::wstring::npos; at = full.find(L'\\', at + 1))
        levels.push_back(full.substr(0, at));
    if (full.size() > rootEnd + 1)
        levels.push_back(full);
    return levels;
}

#ifdef LUMO_FAULT_INJECTION
// The descriptor LUMO_DESCRITTORI gives the level, if it names it.
bool GivenDescriptor(const std::wstring& level, PSECURITY_DESCRIPTOR* descriptor, DWORD& error)
{
    const DWORD size = ::GetEnvironmentVariableW(L"LUMO_DESCRITTORI", nullptr, 0);
    if (size == 0)
        return false;
    std::wstring given(size, L'\0');
    given.resize(::GetEnvironmentVariableW(L"LUMO_DESCRITTORI", &given[0], size));
    for (size_t start = 0; start <= given.size();) {
        size_t end = given.find(L'|', start);
        if (end == std::wstring::npos)
            end = given.size();
        const std::wstring entry = given.substr(start, end - start);
        const size_t star = entry.find(L'*');
        if (star != std::wstring::npos && ::lstrcmpiW(entry.substr(0, star).c_str(), level.c_str()) == 0) {
            error = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(entry.c_str() + star + 1, SDDL_REVISION_1,
                                                                          descriptor, nullptr)
                        ? ERROR_SUCCESS
                        : ::GetLastError();
            return true;
        }
        start = end + 1;
    }
    return false;
}
#endif

// The level's owner and list, from the level itself (a link's own, not its
// target's); the platform's error when they cannot be read.
DWORD ReadDescriptor(const std::wstring& level, PSECURITY_DESCRIPTOR* descriptor)
{
#ifdef LUMO_FAULT_INJECTION
    DWORD error = ERROR_SUCCESS;
    if (GivenDescriptor(level, descriptor, error))
        return error;
#endif
    const FileHandle handle(::CreateFileW(level.c_str(), READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    if (!handle)
        return ::GetLastError();
    return ::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, nullptr, nullptr, descriptor);
}

} // namespace

FolderChange StandardUserCanChange(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
        return FolderChange::Undecided;
    if (owner == nullptr || !Trusted(owner))
        return FolderChange::ByOwner;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return FolderChange::Undecided;
    // No list at all lets everyone do everything.
    if (!present || dacl == nullptr)
        return FolderChange::ByEntry;
    bool granted = false;
    if (!ChangeGrantedToEveryone(dacl, granted))
        return FolderChange::Undecided;
    return granted ? FolderChange::ByEntry : FolderChange::None;
}

ChangeableLevel FirstLevelUsersCanChange(const std::string& folder, MissingLevels missing)
{
    const std::vector<std::wstring> levels = Levels(Wide(folder));
    if (levels.empty())
        return { folder, FolderChange::Undecided, ERROR_BAD_PATHNAME };
    for (const std::wstring& level : levels) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD error = ReadDescriptor(level, &descriptor);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // What is not there yet is made by the program, below levels that passed.
            if (missing == MissingLevels::Pass)
                return {};
            return { Utf8(level), FolderChange::Undecided, error };
        }
        if (error != ERROR_SUCCESS)
            return { Utf8(level), FolderChange::Undecided, error };
        const FolderChange why = StandardUserCanChange(descriptor);
        ::LocalFree(descriptor);
        if (why != FolderChange::None)
            return { Utf8(level), why, 0 };
    }
    return {};
}
