#include "engine/FolderIndex.h"

#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

FolderIndex::Names& FolderIndex::Listing(const std::string& folder)
{
    // The passes ask about one folder file after file.
    if (last_ != nullptr && folder == lastFolder_)
        return *last_;
    const auto [at, added] = folders_.try_emplace(UpperText(folder));
    lastFolder_ = folder;
    last_ = &at->second;
    if (added) {
        WIN32_FIND_DATAW found{};
        const FindHandle find(::FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found));
        for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.Get(), &found) != FALSE)
            at->second[UpperText(Utf8(found.cFileName))] =
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
    return at->second;
}

bool FolderIndex::Has(const std::string& path)
{
    // A path the listing cannot answer for is asked of the file system.
    if (ExceedsPathLimit(path) || path.find('/') != std::string::npos)
        return PathExists(path);
    return Listing(FolderOf(path)).count(UpperText(NameOf(path))) != 0;
}

unsigned long long FolderIndex::SizeOf(const std::string& path)
{
    if (ExceedsPathLimit(path) || path.find('/') != std::string::npos)
        return FileBytes(path);
    const Names& names = Listing(FolderOf(path));
    const auto found = names.find(UpperText(NameOf(path)));
    return found != names.end() ? found->second : 0;
}

void FolderIndex::Added(const std::string& path, unsigned long long size)
{
    Listing(FolderOf(path))[UpperText(NameOf(path))] = size;
}

FolderIndex::Names* FolderIndex::Listed(const std::string& folder)
{
    if (last_ != nullptr && folder == lastFolder_)
        return last_;
    const auto found = folders_.find(UpperText(folder));
    return found != folders_.end() ? &found->second : nullptr;
}

bool FolderIndex::Look(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool found = ::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) != FALSE;
    const DWORD error = found ? ERROR_SUCCESS : ::GetLastError();
    // A name the file system cannot hold is no file either.
    const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                        error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE;
    Names* names = Listed(FolderOf(path));
    if (names != nullptr && found)
        (*names)[UpperText(NameOf(path))] =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    else if (names != nullptr && absent)
        names->erase(UpperText(NameOf(path)));
    return !absent;
}

void FolderIndex::Made(const std::string& folder)
{
    // A folder not listed yet will show it when it is.
    if (Names* names = Listed(FolderOf(folder)))
        (*names)[UpperText(NameOf(folder))] = 0;
    const std::string key = UpperText(folder);
    made_.insert(key);
    folders_.try_emplace(key);
}

bool FolderIndex::MadeByRun(const std::string& folder) const
{
    return made_.count(UpperText(folder)) != 0;
}
