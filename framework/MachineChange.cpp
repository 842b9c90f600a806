#include "framework/MachineChange.h"

#include "framework/Text.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace machine {

namespace {

std::atomic<unsigned long> steps{ 0 };

#ifdef LUMO_FAULT_INJECTION
// Read once: the test sets them before the process starts.
struct StopRequest {
    unsigned long stopAt = 0;
    std::wstring stepsFile;
    StopRequest()
    {
        char text[32] = {};
        if (::GetEnvironmentVariableA("LUMO_STOP_AT", text, sizeof(text)) > 0)
            stopAt = std::strtoul(text, nullptr, 10);
        wchar_t file[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"LUMO_STEPS", file, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            stepsFile.assign(file, length);
    }
};

const StopRequest& Request()
{
    static const StopRequest request;
    return request;
}

// One line per operation, appended at once, so that the list holds every
// operation made before a stop.
void NoteStep(unsigned long n, const char* what, const std::wstring& subject)
{
    const std::wstring& file = Request().stepsFile;
    if (file.empty())
        return;
    const std::string line = std::to_string(n) + "\t" + what + "\t" + Utf8(subject) + "\n";
    const HANDLE out = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(out);
}
#endif

// The registry answers with a status; callers may read it as the last error too.
LONG Status(LONG status)
{
    if (status != ERROR_SUCCESS)
        ::SetLastError(static_cast<DWORD>(status));
    return status;
}

// A write that reports success and wrote nothing would never end.
bool WroteSome(BOOL succeeded, DWORD written)
{
    if (succeeded && written == 0)
        ::SetLastError(ERROR_WRITE_FAULT);
    return succeeded && written > 0;
}

// The platform's error for a status of the native calls, as the documented
// calls leave it: a name that is taken reads as CreateFileW's CREATE_NEW
// reads it when asked for a file.
void SetErrorOf(NTSTATUS status, bool file)
{
    constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);
    ::SetLastError(file && status == kNameCollision ? ERROR_FILE_EXISTS : ::RtlNtStatusToDosError(status));
}

// The last name of a path: what is named inside an open folder.
std::wstring LastNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// What a rename is given: the new name, relative to in when in is open.
std::vector<unsigned char> RenameInformation(const std::wstring& name, bool replace, HANDLE in)
{
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = in;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, name.c_str(), nameBytes + sizeof(wchar_t));
    return buffer;
}

// A new file or folder named inside the open folder in, never one that is
// there (not even a link): the name is looked up in that folder alone, where
// a full path is walked again from the root of its drive each time a name
// is missing, folder by folder, on file systems that tell names apart by
// case.
HANDLE CreateIn(HANDLE in, const std::wstring& name, ACCESS_MASK access, ULONG attributes, ULONG share,
                ULONG options, PSECURITY_DESCRIPTOR security)
{
    if (name.empty() || name.size() > 32767 - 1) {
        ::SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text{};
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object{};
    object.Length = sizeof(object);
    object.RootDirectory = in;
    object.ObjectName = &text;
    object.Attributes = OBJ_CASE_INSENSITIVE;
    object.SecurityDescriptor = security;
    IO_STATUS_BLOCK io{};
    HANDLE made = nullptr;
    const NTSTATUS status = ::NtCreateFile(&made, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &io, nullptr,
                                           attributes, share, FILE_CREATE, options | FILE_SYNCHRONOUS_IO_NONALERT,
                                           nullptr, 0);
    if (status < 0) {
        SetErrorOf(status, (options & FILE_DIRECTORY_FILE) == 0);
        return INVALID_HANDLE_VALUE;
    }
    return made;
}

} // namespace

void Step(const char* what, const std::wstring& subject)
{
#ifdef LUMO_FAULT_INJECTION
    const unsigned long n = ++steps;
    if (Request().stopAt == n)
        ::TerminateProcess(::GetCurrentProcess(), kStoppedExitCode);
    NoteStep(n, what, subject);
#else
    ++steps;
    (void)what;
    (void)subject;
#endif
}

unsigned long StepsTaken()
{
    return steps;
}

bool MakeFolder(const std::wstring& path)
{
    Step("crea cartella", path);
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool MakeFolderWithSecurity(const std::wstring& path, const std::wstring& sddl)
{
    Step("crea cartella", path);
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &attributes.lpSecurityDescriptor, nullptr))
        return false;
    const bool made = ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
    const DWORD error = ::GetLastError();
    ::LocalFree(attributes.lpSecurityDescriptor);
    ::SetLastError(error);
    return made;
}

HANDLE MakeFolderIn(HANDLE in, const std::wstring& path, const std::wstring& sddl)
{
    Step("crea cartella", path);
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &security, nullptr))
        return INVALID_HANDLE_VALUE;
    const HANDLE folder = CreateIn(in, LastNameOf(path), FILE_TRAVERSE | FILE_LIST_DIRECTORY, FILE_ATTRIBUTE_NORMAL,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_DIRECTORY_FILE,
                                   security);
    const DWORD error = ::GetLastError();
    ::LocalFree(security);
    ::SetLastError(error);
    return folder;
}

