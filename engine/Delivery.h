// The delivery folder a run installs from: its description file and the two
// source folders beside it.
#pragma once

#include <string>

class Delivery {
public:
    // The folder as a full path without a trailing backslash, and the
    // program started from it, when there is one.
    explicit Delivery(std::string folder, std::string program = std::string());

    const std::string& Folder() const { return folder_; }
    const std::string& ProgramPath() const { return program_; }
    std::string DescriptionPath() const;
    std::string ApplicationFilesFolder() const; // FilesToCopy
    std::string SystemFilesFolder() const;      // SysFile

    // One value of the description file, read afresh at every call: at most
    // 255 characters, empty when absent. A text shown to the user turns each
    // "\n" pair into a line break; a value naming a folder or a key does not.
    std::string ReadInstallValue(const std::string& section, const std::string& key) const;
    std::string ReadInstallPath(const std::string& section, const std::string& key) const;

private:
    std::string folder_;
    std::string program_;
};
