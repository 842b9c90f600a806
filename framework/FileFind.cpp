#include "framework/FileFind.h"

bool CFileFind::FindFile(const std::string& pattern)
{
    Close();
    m_find.Reset(::FindFirstFileA(pattern.c_str(), &m_next));
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
    m_hasNext = ::FindNextFileA(m_find.Get(), &m_next) != FALSE;
    return m_hasNext;
}

void CFileFind::Close()
{
    m_find.Reset();
    m_hasNext = false;
}

std::string CFileFind::GetFilePath() const
{
    return m_root + m_current.cFileName;
}

bool CFileFind::IsDots() const
{
    return IsDirectory() && (lstrcmpiA(m_current.cFileName, ".") == 0 || lstrcmpiA(m_current.cFileName, "..") == 0);
}
