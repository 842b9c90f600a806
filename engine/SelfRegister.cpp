#include "app/InstallerApp.h"

RegisterResult InstallerApp::SelfRegister(const std::string& path) const
{
    // No system error box may stop an unattended run on a broken component.
    DWORD previousMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    // Never unloaded: a registered component may have left callbacks behind.
    HMODULE library = ::LoadLibraryA(path.c_str());
    ::SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr)
        return RegisterNotLoadable;

    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(library, "DllRegisterServer")));
    if (entry == nullptr)
        return RegisterNoEntryPoint;
    return entry() >= 0 ? RegisterOk : RegisterFailed;
}
