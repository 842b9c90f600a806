#include "version/FileVersionInfo.h"

#include "framework/Text.h"
#include "version/PeFile.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// A version resource is a few hundred bytes; one larger than this is not
// read at all, whatever its header claims.
constexpr DWORD kMaxVersionData = 64 * 1024;

// True when [at, at + length) lies within the buffer.
bool WithinBuffer(const BYTE* buffer, DWORD bufferSize, const void* at, UINT length)
{
    const BYTE* begin = static_cast<const BYTE*>(at);
    return begin >= buffer && begin <= buffer + bufferSize &&
           static_cast<size_t>(length) <= static_cast<size_t>(buffer + bufferSize - begin);
}

} // namespace

FileVersionInfo::FileVersionInfo()
{
    Reset();
}

FileVersionInfo::~FileVersionInfo()
{
    Reset();
}

bool FileVersionInfo::Read(const char* path)
{
    if (path == nullptr)
        return false;
    Reset();
    if (!ReadFixedInfo(path))
        Reset();
    else if (!ReadTranslation())
        Reset();
    return valid != FALSE;
}

bool FileVersionInfo::ReadFrom(HANDLE file)
{
    Reset();
    checked_ = ReadPeFile(file);
    if (!TakeChecked() || !ReadTranslation())
        Reset();
    return valid != FALSE;
}

bool FileVersionInfo::ReadFixedInfo(const char* path)
{
    // The bounded reader checks every length of the resource and the block,
    // and hands over the block it checked: the file is read once, and the
    // record taken is the one judged.
    checked_ = ReadPeFile(path);
    return TakeChecked();
}

bool FileVersionInfo::TakeChecked()
{
    // Only the reader's summary is kept: the block goes into versionData.
    std::vector<BYTE> block = std::move(checked_.versionBlock);
    checked_.versionBlock.clear();
    if (checked_.kind != PeKind::Image || !checked_.versionSound || block.empty() || block.size() > kMaxVersionData)
        return false;
    truncated = checked_.truncated;
    const DWORD size = static_cast<DWORD>(block.size());
    versionData.reset(new (std::nothrow) BYTE[size]());
    if (!versionData)
        return false;
    versionSize = size;
    std::memcpy(versionData.get(), block.data(), size);
    if (checked_.hasTranslation && WithinBuffer(versionData.get(), versionSize,
                                                versionData.get() + checked_.translationOffset,
                                                static_cast<UINT>(checked_.translationBytes))) {
        translationOffset = checked_.translationOffset;
        translationBytes = checked_.translationBytes;
    }
    fixedInfo = checked_.fixedInfo;
    valid = fixedInfo.dwSignature == 0xFEEF04BD;
    return valid != FALSE;
}

bool FileVersionInfo::ReadTranslation()
{
    if (!valid)
        return false;
    if (translationBytes >= sizeof(DWORD)) {
        translations = reinterpret_cast<const DWORD*>(versionData.get() + translationOffset);
        translationCount = static_cast<UINT>(translationBytes / sizeof(DWORD));
    }
    return translations != nullptr;
}

void FileVersionInfo::Reset()
{
    translations = nullptr;
    translationCount = 0;
    valid = FALSE;
    std::memset(&fixedInfo, 0, sizeof(fixedInfo));
    versionData.reset();
    versionSize = 0;
    translationOffset = 0;
    translationBytes = 0;
    truncated = false;
}
