#include "e2e/MachineState.h"

#include "TestSupport.h"
#include "e2e/Driver.h"
#include "e2e/E2eTest.h"
#include "framework/Text.h"

#include <gtest/gtest.h>
#include <shlobj.h>


namespace lumo_e2e {

std::string SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_SYSTEMX86, FALSE);
    return Utf8(folder);
}

long long RegistryNumber(const std::string& key, const std::string& name)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) !=
        ERROR_SUCCESS)
        return -1;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG status = ::RegGetValueW(opened, nullptr, Wide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
    ::RegCloseKey(opened);
    return status == ERROR_SUCCESS ? static_cast<long long>(value) : -1;
}

std::string RegistryText(const std::string& key, const std::string& name)
{
    std::string value;
    return lumo_test::ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, value) ? value : "(assente)";
}

void SetSharedCount(const std::string& path, DWORD count)
{
    lumo_test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kSharedDlls, path, REG_DWORD,
                                  std::string(reinterpret_cast<const char*>(&count), sizeof(count)));
}

void RestartWine()
{
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    const std::string program =
        std::string("C:\\windows\\") + (wow64 ? "sysnative" : "system32") + "\\wineboot.exe";
    Process restart;
    ASSERT_TRUE(restart.Start(program, "\"" + program + "\" -r"));
    DWORD code = 1;
    ASSERT_TRUE(restart.WaitExit(kRunTimeoutMs, &code)) << "the restart did not end";
}

} // namespace lumo_e2e
