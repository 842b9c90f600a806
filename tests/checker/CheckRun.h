// LumoCheck.exe started as a packager starts it, its output read through a
// pipe (so as the bytes it writes) and its exit code; and the delivery folders
// the checker tests build.
#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <string>
#include <vector>

namespace lumo_check_test {

struct CheckRun {
    bool started = false;
    DWORD startError = 0; // why it could not start
    bool ended = false; // within the time allowed
    DWORD exitCode = 0;
    std::vector<std::string> lines; // Windows-1252, without line ends
    std::string output;             // every byte written
    // The 64-bit build's first line, which says it is a test build; it is
    // not among the lines.
    bool testBuildLine = false;
};

// arguments follow the program's quoted path; currentDir empty keeps ours.
CheckRun RunLumoCheck(const std::string& arguments, const std::string& currentDir = "");

// One finding line taken apart: "ERRORE LC001 SysFile\a.dll: ...".
struct FindingLine {
    std::string severity;
    std::string code;
    std::string subject;
    std::string message;
};
// The finding lines of a run (every line before the last); a line of another
// form fails the test that asked.
std::vector<FindingLine> Findings(const CheckRun& run);

// The lines of the plan about one pass, as "source -> rest".
struct PlanRow {
    std::string source; // "SysFile\a.dll"
    std::string target;
    std::vector<std::string> fields; // after the target, for system files
    std::string unlistable;          // a folder the pass cannot list, instead of a file
    bool leadsBack = false;          // that folder is a link back to one that holds it
};
std::vector<PlanRow> PlanRows(const CheckRun& run, const std::string& sourceFolder);
// One value of the plan's registry section, below its key.
struct PlanRegistryValue {
    std::string key;  // below HKEY_LOCAL_MACHINE
    std::string name;
    std::string value; // empty for one the run removes
    std::string note;  // what the parenthesis after a one-word value says
    bool removed = false;
};
std::vector<PlanRegistryValue> PlanRegistry(const CheckRun& run);
// The value after "label: " on the line that starts with it; empty when none.
std::string PlanValue(const CheckRun& run, const std::string& label);

// A folder chain below base whose innermost folder, 271 characters long,
// cannot be listed while its parent, 240 long, can: well clear of MAX_PATH on
// both sides (Wine still lists a folder whose pattern is just at the limit).
constexpr size_t kUnlistableLength = 271;
std::string MakeUnlistableFolder(const std::string& base);
// Removes the (empty) chain that MakeUnlistableFolder made, innermost first.
void RemoveDeepFolder(const std::string& base, const std::string& relative);

// A folder straight below C:\, for paths that must stay short on the source
// side; removed with all it holds.
class ShortRoot {
public:
    ShortRoot();
    ~ShortRoot();
    ShortRoot(const ShortRoot&) = delete;
    ShortRoot& operator=(const ShortRoot&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace lumo_check_test
