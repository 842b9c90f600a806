// The delivery folder a run installs from: its description file and the two
// source folders beside it.
#pragma once

#include <string>

class Delivery {
public:
    // The folder as a full path without a trailing backslash.
    explicit Delivery(std::string folder);

    const std::string& Folder() const { return folder_; }
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
};
