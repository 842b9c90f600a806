#include "version/FileVersionInfo.h"

#include "version/VersionApi.h"

#include <cstring>
#include <new>

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
    DWORD unused = 0;
    const DWORD size = api.GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
        return false;
    versionData.reset(new (std::nothrow) BYTE[size]);
    if (!versionData)
        return false;
    if (!api.GetFileVersionInfoA(path, 0, size, versionData.get()))
        return false;

    void* root = nullptr;
    UINT length = 0;
    char rootPath[] = "\\";
    // A root value shorter than the record counts as missing: nothing is read past it.
    if (!api.VerQueryValueA(versionData.get(), rootPath, &root, &length) || root == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
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
    char translationPath[] = "\\VarFileInfo\\Translation";
    if (Version().VerQueryValueA(versionData.get(), translationPath, &table, &length) && table != nullptr) {
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
}
