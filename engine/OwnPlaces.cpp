#include "engine/OwnPlaces.h"

#include "framework/MachineChange.h"
#include "framework/Text.h"

#include <sddl.h>

namespace {

constexpr wchar_t kProtectedSddl[] = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

bool LinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// What the open handle is: the link itself where the platform opens links as
// such, or whatever the name led to.
bool HandleIsLinkOrSecondName(HANDLE handle, bool file)
{
    // Not GetFileInformationByHandle: the volume's serial number it also
    // gives is a query of the volume manager under Wine.
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)))
        return true;
    return LinkAttributes(basic.FileAttributes) || (file && standard.NumberOfLinks > 1);
}

// Taking over a folder that a user owns needs the rights an administrator
// holds but does not use by default.
void EnableOwnershipPrivileges()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    for (const wchar_t* name : { L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege" }) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
}

} // namespace

bool IsLink(const std::string& path)
{
    return LinkAttributes(::GetFileAttributesW(Wide(path).c_str()));
}

std::string LinkOnTheWay(const std::string& path)
{
    // Every existing step from below the root: "C:\a", "C:\a\b", ...
    for (size_t at = path.find('\\', path.compare(0, 2, "\\\\") == 0 ? 2 : 0); at != std::string::npos;
         at = path.find('\\', at + 1)) {
        const std::string step = path.substr(0, at);
        if (step.size() > 2 && IsLink(step))
            return step;
    }
    return IsLink(path) ? path : std::string();
}

FileHandle OpenOwnFile(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    const std::wstring wide = Wide(path);
    FileHandle file;
    // Wine shows a link to a folder only by its name's attributes.
    if (!LinkAttributes(::GetFileAttributesW(wide.c_str())))
        file.Reset(::CreateFileW(wide.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    else
        ::SetLastError(kLinkRefused);
    if (file && HandleIsLinkOrSecondName(file.Get(), true)) {
        file.Reset();
        ::SetLastError(kLinkRefused);
    }
    return file;
}

bool RemoveLinkItself(const std::string& path)
{
    const FileHandle link(::CreateFileW(Wide(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    // Only a handle on the link itself may delete: one on its target would
    // delete the target.
    if (!link || !::GetFileInformationByHandle(link.Get(), &info) || !LinkAttributes(info.dwFileAttributes)) {
        ::SetLastError(kLinkRefused);
        return false;
    }
    return machine::RemoveOpenFile(link.Get(), Wide(path));
}

std::wstring ProtectedFolderSddl()
{
    return kProtectedSddl;
}

bool ProtectFolder(const std::string& path)
{
    if (!LinkOnTheWay(path).empty()) {
        ::SetLastError(kLinkRefused);
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    bool done = ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    if (done) {
        EnableOwnershipPrivileges();
        const FileHandle folder(::CreateFileW(Wide(path).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                              nullptr));
        done = folder && !HandleIsLinkOrSecondName(folder.Get(), false);
        if (folder && !done)
            ::SetLastError(kLinkRefused);
        done = done && machine::SetSecurity(folder.Get(),
                                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                PROTECTED_DACL_SECURITY_INFORMATION,
                                            owner, dacl);
    }
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return done;
}
