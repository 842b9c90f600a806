#include "engine/FileReplace.h"

#include "engine/BackgroundCopy.h"
#include "framework/Path.h"
#include "framework/Text.h"

namespace {

// Names of the program's own beside a target: never a user's file.
constexpr char kNewSuffix[] = ".LumoInstall-nuovo";
constexpr char kOldSuffix[] = ".LumoInstall-vecchio";

// A name beside a target may pass the platform's path limit where the target
// does not; the long form of the path takes it anyway.
std::string LongForm(const std::string& path)
{
    if (!ExceedsPathLimit(path))
        return path;
    if (path.compare(0, 2, "\\\\") == 0)
        return "\\\\?\\UNC\\" + path.substr(2);
    return "\\\\?\\" + path;
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Remove(const std::string& path)
{
    const std::wstring wide = Wide(path);
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(wide.c_str()) != FALSE;
}

bool Move(const std::string& from, const std::string& to, DWORD flags)
{
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags) != FALSE;
}

// What the platform answers when a file is open or loaded elsewhere.
bool InUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

// A free name to set the target aside under: an earlier run's may still wait
// for its restart.
std::string AsidePath(const std::string& target)
{
    for (int n = 0; n < 1000; ++n) {
        const std::string path = LongForm(target + (n == 0 ? std::string() : "-" + std::to_string(n)) + kOldSuffix);
        if (!Exists(path))
            return path;
    }
    return std::string();
}

ReplaceOutcome Outcome(Replacement replacement, DWORD error = ERROR_SUCCESS)
{
    ReplaceOutcome outcome;
    outcome.replacement = replacement;
    outcome.error = error;
    return outcome;
}

} // namespace

std::string ReplacementTempPath(const std::string& target)
{
    return LongForm(target + kNewSuffix);
}

std::string RealPath(const std::string& path)
{
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64)
        return path;
    wchar_t system[MAX_PATH] = {};
    wchar_t system32Bit[MAX_PATH] = {};
    const UINT systemLength = ::GetSystemDirectoryW(system, MAX_PATH);
    const UINT length32 = ::GetSystemWow64DirectoryW(system32Bit, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || length32 == 0 || length32 >= MAX_PATH)
        return path;
    const std::string folder = Utf8(std::wstring(system, systemLength)) + "\\";
    if (path.size() <= folder.size() || !EqualIgnoringCase(path.substr(0, folder.size()), folder))
        return path;
    return Utf8(std::wstring(system32Bit, length32)) + "\\" + path.substr(folder.size());
}

bool DeleteAtRestart(const std::string& path)
{
    return ::MoveFileExW(Wide(RealPath(path)).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

ReplaceOutcome ReplaceFileWhole(BackgroundCopy& copier, const std::string& source, const std::string& target)
{
    // A path beyond the platform's limit fails as the platform fails it.
    if (ExceedsPathLimit(source) || ExceedsPathLimit(target))
        return Outcome(Replacement::Failed, ERROR_FILENAME_EXCED_RANGE);

    // A folder in the file's place is never replaced.
    const DWORD targetAttributes = ::GetFileAttributesW(Wide(target).c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Outcome(Replacement::Failed, ERROR_ACCESS_DENIED);

    // A name of this program's own: whatever an ended run left there goes.
    const std::string temp = ReplacementTempPath(target);
    Remove(temp);
    if (!copier.Copy(source, temp)) {
        const DWORD error = ::GetLastError();
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }
    constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (Move(temp, target, kReplace))
        return Outcome(Replacement::Done);

    DWORD error = ::GetLastError();
    // A read-only target is refused as it always was, not worked around.
    const bool readOnly =
        targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!InUse(error) || readOnly) {
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }

    // In use: a loaded library can still be renamed within its folder.
    const std::string aside = AsidePath(target);
    if (!aside.empty() && Move(target, aside, MOVEFILE_WRITE_THROUGH)) {
        if (Move(temp, target, kReplace)) {
            if (Remove(aside))
                return Outcome(Replacement::Done);
            return Outcome(DeleteAtRestart(aside) ? Replacement::OldDeletedAtRestart : Replacement::Done);
        }
        error = ::GetLastError();
        // The target must never go missing: the old file goes back.
        Move(aside, target, MOVEFILE_WRITE_THROUGH);
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }

    // Not even a rename: the new file waits beside the target for the restart.
    if (::MoveFileExW(Wide(RealPath(temp)).c_str(), Wide(RealPath(target)).c_str(),
                      MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return Outcome(Replacement::NewAtRestart);
    error = ::GetLastError();
    Remove(temp);
    return Outcome(Replacement::Failed, error);
}
