#include "engine/Log.h"

#include "engine/Folders.h"
#include "engine/OwnPlaces.h"

#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

bool SameFile(FILE* a, FILE* b)
{
    const auto handle = [](FILE* file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))); };
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return ::GetFileInformationByHandle(handle(a), &first) && ::GetFileInformationByHandle(handle(b), &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// The system's text for a code, on one line; empty when it has none.
std::string SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return std::string();
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    // A log line holds one line: a text of several joins them with a blank.
    const size_t end = text.find_last_not_of(L" \t\r\n");
    text.erase(end == std::wstring::npos ? 0 : end + 1);
    std::wstring joined;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != L'\r' && text[at] != L'\n')
            joined += text[at];
        else if (joined.empty() || joined.back() != L' ')
            joined += L' ';
    }
    return Utf8(joined);
}

std::string ReasonLine(const std::string& code, const std::string& text)
{
    return "    (errore " + code + (text.empty() ? std::string() : ": " + text) + ")";
}

// A file of the program's own to append to, opened as OpenOwnFile opens it:
// never through a link, never a second name of another file.
bool OpenAppending(const std::string& path, CrtFile& stream)
{
    stream.Reset();
    FileHandle handle = OpenOwnFile(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_ALWAYS);
    if (!handle)
        return false;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_APPEND | _O_TEXT);
    if (descriptor == -1)
        return false;
    handle.Release();
    FILE* opened = ::_fdopen(descriptor, "a");
    if (opened == nullptr) {
        ::_close(descriptor);
        return false;
    }
    stream.Reset(opened);
    return true;
}

} // namespace

bool InstallLog::Open(const std::string& path)
{
    // The log lies in the installation folder: never written through a link.
    OpenAppending(path, file_);
    fileIsCopy_ = SameFileAsCopy();
    return IsOpen();
}

bool InstallLog::OpenCopy(const std::string& path)
{
    copy_.Reset();
    fileIsCopy_ = false;
    // A relative name counts from the current folder, as on any command line.
    const std::string full = Utf8(FullPath(Wide(path)));
    const std::string folder = FolderOf(full);
    // The program writes there as SYSTEM: a folder on the way that is a link
    // could lead anywhere, so nothing is made or written through one.
    if (!LinkOnTheWay(full).empty()) {
        ::SetLastError(kLinkRefused);
        return false;
    }
    if (!folder.empty())
        CreateDirectoryPath(folder);
    if (!LinkOnTheWay(full).empty()) {
        ::SetLastError(kLinkRefused);
        return false;
    }
    OpenAppending(full, copy_);
    fileIsCopy_ = SameFileAsCopy();
    return HasCopy();
}

bool InstallLog::SameFileAsCopy() const
{
    return file_ && copy_ && SameFile(file_.Get(), copy_.Get());
}

void InstallLog::WriteLog(const std::string& message)
{
    WriteLogBytes(ToWindows1252(message).c_str());
}

void InstallLog::WriteLogBytes(const char* message) noexcept
{
    if (!file_ && !copy_)
        return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[64] = {};
    std::snprintf(stamp, sizeof(stamp), "[%d/%d/%d - %d:%d:%d:%d]", now.wMonth, now.wDay, now.wYear, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    FILE* const files[] = { file_.Get(), fileIsCopy_ ? nullptr : copy_.Get() };
    for (FILE* file : files) {
        if (file == nullptr)
            continue;
        std::fputs(stamp, file);
        // Written as data, never as a format: a file name may hold a percent sign.
        std::fputs(message, file);
        std::fputs("\n", file);
        std::fflush(file);
    }
}

void InstallLog::WriteCommandLine()
{
    WriteLog("  RIGA DI COMANDO: " + Utf8(::GetCommandLineW()));
}

void InstallLog::WriteExitCode(int exitCode)
{
    WriteLog("  CODICE DI USCITA: " + std::to_string(exitCode));
}

void InstallLog::WriteErrorReason(unsigned long error)
{
    WriteLog(ErrorReasonLine(error));
}

void InstallLog::WriteResultReason(long result)
{
    WriteLog(ResultReasonLine(result));
}

std::string ErrorReasonLine(unsigned long error)
{
    return ReasonLine(std::to_string(error), SystemText(error));
}

std::string ResultReasonLine(long result)
{
    char code[16] = {};
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(result));
    std::string text = SystemText(static_cast<DWORD>(result));
    // A system error carried as a result is known by its own code.
    if (text.empty() && HRESULT_FACILITY(result) == FACILITY_WIN32)
        text = SystemText(HRESULT_CODE(result));
    return ReasonLine(code, text);
}
