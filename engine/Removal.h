// The removal of an installed product. The record its installations left in
// the installation folder says what to remove, but only once the machine
// confirms it, where only administrators write: the product's entry of
// Programs and Features (found by the folder it names) holds the record's
// digest and the product key. Files are deleted, shared components given
// back their count (and deleted, unregistered first, only when this product
// copied them and no other counts them), the folders the product made and
// its registry entries removed. Each count given back is noted first, so
// that a removal stopped anywhere and run again gives it back once. Shown
// through a progress view, written to the log.
#pragma once

#include "engine/InstallationRecord.h"
#include "engine/RecordKeeper.h"

#include <map>
#include <string>
#include <vector>

class InstallLog;
class ProgressView;

class Removal {
public:
    // folder is where the program runs from: the product's home (or the
    // installation folder of an installation made before homes); program is
    // the removal's own copy of the program, which it leaves to the restart
    // (it is running).
    Removal(std::string folder, std::string program, InstallLog& log);
    Removal(const Removal&) = delete;
    Removal& operator=(const Removal&) = delete;

    enum class Found {
        Nothing,   // no installation is recorded for the folder
        Installed, // a record that the machine confirms
        Refused,   // something is recorded, and cannot be trusted or read
    };
    Found Load();
    const ProductIdentity& Product() const { return record_.product; }
    // The installation folder, where the log lies: the entry's InstallLocation.
    const std::string& InstallDir() const { return installDir_; }

    // Removes what the record names, shown through the view. Returns the exit
    // code: 0, or 3010 when something completes at the restart, or 1603 when
    // something failed or was refused (the record and the entry of Programs
    // and Features then stay, naming what is left, for another try).
    int Run(ProgressView& view);

private:
    // How a file of the record was dealt with.
    enum class Outcome { Done, Kept, Failed };

    Outcome RemoveEntry(RecordEntry& entry);
    // Deletes a file; Failed when it is still there and not left to the restart.
    Outcome RemoveFile(const std::string& path);
    // A shared file: its count goes down by this product's one; at zero the
    // product's own copy is unregistered, when the product registered it,
    // and deleted.
    Outcome ReleaseShared(RecordEntry& entry);
    bool Unregister(const std::string& path);
    // Work the restart would do on the product's file: a new copy waiting to
    // take its place, a registration. Taken back before the file goes.
    void TakeBackRestartWork(const RecordEntry& entry);
    // The reason a path is not acted on (empty when it may be): it must be
    // full and plain, reached through no link, and lie where the product puts
    // its files.
    std::string RefusalOf(const RecordEntry& entry);
    // The entry, the product key, the record: what the registry keeps of the
    // product, removed last, once the files are done with.
    bool RemoveRegistration();
    void WriteLog(const std::string& message);
    void Show(const std::string& path, size_t done, size_t total);

    std::string folder_;
    std::string installDir_;
    // The program runs from the product's home, which goes with it.
    bool homed_ = false;
    std::string program_;
    InstallLog& log_;
    ProgressView* view_ = nullptr;
    InstallationRecord record_;
    RecordKeeper keeper_{ std::string(), std::string() };
    bool finishing_ = false;
    // Why the removal is refused, with the system's reason when there is one.
    std::string refusal_;
    unsigned long refusalError_ = 0;
    // Where the product puts its files.
    std::vector<std::string> roots_;
    // Folders looked at for a link on the way, by their path in capitals.
    std::map<std::string, bool> linkedFolders_;
    int failures_ = 0;
    bool restartNeeded_ = false;
};
