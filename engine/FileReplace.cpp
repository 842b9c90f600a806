#include "engine/FileReplace.h"

#include "engine/BackgroundCopy.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"


namespace {

// Names of the program's own: never a user's file or folder.
constexpr char kTempFolder[] = "~LumoInstall";
constexpr char kWaitingSuffix[] = ".LumoInstall-nuovo";
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

bool Remove(const std::string& path)
{
    const std::wstring wide = Wide(path);
    if (machine::RemoveFile(wide))
        return true;
    machine::SetAttributes(wide, FILE_ATTRIBUTE_NORMAL);
    return machine::RemoveFile(wide);
}

bool Move(const std::string& from, const std::string& to, DWORD flags)
{
    return machine::Move(Wide(from), Wide(to), flags);
}

// The temporary file takes the target's place in one rename. Through its own
// handle, not MoveFileEx: that looks the target up once more first, and a
// failed lookup in a folder of thousands of files is dearer than the rename.
// A target in use, read-only or a folder is refused the same way.
bool RenameOver(const std::string& from, const std::string& to)
{
    const FileHandle file(::CreateFileW(Wide(from).c_str(), DELETE | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    return machine::RenameOver(file.Get(), Wide(to));
}

// What the platform answers when a file is open or loaded elsewhere.
bool InUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

bool IsFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
    return LongForm(FolderOf(target) + "\\" + kTempFolder + "\\" + NameOf(target));
}

std::string WaitingPath(const std::string& target)
{
    return LongForm(target + kWaitingSuffix);
}

std::string AsidePath(const std::string& target, int n)
{
    return LongForm(target + (n == 0 ? std::string() : "-" + std::to_string(n)) + kOldSuffix);
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
    return machine::Move(Wide(RealPath(path)), std::wstring(), MOVEFILE_DELAY_UNTIL_REBOOT);
}

ReplaceOutcome FileReplacer::Replace(const std::string& source, const std::string& target)
{
    // A path beyond the platform's limit fails as the platform fails it.
    if (ExceedsPathLimit(source) || ExceedsPathLimit(target))
        return Outcome(Replacement::Failed, ERROR_FILENAME_EXCED_RANGE);

    // The program's folder beside the target; what an ended run left in it
    // is overwritten here and goes with the folder at the end.
    const std::string temp = ReplacementTempPath(target);
    const std::string folder = FolderOf(temp);
    if (temporaryFolders_.insert(folder).second)
        machine::MakeFolder(Wide(folder));
    if (!copier_.Copy(source, temp)) {
        const DWORD error = ::GetLastError();
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }
    // A rename within one volume, without MOVEFILE_WRITE_THROUGH: that is
    // documented to matter only for a move made as a copy and a delete, and
    // Wine turns it into a flush of every file, dearer than the copy itself.
    if (RenameOver(temp, target))
        return Outcome(Replacement::Done);

    DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(Wide(target).c_str());
    // A folder in the file's place is never replaced, and a read-only target
    // is refused as it always was, not worked around.
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!InUse(error) || IsFolder(attributes) || readOnly) {
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }

    // In use: a loaded library can still be renamed within its folder.
    std::string aside;
    for (int n = 0; n < 1000 && aside.empty(); ++n) {
        const std::string candidate = AsidePath(target, n);
        if (!PathExists(candidate))
            aside = candidate;
    }
    if (!aside.empty() && Move(target, aside, 0)) {
        if (RenameOver(temp, target)) {
            if (Remove(aside))
                return Outcome(Replacement::Done);
            return Outcome(DeleteAtRestart(aside) ? Replacement::OldDeletedAtRestart : Replacement::Done);
        }
        error = ::GetLastError();
        // The target must never go missing: the old file goes back.
        Move(aside, target, 0);
        Remove(temp);
        return Outcome(Replacement::Failed, error);
    }

    // Not even a rename: the new file waits beside the target for the restart.
    const std::string waiting = WaitingPath(target);
    if (Move(temp, waiting, MOVEFILE_REPLACE_EXISTING) &&
        machine::Move(Wide(RealPath(waiting)), Wide(RealPath(target)),
                      MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return Outcome(Replacement::NewAtRestart);
    error = ::GetLastError();
    Remove(temp);
    Remove(waiting);
    return Outcome(Replacement::Failed, error);
}

void FileReplacer::RemoveTemporaryFolders() noexcept
{
    for (const std::string& folder : temporaryFolders_) {
        try {
            const std::wstring wide = Wide(folder);
            WIN32_FIND_DATAW entry{};
            const FindHandle find(::FindFirstFileW((wide + L"\\*").c_str(), &entry));
            for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.Get(), &entry) != FALSE) {
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    Remove(folder + "\\" + Utf8(entry.cFileName));
            }
            machine::RemoveFolder(wide);
        } catch (...) {
            // Left for the next run, which overwrites what it finds there.
        }
    }
    temporaryFolders_.clear();
}
