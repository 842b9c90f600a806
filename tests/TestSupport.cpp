#include "TestSupport.h"

#include "engine/InstallDescription.h"
#include "framework/Text.h"

#include <shlwapi.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>

namespace lumo_test {

TempDir::TempDir(const std::string& tag)
{
    static std::atomic<unsigned> counter{ 0 };
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        path_ = Utf8(temp) + tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (::CreateDirectoryW(Wide(path_).c_str(), nullptr))
            return;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create " + path_);
    }
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Wide(path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = Utf8(data.cFileName);
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            // A link to a folder goes, never what it leads to.
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(Wide(child).c_str());
            } else {
                ::SetFileAttributesW(Wide(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(Wide(child).c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(Wide(path).c_str());
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* file = ::_wfopen(Wide(path).c_str(), L"wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string ReadFileBytes(const std::string& path)
{
    FILE* file = ::_wfopen(Wide(path).c_str(), L"rb");
    if (file == nullptr)
        return std::string();
    std::string bytes;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> ListEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Wide(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = Utf8(data.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

bool DirectoryExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// Runs a program of Wine's host on host names, and waits for the path to
// exist or to be gone: Wine does not wait for a host program.
void RunOnHost(const wchar_t* program, std::wstring commandLine, const std::string& path, bool exists)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!StartProgram([&] {
            return ::CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                    &process);
        }))
        throw std::runtime_error("cannot start a host program for " + path + ": error " +
                                 std::to_string(::GetLastError()));
    // Wine gives no handles for a host program, only what was in the
    // structure's other fields: closing those would close handles of ours.
    if (process.hProcess != nullptr) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(kHangSeconds * 1000);
    while (DirectoryExists(path) != exists) {
        if (::GetTickCount64() > deadline)
            throw std::runtime_error("the host program did nothing for " + path);
        ::Sleep(10);
    }
}

std::wstring HostName(const std::string& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(Wide(path).c_str()) : nullptr;
    if (name == nullptr)
        throw std::runtime_error("no host name for " + path);
    const std::wstring wide = Wide(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return wide;
}

} // namespace

FolderLink::FolderLink(const std::string& link, const std::string& target) : link_(link)
{
    if (::CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        DirectoryExists(link))
        return;
    hostLink_ = true;
    // A full target is named as the host knows it.
    const std::wstring hostTarget = target.find(':') != std::string::npos ? HostName(target) : Wide(target);
    RunOnHost(L"Z:\\bin\\ln", L"ln -s \"" + hostTarget + L"\" \"" + HostName(link) + L"\"", link, true);
}

FolderLink::~FolderLink()
{
    try {
        if (hostLink_)
            RunOnHost(L"Z:\\bin\\rm", L"rm \"" + HostName(link_) + L"\"", link_, false);
        else
            ::RemoveDirectoryW(Wide(link_).c_str());
    } catch (const std::exception&) {
        // The folder that holds it goes anyway with its test's.
    }
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, at - start));
        start = at + 2;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string> SplitLinesAnyEnd(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string TestProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        throw std::runtime_error("the test program's path does not fit");
    const std::string program(path, length);
    return program.substr(0, program.rfind('\\'));
}

ScopedInstallDescription::ScopedInstallDescription(const std::string& content)
    : path_(TestProgramFolder() + "\\" + kInstallDescriptionName)
{
    Rewrite(content);
}

ScopedInstallDescription::~ScopedInstallDescription()
{
    ::DeleteFileW(Wide(path_).c_str());
    // The profile reader caches files; make it forget this one.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, Wide(path_).c_str());
}

void ScopedInstallDescription::Rewrite(const std::string& content) const
{
    WriteFileBytes(path_, content);
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, Wide(path_).c_str());
}

namespace {

REGSAM ViewFor(HKEY root, REGSAM view)
{
    if (view != kProductView)
        return view;
    return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0;
}

} // namespace

void DeleteRegistryTree(HKEY root, const std::string& subKey, REGSAM view)
{
    const size_t slash = subKey.rfind('\\');
    const std::string parent = slash == std::string::npos ? std::string() : subKey.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? subKey : subKey.substr(slash + 1);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, parent.empty() ? nullptr : parent.c_str(), 0, KEY_ALL_ACCESS | ViewFor(root, view),
                        &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteTreeA(key, leaf.c_str());
    ::RegCloseKey(key);
}

bool RegistryKeyExists(HKEY root, const std::string& subKey, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | ViewFor(root, view), &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool ReadRegistryString(HKEY root, const std::string& subKey, const std::string& name, std::string& value,
                        REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | ViewFor(root, view), &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    const LONG status =
        ::RegGetValueA(key, nullptr, name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

void WriteRegistryValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                        const std::string& bytes, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewFor(root, view), nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create key " + subKey);
    const LONG status = ::RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                         reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write a value below " + subKey);
}

void WriteRegistryString(HKEY root, const std::string& subKey, const std::string& name, const std::string& value,
                         REGSAM view)
{
    WriteRegistryValue(root, subKey, name, REG_SZ, value + '\0', view);
}

void RemoveSharedCount(const std::string& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, Wide(path).c_str());
        ::RegCloseKey(key);
    }
}

std::string Today()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

} // namespace lumo_test
