#include "version/VersionCompare.h"

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

namespace {

VersionReading Judged(FileVersionInfo& info, bool read)
{
    VersionReading reading;
    const PeFile& checked = info.Checked();
    reading.truncated = checked.truncated;
    if (checked.kind == PeKind::Missing) {
        reading.error = checked.openError;
        return reading;
    }
    if (read && !checked.truncated) {
        reading.state = VersionState::Read;
        reading.version =
            FileVersion::FromWords(info.GetFixedInfo().dwFileVersionMS, info.GetFixedInfo().dwFileVersionLS);
    } else if (checked.kind == PeKind::Empty || checked.kind == PeKind::NotProgram ||
               (checked.kind == PeKind::Image && !checked.hasVersionResource)) {
        reading.state = VersionState::NoVersion;
    } else {
        reading.state = VersionState::Unreadable;
        // Damaged, cut short, or a version block that does not hold together,
        // or one without what the installer compares.
        reading.error = checked.kind == PeKind::Damaged || checked.truncated || !checked.versionSound
                            ? ERROR_FILE_CORRUPT
                            : ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    info.Reset();
    return reading;
}

} // namespace

VersionReading ReadVersionOf(const std::string& path)
{
    VersionReading reading;
    if (ExceedsPathLimit(path)) {
        reading.error = ERROR_FILENAME_EXCED_RANGE;
        return reading;
    }
    FileVersionInfo info;
    const bool read = info.Read(path.c_str());
    return Judged(info, read);
}

VersionReading ReadVersionOf(HANDLE file)
{
    FileVersionInfo info;
    const bool read = info.ReadFrom(file);
    return Judged(info, read);
}

FileVersion ReadFileVersion(const std::string& path, bool* exists)
{
    const VersionReading reading = ReadVersionOf(path);
    if (exists != nullptr)
        *exists = reading.Exists();
    return reading.version;
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
