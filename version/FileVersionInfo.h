// The fixed record of a file's version resource, copied out of the resource.
#pragma once

#include "version/PeFile.h"

#include <windows.h>

#include <memory>

class FileVersionInfo {
public:
    FileVersionInfo();
    virtual ~FileVersionInfo();
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    // Reads the version resource of the file (a UTF-8 path) through the
    // bounded reader; true when a signed fixed record and a translation
    // table were found. After a failure every word is zero.
    bool Read(const char* path);
    // The same, from a file open for reading.
    bool ReadFrom(HANDLE file);
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
    // What the bounded reader found of the file last read, its version
    // block aside.
    const PeFile& Checked() const { return checked_; }

private:
    VS_FIXEDFILEINFO fixedInfo{};
    std::unique_ptr<BYTE[]> versionData;
    DWORD versionSize = 0;
    const DWORD* translations = nullptr;
    UINT translationCount = 0;
    // Where the block the reader checked holds its translation table.
    size_t translationOffset = 0;
    size_t translationBytes = 0;
    BOOL valid = FALSE;
    bool truncated = false;
    PeFile checked_;

    // The fixed record and the block out of checked_.
    bool TakeChecked();
};
