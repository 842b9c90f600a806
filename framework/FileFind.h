// Folder enumeration in the manner of the classic file finder: FindNextFile
// moves to the next entry and tells whether another one follows it. Names and
// paths are UTF-8; the search runs through the wide functions, so a name is
// found as it is, whatever the code page.
#pragma once

#include "framework/Handles.h"

#include <windows.h>
#include <string>

class CFileFind {
public:
    CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search; true when the pattern matches at least one entry.
    bool FindFile(const std::string& pattern);
    // Why the last FindFile found nothing (the platform's error code).
    DWORD SearchError() const { return m_error; }
    // Makes the next entry current; false when the current one is the last.
    bool FindNextFile();
    void Close();

    std::string GetFileName() const;
    std::string GetFilePath() const;
    bool IsDirectory() const { return (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsDots() const;

private:
    FindHandle m_find;
    WIN32_FIND_DATAW m_next{};
    WIN32_FIND_DATAW m_current{};
    bool m_hasNext = false;
    DWORD m_error = ERROR_SUCCESS;
    std::string m_root;
};
