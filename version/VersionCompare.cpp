#include "version/VersionCompare.h"

#include "framework/Handles.h"
#include "framework/Path.h"
#include "framework/Text.h"
#include "version/FileVersionInfo.h"
#include "version/PeFile.h"

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

FileVersion ReadFileVersion(const std::string& path)
{
    return ReadFileVersion(path, nullptr);
}

FileVersion ReadFileVersion(const std::string& path, bool* exists)
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
    info.Reset();
    return version;
}

FileVersion ReadInstalledVersion(const std::string& path, bool* exists)
{
    // A missing file is settled by one look; only a file with a version is
    // read again for its length.
    const FileVersion version = ReadFileVersion(path, exists);
    if (!CompareVersions(version, FileVersion{}) || !ReadPeFile(path).truncated)
        return version;
    return FileVersion{};
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
