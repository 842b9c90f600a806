// The fixed record of a file's version resource, copied out of the resource.
#pragma once

#include <windows.h>

#include <memory>

class FileVersionInfo {
public:
    FileVersionInfo();
    virtual ~FileVersionInfo();
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    // Reads the version resource of the file (a UTF-8 path); true when a
    // signed fixed record and a translation table were found. After a
    // failure every word is zero.
    bool Read(const char* path);
    bool ReadFixedInfo(const char* path);
    bool ReadTranslation();
    void Reset();

    const VS_FIXEDFILEINFO& GetFixedInfo() const { return fixedInfo; }
    const DWORD* GetTranslations() const { return translations; }
    UINT GetTranslationCount() const { return translationCount; }
    bool IsValid() const { return valid != 0; }
    const BYTE* GetVersionData() const { return versionData.get(); }
    // The file read is shorter than its own headers say.
    bool IsTruncated() const { return truncated; }

private:
    VS_FIXEDFILEINFO fixedInfo{};
    std::unique_ptr<BYTE[]> versionData;
    DWORD versionSize = 0;
    const DWORD* translations = nullptr;
    UINT translationCount = 0;
    BOOL valid = FALSE;
    bool truncated = false;
};
