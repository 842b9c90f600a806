#include "engine/FolderWalk.h"

#include "engine/Rules.h"
#include "framework/FileFind.h"

#include <stdexcept>

bool WalkFolder(const std::string& source, const std::string& target, FolderVisitor& visitor, size_t depth)
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
            visitor.FolderUnlistable(source);
        visitor.FolderListed();

        while (more) {
            more = finder.FindNextFile();
            MaybeInjectFault(visitor.FaultPoint());
            const std::string name = finder.GetFileName();
            if (finder.IsDirectory()) {
                if (finder.IsDots())
                    continue;
                const std::string folder = target + "\\" + name;
                visitor.EnterFolder(folder);
                WalkFolder(finder.GetFilePath(), folder, visitor, depth + 1);
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

#ifdef LUMO_FAULT_INJECTION
void MaybeInjectFault(const char* where)
{
    char wanted[64] = {};
    if (::GetEnvironmentVariableA("LUMO_INJECT_FAULT", wanted, sizeof(wanted)) > 0 && lstrcmpiA(wanted, where) == 0)
        throw std::runtime_error(where);
}
#endif
