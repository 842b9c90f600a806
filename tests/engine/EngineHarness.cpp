#include "EngineHarness.h"

#include "components/Components.h"
#include "framework/Text.h"

#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>

namespace lumo_engine {

void RecordingView::ShowStatus(const std::string& text)
{
    status_ = text;
    statusTexts_.push_back(text);
    if (onStatus)
        onStatus(text);
}

void RecordingView::ShowPosition(int position)
{
    barPositions_.push_back(position);
    statusAtBar_.push_back(status_);
}

void RecordingView::ClearRecords()
{
    barPositions_.clear();
    statusAtBar_.clear();
    statusTexts_.clear();
}

LogCapture::LogCapture(const std::string& path) : path_(path)
{
    if (!log_.Open(path))
        throw std::runtime_error("cannot open the log " + path);
}

LogCapture::~LogCapture()
{
    log_.Close();
}

std::vector<std::string> LogCapture::Messages() const
{
    const std::string bytes = lumo_test::ReadFileBytes(path_);
    // [month/day/year - hour:minute:second:millisecond], none zero-padded.
    static const std::regex stamp(R"(^\[([1-9]|1[0-2])/([1-9]|[12][0-9]|3[01])/[0-9]{4} - )"
                                  R"(([0-9]|1[0-9]|2[0-3]):([0-9]|[1-5][0-9]):([0-9]|[1-5][0-9]):([0-9]|[1-9][0-9]{1,2})\])");
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            ADD_FAILURE() << "log ends without a line break: " << bytes.substr(start);
            break;
        }
        std::string line = bytes.substr(start, lf - start);
        start = lf + 1;
        if (line.empty() || line.back() != '\r') {
            ADD_FAILURE() << "log line not ended by CR LF: " << line;
        } else {
            line.pop_back();
        }
        std::smatch match;
        if (!std::regex_search(line, match, stamp)) {
            ADD_FAILURE() << "log line without a well-formed time stamp: " << line;
            messages.push_back(line);
        } else {
            messages.push_back(match.suffix().str());
        }
    }
    return messages;
}

const std::string& RunTag()
{
    static const std::string tag = [] {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        char text[32] = {};
        std::snprintf(text, sizeof(text), "%08lx%08lx", static_cast<unsigned long>(now.dwHighDateTime),
                      static_cast<unsigned long>(now.dwLowDateTime));
        return std::string(text);
    }();
    return tag;
}

EngineTest::~EngineTest()
{
    UnloadModulesBelow(scratch.root.Path());
}

std::vector<std::string> EngineTest::NewMessages()
{
    const std::vector<std::string> all = log.Messages();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
}

std::string Scratch::Make(const std::string& relative) const
{
    const std::string path = root / relative;
    MakeFolders(path);
    return path;
}

void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    ::CreateDirectoryA(path.c_str(), nullptr);
    if (!lumo_test::DirectoryExists(path))
        throw std::runtime_error("cannot make " + path);
}

namespace {
std::string ParentOf(const std::string& path)
{
    return path.substr(0, path.rfind('\\'));
}
} // namespace

void PutFile(const std::string& path, const std::string& bytes)
{
    MakeFolders(ParentOf(path));
    lumo_test::WriteFileBytes(path, bytes);
}

void PutComponent(const std::string& component, const std::string& path)
{
    MakeFolders(ParentOf(path));
    lumo_test::CopyComponent(component, path);
}

std::vector<std::string> FilesBelow(const std::string& folder)
{
    std::vector<std::string> files;
    std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& path,
                                                                            const std::string& prefix) {
        WIN32_FIND_DATAA data{};
        HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                walk(path + "\\" + name, prefix + name + "\\");
            else
                files.push_back(prefix + name);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    };
    walk(folder, "");
    std::sort(files.begin(), files.end());
    return files;
}

std::string VersionText(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return "0.0.0.0";
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr)
        return "0.0.0.0";
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

size_t CountOf(const std::vector<std::string>& messages, const std::string& message)
{
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
}

HeldOpen::HeldOpen(const std::string& path)
    : handle_(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
{
    if (handle_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot hold " + path + " open");
}

HeldOpen::~HeldOpen()
{
    ::CloseHandle(handle_);
}

BlockedCopy::BlockedCopy(const std::string& target) : target_(target)
{
    if (!::SetFileAttributesW(Wide(target_).c_str(), FILE_ATTRIBUTE_READONLY))
        throw std::runtime_error("cannot make " + target_ + " read-only");
    held_ = ::CreateFileW(Wide(target_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
    if (held_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot hold " + target_ + " open");
}

BlockedCopy::~BlockedCopy()
{
    ::CloseHandle(held_);
    ::SetFileAttributesW(Wide(target_).c_str(), FILE_ATTRIBUTE_NORMAL);
}

void UnloadModule(const std::string& path)
{
    for (HMODULE module = ::GetModuleHandleA(path.c_str()); module != nullptr;
         module = ::GetModuleHandleA(path.c_str())) {
        if (!::FreeLibrary(module))
            break;
    }
}

void UnloadModulesBelow(const std::string& folder)
{
    const std::string prefix = folder + "\\";
    std::vector<std::string> paths;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Module32First(snapshot, &entry); more; more = ::Module32Next(snapshot, &entry)) {
        const std::string path = entry.szExePath;
        if (path.size() > prefix.size() &&
            ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), static_cast<int>(prefix.size()),
                             prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL)
            paths.push_back(path);
    }
    ::CloseHandle(snapshot);
    for (const std::string& path : paths)
        UnloadModule(path);
}

std::string Upper(std::string text)
{
    if (!text.empty())
        ::CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

} // namespace lumo_engine
