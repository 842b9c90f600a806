#include "engine/FolderWalk.h"

#include "engine/Rules.h"
#include "framework/FileFind.h"
#include "framework/Handles.h"
#include "framework/Text.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

// A folder as the file system knows it, whatever name or link leads to it.
struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool known = false;

    bool operator==(const FolderIdentity& other) const
    {
        return known && other.known && volume == other.volume && indexHigh == other.indexHigh &&
               indexLow == other.indexLow;
    }
};

FolderIdentity IdentityOf(const std::string& folder)
{
    FolderIdentity identity;
    const FileHandle handle(::CreateFileW(Wide(folder).c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle && ::GetFileInformationByHandle(handle.Get(), &information)) {
        identity.volume = information.dwVolumeSerialNumber;
        identity.indexHigh = information.nFileIndexHigh;
        identity.indexLow = information.nFileIndexLow;
        identity.known = true;
    }
    return identity;
}

// The folders being walked, from the top down to the current one.
using Ancestors = std::vector<FolderIdentity>;

bool WalkLevel(const std::string& source, const std::string& target, FolderVisitor& visitor, size_t depth,
               Ancestors& ancestors)
{
    try {
        visitor.BeginFolder(source, target, depth);

        CFileFind finder;
        const std::string pattern = source + "\\*.*";
        const size_t patternLength = PathLength(pattern);
        // A pattern beyond the platform's limit is never searched: where the
        // system would take it, it still fails as where it would not.
        bool more = patternLength < MAX_PATH && finder.FindFile(pattern);
        if (!more && IsUnlistableFolder(patternLength, finder.SearchError()))
            visitor.FolderUnlistable(source, FolderProblem::CannotList,
                                     patternLength < MAX_PATH ? finder.SearchError() : ERROR_FILENAME_EXCED_RANGE);
        visitor.FolderListed();

        while (more) {
            more = finder.FindNextFile();
            MaybeInjectFault(visitor.FaultPoint());
            const std::string name = finder.GetFileName();
            if (finder.IsDirectory()) {
                if (finder.IsDots())
                    continue;
                const std::string path = finder.GetFilePath();
                const FolderIdentity identity = IdentityOf(path);
                if (std::find(ancestors.begin(), ancestors.end(), identity) != ancestors.end()) {
                    visitor.FolderUnlistable(path, FolderProblem::LeadsBack, ERROR_CANT_RESOLVE_FILENAME);
                    continue;
                }
                const std::string folder = target + "\\" + name;
                visitor.EnterFolder(folder);
                ancestors.push_back(identity);
                WalkLevel(path, folder, visitor, depth + 1, ancestors);
                ancestors.pop_back();
                continue;
            }
            visitor.VisitFile(finder.GetFilePath(), name, target, depth);
        }
        finder.Close();
        visitor.EndFolder();
        return true;
    } catch (...) {
        visitor.FolderInterrupted();
        return false;
    }
}

} // namespace

bool WalkFolder(const std::string& source, const std::string& target, FolderVisitor& visitor)
{
    Ancestors ancestors;
    try {
        ancestors.push_back(IdentityOf(source));
    } catch (...) {
        visitor.FolderInterrupted();
        return false;
    }
    return WalkLevel(source, target, visitor, 0, ancestors);
}

#ifdef LUMO_FAULT_INJECTION
void MaybeInjectFault(const char* where)
{
    char wanted[64] = {};
    if (::GetEnvironmentVariableA("LUMO_INJECT_FAULT", wanted, sizeof(wanted)) > 0 && lstrcmpiA(wanted, where) == 0)
        throw std::runtime_error(where);
}
#endif
