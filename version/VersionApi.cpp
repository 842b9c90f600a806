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
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return api;
    // By full path: no search, so nothing beside the program is ever considered.
    // Kept loaded for the life of the process.
    const HMODULE library = ::LoadLibraryExW((std::wstring(folder, length) + L"\\version.dll").c_str(), nullptr, 0);
    if (library == nullptr)
        return api;
    Find(library, "GetFileVersionInfoSizeW", api.GetFileVersionInfoSizeW);
    Find(library, "GetFileVersionInfoW", api.GetFileVersionInfoW);
    Find(library, "VerQueryValueW", api.VerQueryValueW);
    return api;
}

} // namespace

const VersionApi& Version()
{
    static const VersionApi api = Load();
    return api;
}
