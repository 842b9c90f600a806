#include "engine/SelfRegister.h"

#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

#include <vector>

namespace {

// The path made absolute against the current folder, as the copy that put
// the file there resolved it; unchanged when it cannot be.
std::wstring FullPath(const std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            break;
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
    return path;
}

// A component's own imports come from its own folder and the system folder,
// never from the delivery folder the installer was started from.
HMODULE LoadComponent(const std::string& path)
{
    if (ExceedsPathLimit(path))
        return nullptr;
    const std::wstring full = FullPath(Wide(path));
    HMODULE library =
        ::LoadLibraryExW(full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without these search flags refuse them as a parameter error.
    if (library == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        library = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library;
}

} // namespace

RegisterResult SelfRegister(const std::string& path)
{
    // No system error box may stop an unattended run on a broken component.
    DWORD previousMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    // Never unloaded: a registered component may have left callbacks behind.
    HMODULE library = LoadComponent(path);
    ::SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr)
        return RegisterNotLoadable;

    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(library, "DllRegisterServer")));
    if (entry == nullptr)
        return RegisterNoEntryPoint;
    return entry() >= 0 ? RegisterOk : RegisterFailed;
}
