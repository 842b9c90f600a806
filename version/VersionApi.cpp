#include "version/VersionApi.h"

#include <string>

namespace {

template <class Function>
void Find(HMODULE library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

VersionApi Load()
{
    VersionApi api;
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, sizeof(folder));
    if (length == 0 || length >= sizeof(folder))
        return api;
    // By full path: no search, so nothing beside the program is ever considered.
    // Kept loaded for the life of the process.
    const HMODULE library = ::LoadLibraryExA((std::string(folder, length) + "\\version.dll").c_str(), nullptr, 0);
    if (library == nullptr)
        return api;
    Find(library, "GetFileVersionInfoSizeA", api.GetFileVersionInfoSizeA);
    Find(library, "GetFileVersionInfoA", api.GetFileVersionInfoA);
    Find(library, "VerQueryValueA", api.VerQueryValueA);
    return api;
}

} // namespace

const VersionApi& Version()
{
    static const VersionApi api = Load();
    return api;
}
