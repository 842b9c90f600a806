// What an installation or a removal leaves on the machine, read the way the
// tests compare it: the 32-bit system folder, values of the registry view the
// shipped program writes, shared counts; and Wine's restart.
#pragma once

#include <windows.h>

#include <string>

namespace lumo_e2e {

constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string SystemFolder();

// A number or a text of the 32-bit view of HKEY_LOCAL_MACHINE; -1 and
// "(assente)" when it is not there.
long long RegistryNumber(const std::string& key, const std::string& name);
std::string RegistryText(const std::string& key, const std::string& name);

void SetSharedCount(const std::string& path, DWORD count);

// Wine's restart: the pending renames and deletions, then the machine's
// RunOnce key. Always the 64-bit program, as a real restart would run it.
void RestartWine();

} // namespace lumo_e2e
