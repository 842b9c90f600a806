#include "engine/FileReplace.h"

#include "engine/BackgroundCopy.h"
#include "engine/OwnPlaces.h"
#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>


namespace {

// Names of the program's own: never a user's file or folder.
constexpr char kTempFolder[] = "~LumoInstall";
constexpr char kWaitingSuffix[] = ".LumoInstall-nuovo";
constexpr char kOldSuffix[] = ".LumoInstall-vecchio";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

bool EndsWith(const std::string& text, const char* end)
{
    const size_t length = std::strlen(end);
    return text.size() >= length && EqualIgnoringCase(text.substr(text.size() - length), end);
}

// "\??\C:\..." as the restart reads a name, without its prefix.
std::wstring StripNtPrefix(const std::wstring& name)
{
    return name.compare(0, 4, L"\\??\\") == 0 ? name.substr(4) : name;
}

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

bool Move(const std::string& from, const std::string& to, DWORD flags)
{
    return machine::Move(Wide(from), Wide(to), flags);
}

// The new file takes the target's place in one rename, through the handle it
// was written through: not MoveFileEx, which looks the target up once more
// first (a failed lookup in a folder of thousands of files is dearer than the
// rename), nor a second open of the new file, which a scanner could refuse.
// A target in use, read-only or a folder is refused the same way. When asked,
// the new file is on the disk before it takes the name, so that a power cut
// cannot leave a target of the right size and nothing in it.
bool FlushAndRenameOver(HANDLE file, const std::string& to, bool flush, bool replace, HANDLE in)
{
    return (!flush || ::FlushFileBuffers(file)) && machine::RenameOver(file, Wide(to), replace, in);
}

// A target folder open for naming files in it. It resolves the way a full
// path to a file in it would, links on the way included: the folder's own
// checks are the installation's, made once, not repeated per file.
HANDLE OpenTargetFolder(const std::string& folder)
{
    return ::CreateFileW(Wide(LongForm(folder)).c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

ReplaceOutcome Outcome(Replacement replacement, DWORD error = ERROR_SUCCESS)
{
    ReplaceOutcome outcome;
    outcome.replacement = replacement;
    outcome.error = error;
    return outcome;
}

// The pairs of names the restart works through, as the key holds them, up
// to the list's end: a first name that is empty, since a deletion's second
// name is empty too. Read further, a rewritten list would keep empty pairs.
std::vector<std::pair<std::wstring, std::wstring>> ReadPendingPairs(HKEY key)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::vector<wchar_t> text;
    if (::RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        text.assign(size / sizeof(wchar_t) + 2, L'\0');
        if (::RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS)
            text.clear();
    }
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    // The two zeros past the value end the last name whatever the value holds.
    for (size_t at = 0; at + 2 < text.size() && text[at] != L'\0';) {
        std::wstring from(text.data() + at);
        at += from.size() + 1;
        std::wstring to(text.data() + at);
        at += to.size() + 1;
        pairs.emplace_back(std::move(from), std::move(to));
    }
    return pairs;
}

// One pair: the file, then where it goes ("!" first to replace what is
// there), or nothing for a deletion.
RestartOperation OperationOf(const std::wstring& from, const std::wstring& to)
{
    RestartOperation operation;
    operation.from = Utf8(StripNtPrefix(from));
    operation.to = Utf8(StripNtPrefix(!to.empty() && to[0] == L'!' ? to.substr(1) : to));
    return operation;
}

// The names of the program's temporary folder in a target folder, in the
// order they are tried.
constexpr int kTempFolderNames = 100;

std::string TemporaryFolderName(const std::string& targetFolder, int n)
{
    return targetFolder + "\\" + kTempFolder + (n == 0 ? "" : "-" + std::to_string(n));
}

bool IsTemporaryFolderName(const std::string& name)
{
    const size_t length = std::strlen(kTempFolder);
    if (name.size() < length || !EqualIgnoringCase(name.substr(0, length), kTempFolder))
        return false;
    if (name.size() == length)
        return true;
    const std::string number = name.substr(length + 1);
    return name[length] == '-' && !number.empty() && number.size() <= 2 && number[0] != '0' &&
           number.find_first_not_of("0123456789") == std::string::npos;
}

// A file found in a temporary folder that may not be the program's own (a
// user may have made the folder first and put a second name of someone
// else's file in it): deleted by its name, which removes that name and never
// the file's other names, and never written through. A read-only copy of
// the program's own is cleared through a handle that refuses second names.
void RemoveLeftoverFile(const std::string& path, DWORD attributes)
{
    const std::wstring wide = Wide(path);
    if (machine::RemoveFile(wide) || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return;
    const FileHandle file = OpenOwnFile(path, DELETE | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (file && machine::SetOpenFileAttributes(file.Get(), attributes & ~FILE_ATTRIBUTE_READONLY, wide))
        machine::RemoveOpenFile(file.Get(), wide);
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

FileReplacer::Place FileReplacer::TemporaryFolderFor(const std::string& targetFolder, DWORD& error)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    const std::string key = UpperText(targetFolder);
    const auto [at, added] = temporaryFolders_.try_emplace(key);
    TemporaryFolder& made = at->second;
    if (added) {
        // What a stopped run left in the folder goes first: a target it set
        // aside and never replaced comes back.
        if (newFolders_.count(key) == 0)
            RepairLeftoversIn(targetFolder);
        made.target.Reset(OpenTargetFolder(targetFolder));
        // A folder that is not there fails its files as a path not found.
        const DWORD openError = ::GetLastError();
        made.error = made.target ? kLinkRefused : openError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : openError;
        // Always a folder made now, with the administrators' list from its
        // first instant: a name that is taken, by a leftover, a user's folder
        // or a link, is passed by, so nothing anyone made first is written in.
        for (int n = 0; made.target && n < kTempFolderNames && made.path.empty(); ++n) {
            const std::string candidate = TemporaryFolderName(targetFolder, n);
            made.folder.Reset(machine::MakeFolderIn(made.target.Get(), Wide(candidate), ProtectedFolderSddl()));
            if (made.folder) {
                made.path = candidate;
                break;
            }
            const DWORD failure = ::GetLastError();
            if (failure != ERROR_ALREADY_EXISTS && failure != ERROR_FILE_EXISTS) {
                // The copies into it fail with the platform's reason.
                made.error = failure;
                break;
            }
            // A leftover goes now, so that the names do not pile up run after run.
            if (IsLink(candidate)) {
                linksMet_.push_back(candidate);
                RemoveLinkItself(candidate);
            } else {
                RemoveTemporaryFolder(candidate);
            }
        }
        if (made.path.empty())
            made.target.Reset();
    }
    error = made.error;
    return Place{ made.path, made.target.Get(), made.folder.Get() };
}

void FileReplacer::FolderIsNew(const std::string& targetFolder)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    newFolders_.insert(UpperText(targetFolder));
}

std::vector<std::string> FileReplacer::TakeLinksMet()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return std::exchange(linksMet_, {});
}

HANDLE OpenSource(const std::string& path)
{
    return ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

ReplaceOutcome FileReplacer::Replace(const std::string& source, const std::string& target, bool flush,
                                     const TargetFound& found)
{
    // A path beyond the platform's limit fails as the platform fails it.
    if (ExceedsPathLimit(source) || ExceedsPathLimit(target))
        return Outcome(Replacement::Failed, ERROR_FILENAME_EXCED_RANGE);
    const FileHandle from(OpenSource(source));
    if (!from)
        return Outcome(Replacement::Failed, ::GetLastError());
    return Replace(from.Get(), target, flush, found);
}

ReplaceOutcome FileReplacer::Replace(HANDLE source, const std::string& target, bool flush, const TargetFound& found)
{
    if (ExceedsPathLimit(target))
        return Outcome(Replacement::Failed, ERROR_FILENAME_EXCED_RANGE);
    // The size that decides where the copy runs is the size of what is copied.
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(source, &size))
        return Outcome(Replacement::Failed, ::GetLastError());
    const ULONGLONG bytes = static_cast<ULONGLONG>(size.QuadPart);
    // A large file is copied, flushed and renamed off the window's thread:
    // each step takes as long as the file is large, and so does freeing the
    // old file the rename replaces.
    ReplaceOutcome outcome;
    if (!BackgroundCopy::WorthAThread(bytes)) {
        outcome = ReplaceHere(source, target, flush, found);
    } else {
        copier_.Run([&] {
            outcome = ReplaceHere(source, target, flush, found);
            return true;
        });
    }
    outcome.bytes = outcome.Copied() ? bytes : 0;
    return outcome;
}

ReplaceOutcome FileReplacer::ReplaceHere(HANDLE source, const std::string& target, bool flush,
                                         const TargetFound& found)
{
    // The program's folder beside the target; what an ended run left in it
    // is overwritten here and goes with the folder at the end.
    DWORD folderError = ERROR_SUCCESS;
    const Place place = TemporaryFolderFor(FolderOf(target), folderError);
    if (place.path.empty())
        return Outcome(Replacement::Failed, folderError);
    const std::string temp = LongForm(place.path + "\\" + NameOf(target));
    // Here: a large file's replacement as a whole runs on the copying thread.
    // A new file, never one found at the name.
    FileHandle file(machine::CopyToNewFile(source, Wide(temp), place.folder));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            DeleteProductFile(temp);
        return Outcome(Replacement::Failed, error);
    }
    // A rename within one volume, without MOVEFILE_WRITE_THROUGH: that is
    // documented to matter only for a move made as a copy and a delete, and
    // Wine turns it into a flush of every file, dearer than the copy itself.
    if (FlushAndRenameOver(file.Get(), target, flush, !found, place.target))
        return Outcome(Replacement::Done);

    DWORD error = ::GetLastError();
    // The new file is only ever deleted by its name once its handle is closed.
    const auto failed = [&](DWORD why) {
        file.Reset();
        DeleteProductFile(temp);
        return Outcome(Replacement::Failed, why);
    };
    // Made by someone else since the caller looked: replaced like any target
    // that was there, once the caller has taken note.
    if (found && error == ERROR_ALREADY_EXISTS) {
        if (!found())
            return failed(::GetLastError());
        if (machine::RenameOver(file.Get(), Wide(target), true, place.target))
            return Outcome(Replacement::Done);
        error = ::GetLastError();
    }
    if (!InUse(error, target))
        return failed(error);

    // In use: a loaded library can still be renamed within its folder.
    std::string aside;
    for (int n = 0; n < 1000 && aside.empty(); ++n) {
        const std::string candidate = AsidePath(target, n);
        if (!PathExists(candidate))
            aside = candidate;
    }
    if (!aside.empty() && Move(target, aside, 0)) {
        if (machine::RenameOver(file.Get(), Wide(target))) {
            file.Reset();
            if (DeleteProductFile(aside))
                return Outcome(Replacement::Done);
            return Outcome(DeleteAtRestart(aside) ? Replacement::OldDeletedAtRestart : Replacement::Done);
        }
        error = ::GetLastError();
        // The target must never go missing: the old file goes back (or, if
        // even that fails, the next run puts it back before anything else).
        Move(aside, target, 0);
        return failed(error);
    }

    // Not even a rename: the new file waits beside the target for the restart.
    const std::string waiting = WaitingPath(target);
    if (machine::RenameOver(file.Get(), Wide(waiting))) {
        file.Reset();
        if (machine::Move(Wide(RealPath(waiting)), Wide(RealPath(target)),
                          MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
            return Outcome(Replacement::NewAtRestart);
    }
    error = ::GetLastError();
    file.Reset();
    DeleteProductFile(temp);
    DeleteProductFile(waiting);
    return Outcome(Replacement::Failed, error);
}

void FileReplacer::RemoveTemporaryFolders() noexcept
{
    const std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [key, folder] : temporaryFolders_) {
        // Closed first: a folder still open is only removed once nothing holds it.
        folder.folder.Reset();
        folder.target.Reset();
        if (!folder.path.empty())
            RemoveTemporaryFolder(folder.path);
    }
    temporaryFolders_.clear();
}

void RemoveTemporaryFolder(const std::string& folder) noexcept
{
    try {
        // Only a folder of the program's own is emptied: never one a link leads to.
        if (!IsFolder(folder) || IsLink(folder))
            return;
        const std::wstring wide = Wide(folder);
        // Empty when every file written in it took its target's place: then
        // no listing is needed.
        if (machine::RemoveFolder(wide) || ::GetLastError() != ERROR_DIR_NOT_EMPTY)
            return;
        WIN32_FIND_DATAW entry{};
        const FindHandle find(::FindFirstFileW((wide + L"\\*").c_str(), &entry));
        for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.Get(), &entry) != FALSE) {
            if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
                RemoveLeftoverFile(folder + "\\" + Utf8(entry.cFileName), entry.dwFileAttributes);
        }
        machine::RemoveFolder(wide);
    } catch (...) {
        // Left for the next run, which passes it by and removes it.
    }
}

