#include "engine/SelfRegister.h"

#include "engine/FileReplace.h"
#include "engine/Log.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <windows.h>

namespace {

// A component's own imports come from its own folder and the system folder,
// never from the delivery folder the installer was started from.
HMODULE LoadComponent(const std::string& path)
{
    if (ExceedsPathLimit(path)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    const std::wstring full = FullPath(Wide(path));
    HMODULE library =
        ::LoadLibraryExW(full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without these search flags refuse them as a parameter error.
    if (library == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        library = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library;
}

// The component loaded, or null with the reason noted.
HMODULE LoadQuietly(const std::string& path, RegisterDetail* detail)
{
    // No system error box may stop an unattended run on a broken component.
    DWORD previousMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE library = LoadComponent(path);
    const DWORD error = ::GetLastError();
    ::SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr && detail != nullptr)
        detail->error = error;
    return library;
}

// Calls the entry point of a loaded component, noting why it did not succeed.
RegisterResult CallEntry(HMODULE library, const std::string& path, const char* name, RegisterDetail* detail)
{
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    if (entry == nullptr) {
        if (detail != nullptr)
            detail->error = ::GetLastError();
        return RegisterNoEntryPoint;
    }
    machine::RunComponentCode(name, Wide(path));
    const HRESULT result = entry();
    if (result >= 0)
        return RegisterOk;
    if (detail != nullptr)
        detail->result = result;
    return RegisterFailed;
}

} // namespace

RegisterResult SelfRegister(const std::string& path, RegisterDetail* detail)
{
    // Never unloaded: a registered component may have left callbacks behind.
    HMODULE library = LoadQuietly(path, detail);
    if (library == nullptr)
        return RegisterNotLoadable;
    return CallEntry(library, path, "DllRegisterServer", detail);
}

RegisterResult SelfUnregister(const std::string& path, RegisterDetail* detail)
{
    HMODULE library = LoadQuietly(path, detail);
    if (library == nullptr)
        return RegisterNotLoadable;
    const RegisterResult result = CallEntry(library, path, "DllUnregisterServer", detail);
    // Unregistered, it holds nothing more: unloaded, as the system registrar
    // does, so that the file can go.
    ::FreeLibrary(library);
    return result;
}

namespace {

// The registrar that loads components of this program's own bitness.
std::wstring RegistrarPath()
{
    wchar_t folder[MAX_PATH] = {};
    UINT length = 0;
#ifndef _WIN64
    // On 64-bit Windows the 32-bit registrar lies in the 32-bit system folder.
    length = ::GetSystemWow64DirectoryW(folder, MAX_PATH);
#endif
    if (length == 0 || length >= MAX_PATH)
        length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(folder, length) + L"\\regsvr32.exe";
}

} // namespace

namespace {

constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The value of the machine's RunOnce key that registers the component.
std::wstring RunOnceName(const std::string& path)
{
    // The restart runs this key as a 64-bit process, which sees the real
    // names of the folders.
    return L"LumoInstall " + Wide(RealPath(path));
}

} // namespace

bool ScheduleRegistration(const std::string& path, unsigned long* error)
{
    auto failed = [error](unsigned long code) {
        if (error != nullptr)
            *error = code;
        return false;
    };
    const std::wstring registrar = RegistrarPath();
    if (registrar.empty())
        return failed(::GetLastError());
    const std::wstring component = Wide(RealPath(path));
    const std::wstring command = L"\"" + registrar + L"\" /s \"" + component + L"\"";
    HKEY key = nullptr;
    const LONG opened = machine::MakeKey(HKEY_LOCAL_MACHINE, kRunOnce, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
    if (opened != ERROR_SUCCESS)
        return failed(static_cast<unsigned long>(opened));
    const LONG status = machine::SetValue(key, RunOnceName(path), REG_SZ, command.c_str(),
                                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS || failed(static_cast<unsigned long>(status));
}

void ForgetRegistrationAtRestart(const std::string& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return;
    const std::wstring name = RunOnceName(path);
    if (::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        machine::RemoveValue(key, name);
    ::RegCloseKey(key);
}

void LogRegistrationResult(InstallLog& log, RegisterResult result, const RegisterDetail& detail,
                           const std::string& path, bool unregistering)
{
    const std::string de = unregistering ? "DE" : "";
    switch (result) {
    case RegisterOk:
        log.WriteLog("  FILE: " + path + " " + de + "REGISTRATO CORRETTAMENTE");
        break;
    case RegisterNotLoadable:
        log.WriteLog("  IL FILE: " + path + " NON PUO' ESSERE CARICATO E QUINDI " + de + "REGISTRATO");
        log.WriteErrorReason(detail.error);
        break;
    case RegisterNoEntryPoint:
        log.WriteLog("  PER IL FILE DA " + de + "REGISTRARE: " + path + " NON E' STATO TROVATO IL PUNTO DI INGRESSO");
        log.WriteErrorReason(detail.error);
        break;
    case RegisterFailed:
        log.WriteLog("  LA " + de + "REGISTRAZIONE DEL FILE: " + path + " NON E' AVVENUTA CORRETTAMENTE");
        log.WriteResultReason(detail.result);
        break;
    }
}