bool RemoveFolder(const std::wstring& path)
{
    Step("elimina cartella", path);
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool RemoveFile(const std::wstring& path)
{
    Step("elimina", path);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool RemoveOpenFile(HANDLE file, const std::wstring& subject)
{
    Step("elimina", subject);
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool SetAttributes(const std::wstring& path, DWORD attributes)
{
    Step("attributi", path);
    return ::SetFileAttributesW(path.c_str(), attributes) != FALSE;
}

bool SetOpenFileAttributes(HANDLE file, DWORD attributes, const std::wstring& subject)
{
    Step("attributi", subject);
    // Times of zero stay as they are.
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof(info)) != FALSE;
}

HANDLE CopyToNewFile(HANDLE source, const std::wstring& target, HANDLE in)
{
    Step("copia", target);
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(source, FileBasicInfo, &basic, sizeof(basic)))
        return INVALID_HANDLE_VALUE;
    constexpr DWORD kCarried = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = basic.FileAttributes & kCarried;
    // The source may have been read before (its version): copied from its start.
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(source, start, nullptr, FILE_BEGIN))
        return INVALID_HANDLE_VALUE;
    const HANDLE file = CreateIn(in, LastNameOf(target), GENERIC_WRITE | DELETE,
                                 attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, 0, FILE_NON_DIRECTORY_FILE,
                                 nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    // One buffer for every copy a thread makes: a run copies thousands of
    // small files, and a block this large is mapped and zeroed afresh at
    // each allocation.
    constexpr DWORD kChunk = 256 * 1024;
    thread_local std::unique_ptr<unsigned char[]> buffer;
    if (!buffer)
        buffer.reset(new unsigned char[kChunk]);
    bool copied = true;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source, buffer.get(), kChunk, &read, nullptr)) {
            copied = false;
            break;
        }
        if (read == 0)
            break;
        DWORD written = 0;
        for (DWORD at = 0; copied && at < read; at += written) {
            const BOOL wrote = ::WriteFile(file, buffer.get() + at, read - at, &written, nullptr);
            copied = WroteSome(wrote, written);
        }
        if (!copied)
            break;
    }
    FILETIME lastWrite{};
    lastWrite.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
    lastWrite.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart >> 32);
    if (copied && ::SetFileTime(file, nullptr, nullptr, &lastWrite))
        return file;
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool Move(const std::wstring& from, const std::wstring& to, DWORD flags)
{
    Step((flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0 ? "al riavvio" : "sposta", from);
    return ::MoveFileExW(from.c_str(), to.empty() ? nullptr : to.c_str(), flags) != FALSE;
}

bool RenameOver(HANDLE file, const std::wstring& to, bool replace)
{
    Step("rinomina", to);
    std::vector<unsigned char> info = RenameInformation(to, replace, nullptr);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info.data(), static_cast<DWORD>(info.size())) != FALSE;
}

bool RenameOver(HANDLE file, const std::wstring& to, bool replace, HANDLE in)
{
    Step("rinomina", to);
    // The native call: Wine's SetFileInformationByHandle makes a relative
    // name a full one from the current folder, whatever the root.
    std::vector<unsigned char> info = RenameInformation(LastNameOf(to), replace, in);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtSetInformationFile(file, &io, info.data(), static_cast<ULONG>(info.size()),
                                                   static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    if (status < 0)
        SetErrorOf(status, false);
    return status >= 0;
}

HANDLE CreateNewFile(const std::wstring& path, DWORD flagsAndAttributes)
{
    Step("crea", path);
    return ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | SYNCHRONIZE, 0, nullptr, CREATE_NEW,
                         flagsAndAttributes, nullptr);
}

bool WriteAndFlush(HANDLE file, const void* bytes, size_t size)
{
    Step("scrivi", std::wstring());
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, at, chunk, &written, nullptr) || written == 0)
            return false;
        at += written;
        size -= written;
    }
    // A step of its own, so that the tests see the flush made before the
    // file is renamed into place, and stop between the write and the flush.
    Step("scarica", std::wstring());
    return ::FlushFileBuffers(file) != FALSE;
}

bool SetSecurity(HANDLE object, SECURITY_INFORMATION what, PSID owner, PACL dacl)
{
    Step("sicurezza", std::wstring());
    const DWORD status = ::SetSecurityInfo(object, SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr);
    if (status != ERROR_SUCCESS)
        ::SetLastError(status);
    return status == ERROR_SUCCESS;
}

LONG MakeKey(HKEY root, const std::wstring& path, REGSAM access, HKEY* key)
{
    Step("crea chiave", path);
    return Status(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, key, nullptr));
}

LONG SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    Step("valore", name);
    return Status(::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
}

LONG RemoveValue(HKEY key, const std::wstring& name)
{
    Step("elimina valore", name);
    return Status(::RegDeleteValueW(key, name.c_str()));
}

LONG RemoveTree(HKEY key, const std::wstring& subKey)
{
    Step("elimina chiavi", subKey);
    return Status(::RegDeleteTreeW(key, subKey.empty() ? nullptr : subKey.c_str()));
}

LONG RemoveKey(HKEY root, const std::wstring& path, REGSAM view)
{
    Step("elimina chiave", path);
    return Status(::RegDeleteKeyExW(root, path.c_str(), view, 0));
}

} // namespace machine