void RemoveLeftoverTemporaryFolder(const std::string& targetFolder) noexcept
{
    try {
        // Every name the program may have taken: "~LumoInstall", "~LumoInstall-<n>".
        WIN32_FIND_DATAW entry{};
        const FindHandle find(::FindFirstFileW(Wide(targetFolder + "\\" + kTempFolder + "*").c_str(), &entry));
        std::vector<std::pair<std::string, DWORD>> found;
        for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.Get(), &entry) != FALSE)
            found.emplace_back(Utf8(entry.cFileName), entry.dwFileAttributes);
        for (const auto& [name, attributes] : found) {
            const std::string path = targetFolder + "\\" + name;
            if (!IsTemporaryFolderName(name) || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                continue;
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                RemoveLinkItself(path);
            else
                RemoveTemporaryFolder(path);
        }
    } catch (...) {
        // Left for the next run.
    }
}

void RepairLeftoversIn(const std::string& folder)
{
    // One look at the folder for every name of the program's own: a name
    // that is not there costs a search of the whole folder on some file
    // systems (Wine's among them), so they are not asked for one by one.
    std::map<std::string, std::vector<std::pair<int, std::string>>> setAside; // by target, with their numbers
    std::vector<std::string> waiting;
    const std::wstring pattern = Wide(folder) + L"\\*.LumoInstall-*";
    WIN32_FIND_DATAW found{};
    const FindHandle find(::FindFirstFileW(pattern.c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.Get(), &found) != FALSE) {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            continue;
        const std::string name = Utf8(found.cFileName);
        const std::string path = folder + "\\" + name;
        if (EndsWith(name, kWaitingSuffix)) {
            waiting.push_back(path.substr(0, path.size() - std::strlen(kWaitingSuffix)));
            continue;
        }
        if (!EndsWith(name, kOldSuffix))
            continue;
        // "<target>.LumoInstall-vecchio" or "<target>-<n>.LumoInstall-vecchio".
        std::string target = path.substr(0, path.size() - std::strlen(kOldSuffix));
        int n = 0;
        const size_t dash = target.rfind('-');
        if (dash != std::string::npos && dash + 1 < target.size() &&
            target.find_first_not_of("0123456789", dash + 1) == std::string::npos && target.size() - dash <= 4 &&
            AsidePath(target.substr(0, dash), std::stoi(target.substr(dash + 1))) == path &&
            !PathExists(target)) {
            n = std::stoi(target.substr(dash + 1));
            target.erase(dash);
        }
        setAside[UpperText(target)].emplace_back(n, target);
    }
    for (auto& [key, asides] : setAside) {
        std::sort(asides.begin(), asides.end());
        const std::string& target = asides.front().second;
        // The target missing: a stopped replacement took it away last, into
        // the file with the highest number.
        if (!PathExists(target)) {
            Move(AsidePath(target, asides.back().first), target, 0);
            asides.pop_back();
        }
        // The others are deleted at the restart; one whose deletion a stopped
        // run never asked for goes now, or then.
        for (const auto& [n, unused] : asides) {
            const std::string aside = AsidePath(target, n);
            if (!DeleteProductFile(aside) && !WaitsForRestart(aside))
                DeleteAtRestart(aside);
        }
    }
    // A new file left waiting by a run stopped before it asked the restart to
    // put it in place.
    for (const std::string& target : waiting) {
        const std::string path = WaitingPath(target);
        if (!WaitsForRestart(path))
            DeleteProductFile(path);
    }
}

