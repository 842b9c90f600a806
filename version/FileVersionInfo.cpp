#include "version/FileVersionInfo.h"

#include "framework/Text.h"
#include "version/PeFile.h"
#include "version/VersionApi.h"

#include <cstring>
#include <new>

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

bool FileVersionInfo::ReadFixedInfo(const char* path)
{
    const VersionApi& api = Version();
    if (!api.Available())
        return false;
    // The platform's functions trust the lengths written in the file: they
    // see only a file whose resources and version block hold together.
    const PeFile checked = ReadPeFile(path);
    if (checked.kind != PeKind::Image || !checked.versionSound)
        return false;
    truncated = checked.truncated;
    const std::wstring widePath = Wide(path);
    DWORD unused = 0;
    const DWORD size = api.GetFileVersionInfoSizeW(widePath.c_str(), &unused);
    if (size == 0 || size > kMaxVersionData)
        return false;
    versionData.reset(new (std::nothrow) BYTE[size]());
    if (!versionData)
        return false;
    versionSize = size;
    if (!api.GetFileVersionInfoW(widePath.c_str(), 0, size, versionData.get()))
        return false;

    void* root = nullptr;
    UINT length = 0;
    wchar_t rootPath[] = L"\\";
    // The record must lie whole inside the buffer, whatever length the file
    // gives it; a shorter one counts as missing.
    if (!api.VerQueryValueW(versionData.get(), rootPath, &root, &length) || root == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO) ||
        !WithinBuffer(versionData.get(), versionSize, root, sizeof(VS_FIXEDFILEINFO)))
        return false;
    std::memcpy(&fixedInfo, root, sizeof(fixedInfo));
    valid = fixedInfo.dwSignature == 0xFEEF04BD;
    return valid != FALSE;
}

bool FileVersionInfo::ReadTranslation()
{
    if (!valid)
        return false;
    void* table = nullptr;
    UINT length = 0;
    wchar_t translationPath[] = L"\\VarFileInfo\\Translation";
    if (Version().VerQueryValueW(versionData.get(), translationPath, &table, &length) && table != nullptr &&
        WithinBuffer(versionData.get(), versionSize, table, length)) {
        translations = static_cast<const DWORD*>(table);
        translationCount = length / sizeof(DWORD);
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
    truncated = false;
}
