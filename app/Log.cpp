#include "app/Log.h"

#include <windows.h>

bool InstallLog::Open(const std::string& path)
{
    file_.Reset(std::fopen(path.c_str(), "a"));
    return IsOpen();
}

void InstallLog::WriteLog(const std::string& message)
{
    WriteLog(message.c_str());
}

void InstallLog::WriteLog(const char* message) noexcept
{
    if (!file_)
        return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::fprintf(file_.Get(), "[%d/%d/%d - %d:%d:%d:%d]", now.wMonth, now.wDay, now.wYear, now.wHour, now.wMinute,
                 now.wSecond, now.wMilliseconds);
    // Written as data, never as a format: a file name may hold a percent sign.
    std::fputs(message, file_.Get());
    std::fputs("\n", file_.Get());
    std::fflush(file_.Get());
}

void CreateDirectoryPath(const std::string& path)
{
    // One walk left to right; a separator right after a colon would name the
    // drive alone, which is never asked for. Every result is ignored: existing
    // folders, roots and folders that cannot be made are all passed over.
    // The passes ask for the same target folders file after file: one look
    // settles a folder that is there already, parents included.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;

    std::string prefix;
    prefix.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if ((c == '\\' || c == '/') && !prefix.empty() && path[i - 1] != ':')
            ::CreateDirectoryA(prefix.c_str(), nullptr);
        prefix += c;
    }
    if (!prefix.empty())
        ::CreateDirectoryA(prefix.c_str(), nullptr);
}
