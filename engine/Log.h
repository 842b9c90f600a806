// Installatore.log, and the creation of the folders it and the passes need.
#pragma once

#include "framework/Handles.h"

#include <string>

// The installation log: one time-stamped line per event, appended and flushed
// at once, so that a run cut short still leaves every line it wrote. The file
// holds Windows-1252 bytes; a character of a message (a file's name) that
// the code page cannot hold is written as "?" there, and only there.
// Every line may go to a second file as well, the one an administrator names
// on the command line, with the same bytes and the same time stamp.
class InstallLog {
public:
    InstallLog() = default;
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;

    // Opens the file for appending; a log already open is closed first.
    bool Open(const std::string& path);
    void Close()
    {
        file_.Reset();
        fileIsCopy_ = false;
    }
    bool IsOpen() const { return static_cast<bool>(file_); }

    // Opens the second file for appending, made with its folder when
    // missing. It stays open whatever happens to the first one, and receives
    // lines even while that is closed (the reason of an early end). The same
    // file opened as both receives each line once.
    bool OpenCopy(const std::string& path);
    bool HasCopy() const { return static_cast<bool>(copy_); }

    // Nothing is written while both files are closed. The message is UTF-8.
    void WriteLog(const std::string& message);
    // A message already in Windows-1252, written without allocating: what an
    // exception handler may call.
    void WriteLogBytes(const char* message) noexcept;

    // The line under the opening marker of a run: the command line the
    // program was started with.
    void WriteCommandLine();
    // The line under the closing marker of a run: what the process ends with.
    void WriteExitCode(int exitCode);
    // The line under a failure: why it failed, as the system says it.
    void WriteErrorReason(unsigned long error);
    void WriteResultReason(long result);

private:
    bool SameFileAsCopy() const;

    CrtFile file_;
    CrtFile copy_;
    // The first file is the copy: each line is written once.
    bool fileIsCopy_ = false;
};

// "    (errore 32: <the system's text>)": the indented line that gives the
// reason of a failure, the platform's error code in decimal. Without a text
// for the code, the parenthesis holds the code alone.
std::string ErrorReasonLine(unsigned long error);
// The same for a result (HRESULT), in hexadecimal: "    (errore 0x80004005: ...)".
std::string ResultReasonLine(long result);