std::vector<RestartOperation> PendingRestartOperations()
{
    std::vector<RestartOperation> operations;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return operations;
    const auto pairs = ReadPendingPairs(key);
    ::RegCloseKey(key);
    for (const auto& [from, to] : pairs)
        operations.push_back(OperationOf(from, to));
    return operations;
}

bool WaitsForRestart(const std::string& path)
{
    const std::string real = RealPath(path);
    for (const RestartOperation& operation : PendingRestartOperations()) {
        if (EqualIgnoringCase(operation.from, real))
            return true;
    }
    return false;
}

bool TakeBackRestartOperations(const std::function<bool(const RestartOperation&)>& picked)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY,
                        &key) != ERROR_SUCCESS)
        return true;
    std::wstring kept;
    bool changed = false;
    for (const auto& [from, to] : ReadPendingPairs(key)) {
        if (picked(OperationOf(from, to))) {
            changed = true;
            continue;
        }
        kept += from + L'\0' + to + L'\0';
    }
    bool written = true;
    if (changed) {
        kept += L'\0';
        written = machine::SetValue(key, kPendingRenames, REG_MULTI_SZ, kept.data(),
                                    static_cast<DWORD>(kept.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ::RegCloseKey(key);
    return written;
}

bool TakeBackDeletionsAtRestart(const std::vector<std::string>& paths)
{
    std::vector<std::string> real;
    for (const std::string& path : paths)
        real.push_back(RealPath(path));
    return TakeBackRestartOperations([&real](const RestartOperation& operation) {
        return operation.to.empty() && std::any_of(real.begin(), real.end(), [&](const std::string& path) {
                   return EqualIgnoringCase(operation.from, path);
               });
    });
}

bool DeleteProductFile(const std::string& path)
{
    const std::wstring wide = Wide(path);
    if (machine::RemoveFile(wide))
        return true;
    // The copy carried the source's attributes: a read-only file the product
    // placed is the product's all the same.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return false;
    machine::SetAttributes(wide, attributes & ~FILE_ATTRIBUTE_READONLY);
    return machine::RemoveFile(wide);
}

bool InUse(unsigned long error, const std::string& path)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE)
        return true;
    // Refused for a loaded library, as for a folder in the file's place or a
    // read-only file, which are never worked around.
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}
