// Installatore.log, and the creation of the folders it and the passes need.
#pragma once

#include "framework/Handles.h"

#include <string>
#include <vector>

// The installation log: one time-stamped line per event, appended and flushed
// at once, so that a run cut short still leaves every line it wrote. The file
// holds Windows-1252 bytes; a character of a message (a file's name) that
// the code page cannot hold is written as "?" there, and only there.
class InstallLog {
public:
    InstallLog() = default;
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;

    // Opens the file for appending; a log already open is closed first.
    bool Open(const std::string& path);
    void Close() { file_.Reset(); }
    bool IsOpen() const { return static_cast<bool>(file_); }

    // Nothing is written while the log is closed. The message is UTF-8.
    void WriteLog(const std::string& message);
    // A message already in Windows-1252, written without allocating: what an
    // exception handler may call.
    void WriteLogBytes(const char* message) noexcept;

private:
    CrtFile file_;
};

// Makes the folder and every missing parent, silently: folders that exist,
// roots and folders that cannot be made are passed over. Each folder it made
// is added to created, when given, parents first.
void CreateDirectoryPath(const std::string& path, std::vector<std::string>* created = nullptr);
