#include "version/VersionCompare.h"

#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"
#include "version/FileVersionInfo.h"

bool CompareVersions(int major, int minor, int build, int revision, int existingMajor, int existingMinor,
                     int existingBuild, int existingRevision)
{
    const int candidate[] = { major, minor, build, revision };
    const int existing[] = { existingMajor, existingMinor, existingBuild, existingRevision };
    for (int i = 0; i < 4; ++i) {
        if (candidate[i] != existing[i])
            return candidate[i] > existing[i];
    }
    return false;
}

namespace {

// truncated, when given, tells whether the file is shorter than its headers.
FileVersion ReadVersion(const std::string& path, bool* exists, bool* truncated)
{
    WIN32_FIND_DATAW data{};
    const bool found = !ExceedsPathLimit(path) && FindHandle(::FindFirstFileW(Wide(path).c_str(), &data));
    if (exists != nullptr)
        *exists = found;
    if (!found)
        return FileVersion{};

    FileVersionInfo info;
    info.Read(path.c_str());
    const FileVersion version = FileVersion::FromWords(info.GetFixedInfo().dwFileVersionMS,
                                                       info.GetFixedInfo().dwFileVersionLS);
    if (truncated != nullptr)
        *truncated = info.IsTruncated();
    info.Reset();
    return version;
}

} // namespace

FileVersion ReadFileVersion(const std::string& path, bool* exists)
{
    return ReadVersion(path, exists, nullptr);
}

FileVersion ReadInstalledVersion(const std::string& path, bool* exists)
{
    // The length comes from the same reading of the file as the version.
    bool truncated = false;
    const FileVersion version = ReadVersion(path, exists, &truncated);
    return truncated ? FileVersion{} : version;
}

int SplitText(const std::string& text, const std::string& delimiter, std::vector<std::string>& pieces,
              bool keepEmpty)
{
    if (text.empty() || delimiter.empty())
        return 0;

    std::vector<size_t> positions;
    for (size_t at = text.find(delimiter); at != std::string::npos; at = text.find(delimiter, at + delimiter.size()))
        positions.push_back(at);
    if (positions.empty())
        return 0;

    size_t start = 0;
    auto append = [&](size_t end) {
        if (end > start || keepEmpty)
            pieces.push_back(text.substr(start, end - start));
    };
    for (size_t at : positions) {
        append(at);
        start = at + delimiter.size();
    }
    append(text.size());
    return static_cast<int>(positions.size());
}
