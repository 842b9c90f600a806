// The test components: small DLLs built from source in the test tree, with
// version resources of chosen versions and DllRegisterServer variants. Each
// DllRegisterServer call adds one to a counter in the registry, so a test can
// prove that it ran and how often.
#pragma once

#include <windows.h>

#include <string>

namespace lumo_test {

// Full path of a built component, by its file name (for example "ver_6_2_0_0.dll").
std::string ComponentPath(const std::string& fileName);

// How often DllRegisterServer of the component loaded from modulePath ran
// (the path as the module was loaded, compared without regard to case).
DWORD RegistrationCount(const std::string& modulePath);

// Forgets every counter.
void ResetRegistrationCounts();

} // namespace lumo_test
