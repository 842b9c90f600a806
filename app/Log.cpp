#include "app/Log.h"

#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

bool InstallLog::Open(const std::string& path)
{
    file_.Reset(::_wfopen(Wide(path).c_str(), L"a"));
    return IsOpen();
}

void InstallLog::WriteLog(const std::string& message)
{
    WriteLogBytes(ToWindows1252(message).c_str());
}

void InstallLog::WriteLogBytes(const char* message) noexcept
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

void CreateDirectoryPath(const std::string& path, std::vector<std::string>* created)
{
    // One walk left to right; a separator right after a colon would name the
    // drive alone, which is never asked for. Every result is ignored: existing
    // folders, roots and folders that cannot be made are all passed over.
    // The passes ask for the same target folders file after file: one look
    // settles a folder that is there already, parents included.
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;

    // A folder beyond the platform's path limit is never made, nor any below it.
    auto create = [created](const std::wstring& folder) {
        if (folder.size() <= kMaxPlatformPath && ::CreateDirectoryW(folder.c_str(), nullptr) && created != nullptr)
            created->push_back(Utf8(folder));
    };
    std::wstring prefix;
    prefix.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if ((c == L'\\' || c == L'/') && !prefix.empty() && wide[i - 1] != L':')
            create(prefix);
        prefix += c;
    }
    if (!prefix.empty())
        create(prefix);
}
