// The test components: small DLLs built from source in the test tree, with
// version resources of chosen versions and DllRegisterServer variants. Each
// DllRegisterServer call adds one to a counter in the registry, so a test can
// prove that it ran and how often.
//
// Versioned components (complete version resource: fixed record with equal
// file and product version, StringFileInfo "040904B0", translation 0x409/1200;
// DllRegisterServer returns S_OK):
//   ver_6_2_0_0.dll  ver_1_2_3_4.dll  ver_1_2_3_5.dll  ver_2_0_0_0.dll
//   ver_1_9_9_9.dll  ver_7_0_0_0.dll  ver_6_65535_65535_65535.dll
// Incomplete version resources (DllRegisterServer returns S_OK):
//   ver_no_translation.dll  fixed record 3.1.4.1, no \VarFileInfo\Translation
//   ver_none.dll            no version resource at all
// DllRegisterServer variants (complete version resource, 1.0.0.0):
//   reg_s_ok.dll          returns S_OK
//   reg_s_false.dll       returns S_FALSE (1), a success status
//   reg_positive_max.dll  returns 0x7FFFFFFF, the largest success status
//   reg_e_fail.dll        returns E_FAIL
//   reg_no_entry.dll      exports no DllRegisterServer
// Of the other bitness than the test build (64-bit in the i686 build, 32-bit
// in the x86_64 one), built by the other compiler, 1.0.0.0, DllRegisterServer
// returns S_OK; this build cannot load it:
//   other_bitness.dll
// A component with a dependency (complete version resource, 1.0.0.0):
//   uses_helper.dll       imports lumohelper.dll by name; its DllRegisterServer
//                         records which copy of the helper it was given
//   loads_helper.dll      its DllRegisterServer loads lumohelper.dll by name
//                         and records which copy it got ("none" for none)
// A component that holds the run (complete version resource, 1.0.0.0):
//   reg_waits.dll         its DllRegisterServer signals kEnteredEvent, then
//                         waits up to two minutes for kReleaseEvent
// The helper, twice under the same name: helper-good\lumohelper.dll and
// helper-planted\lumohelper.dll (below the components' folder).
//
// A loaded DLL stays loaded (the product never frees a component), so a test
// that registers must load a fresh copy: CopyComponent to a unique path.
#pragma once

#include <windows.h>

#include <string>

namespace lumo_test {

namespace component {
constexpr const char* kVer6_2_0_0 = "ver_6_2_0_0.dll";
constexpr const char* kVer1_2_3_4 = "ver_1_2_3_4.dll";
constexpr const char* kVer1_2_3_5 = "ver_1_2_3_5.dll";
constexpr const char* kVer2_0_0_0 = "ver_2_0_0_0.dll";
constexpr const char* kVer1_9_9_9 = "ver_1_9_9_9.dll";
constexpr const char* kVer7_0_0_0 = "ver_7_0_0_0.dll";
constexpr const char* kVer6_65535_65535_65535 = "ver_6_65535_65535_65535.dll";
constexpr const char* kNoTranslation = "ver_no_translation.dll";
constexpr const char* kNoVersion = "ver_none.dll";
constexpr const char* kRegisterOk = "reg_s_ok.dll";
constexpr const char* kRegisterFalse = "reg_s_false.dll";
constexpr const char* kRegisterPositiveMax = "reg_positive_max.dll";
constexpr const char* kRegisterFail = "reg_e_fail.dll";
constexpr const char* kRegisterNoEntry = "reg_no_entry.dll";
constexpr const char* kOtherBitness = "other_bitness.dll";
constexpr const char* kUsesHelper = "uses_helper.dll";
constexpr const char* kLoadsHelper = "loads_helper.dll";
constexpr const char* kRegisterWaits = "reg_waits.dll";
constexpr const char* kEnteredEvent = "LumoInstallTests.Entered";
constexpr const char* kReleaseEvent = "LumoInstallTests.Release";
constexpr const char* kHelperGood = "helper-good\\lumohelper.dll";
constexpr const char* kHelperPlanted = "helper-planted\\lumohelper.dll";
constexpr const char* kHelperName = "lumohelper.dll";
} // namespace component

// Full path of a built component, by its file name (for example "ver_6_2_0_0.dll").
std::string ComponentPath(const std::string& fileName);

// Copies a built component to destinationPath (replacing a file there) and
// returns destinationPath; throws std::runtime_error when the copy fails.
std::string CopyComponent(const std::string& fileName, const std::string& destinationPath);

// Registry key (below HKEY_CURRENT_USER) that holds the counters: one
// REG_DWORD per module, named by its lower-cased full path.
constexpr const char* kRegistrationCountsKey = "Software\\LumoInstallTests\\DllRegisterServer";

// How often DllRegisterServer of the component loaded from modulePath ran
// (the path as the module was loaded, compared without regard to case).
DWORD RegistrationCount(const std::string& modulePath);

// How often its DllUnregisterServer ran, counted the same way under a key of its own.
constexpr const char* kUnregistrationCountsKey = "Software\\LumoInstallTests\\DllUnregisterServer";
DWORD UnregistrationCount(const std::string& modulePath);

// The entry point that ran last, "DllRegisterServer" or "DllUnregisterServer",
// one REG_SZ per module named as the counters are.
constexpr const char* kLastEntryPointKey = "Software\\LumoInstallTests\\LastEntryPoint";

// Registry key (below HKEY_CURRENT_USER) where uses_helper.dll records, under
// its lower-cased path, the origin ("good" or "planted") of the helper it got.
constexpr const char* kHelperOriginKey = "Software\\LumoInstallTests\\HelperOrigin";

// Forgets every counter. Counters are per path, so tests that use unique
// copies do not need this.
void ResetRegistrationCounts();

} // namespace lumo_test
