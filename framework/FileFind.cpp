#include "framework/FileFind.h"

#include "framework/Text.h"

bool CFileFind::FindFile(const std::string& pattern)
{
    Close();
    m_find.Reset(::FindFirstFileW(Wide(pattern).c_str(), &m_next));
    m_error = m_find ? ERROR_SUCCESS : ::GetLastError();
    if (!m_find)
        return false;
    m_hasNext = true;
    const size_t slash = pattern.find_last_of("\\/:");
    m_root = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    return true;
}

bool CFileFind::FindNextFile()
{
    if (!m_hasNext)
        return false;
    m_current = m_next;
    m_hasNext = ::FindNextFileW(m_find.Get(), &m_next) != FALSE;
    return m_hasNext;
}

void CFileFind::Close()
{
    m_find.Reset();
    m_hasNext = false;
}

std::string CFileFind::GetFileName() const
{
    return Utf8(m_current.cFileName);
}

std::string CFileFind::GetFilePath() const
{
    return m_root + GetFileName();
}

bool CFileFind::IsDots() const
{
    return IsDirectory() && (lstrcmpW(m_current.cFileName, L".") == 0 || lstrcmpW(m_current.cFileName, L"..") == 0);
}
