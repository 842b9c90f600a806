// The removal of an installed product, worked out from the record its
// installations left in the installation folder: files deleted, shared
// components given back their count (and deleted, unregistered first, only
// when no other product counts them), the folders the product made, its
// registry entries. Shown through a progress view, written to the log.
#pragma once

#include "engine/InstallationRecord.h"

#include <string>

class InstallLog;
class ProgressView;

class Removal {
public:
    // program is the removal's own copy of the program, which it leaves to
    // the restart (it is running).
    Removal(std::string installDir, std::string program, InstallLog& log);
    Removal(const Removal&) = delete;
    Removal& operator=(const Removal&) = delete;

    // False when no installation is recorded in the folder.
    bool Load();
    const ProductIdentity& Product() const { return record_.product; }

    // Removes what the record names, shown through the view. Returns the exit
    // code: 0, or 3010 when something completes at the restart, or 1603 when
    // something failed (the record and the entry of Programs and Features then
    // stay, for another try).
    int Run(ProgressView& view);

private:
    // Deletes a file; false when it is still there and not left to the restart.
    bool RemoveFile(const std::string& path);
    // A shared file: its count goes down by this product's one; at zero it
    // is unregistered, when the product registered it, and deleted. False
    // when it could not be done.
    bool ReleaseShared(const RecordEntry& entry);
    bool Unregister(const std::string& path);
    void WriteLog(const std::string& message);
    void Show(const std::string& path, size_t done, size_t total);

    std::string installDir_;
    std::string program_;
    InstallLog& log_;
    ProgressView* view_ = nullptr;
    InstallationRecord record_;
    int failures_ = 0;
    bool restartNeeded_ = false;
};
