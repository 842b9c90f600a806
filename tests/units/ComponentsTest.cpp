// The test components themselves, checked without the product's code: other
// tests rely on their versions, their entry points and their counters.
#include "TestSupport.h"
#include "components/Components.h"
#include "units/PeVersionReader.h"

#include <gtest/gtest.h>

#include <cctype>

using lumo_test::ComponentPath;
using lumo_test::RegistrationCount;
namespace component = lumo_test::component;

namespace {

struct ComponentCase {
    const char* file;
    const char* version; // "" when the DLL has no version resource
    bool translation;
    bool entryPoint;
    HRESULT status;
};

const ComponentCase kComponents[] = {
    { component::kVer6_2_0_0, "6.2.0.0", true, true, S_OK },
    { component::kVer1_2_3_4, "1.2.3.4", true, true, S_OK },
    { component::kVer1_2_3_5, "1.2.3.5", true, true, S_OK },
    { component::kVer2_0_0_0, "2.0.0.0", true, true, S_OK },
    { component::kVer1_9_9_9, "1.9.9.9", true, true, S_OK },
    { component::kVer7_0_0_0, "7.0.0.0", true, true, S_OK },
    { component::kVer6_65535_65535_65535, "6.65535.65535.65535", true, true, S_OK },
    { component::kNoTranslation, "3.1.4.1", false, true, S_OK },
    { component::kNoVersion, "", false, true, S_OK },
    { component::kRegisterOk, "1.0.0.0", true, true, S_OK },
    { component::kRegisterFalse, "1.0.0.0", true, true, S_FALSE },
    { component::kRegisterPositiveMax, "1.0.0.0", true, true, static_cast<HRESULT>(0x7FFFFFFF) },
    { component::kRegisterFail, "1.0.0.0", true, true, E_FAIL },
    { component::kRegisterNoEntry, "1.0.0.0", true, false, S_OK },
};

std::string VersionText(DWORD ms, DWORD ls)
{
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) + "." +
           std::to_string(LOWORD(ls));
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

} // namespace

TEST(Components, VersionResourcesAreAsListed)
{
    for (const ComponentCase& c : kComponents) {
        SCOPED_TRACE(c.file);
        const lumo_test::PeVersionResource resource = lumo_test::ReadPeVersionResource(ComponentPath(c.file));
        ASSERT_TRUE(resource.isPe) << resource.error;
        if (*c.version == '\0') {
            EXPECT_FALSE(resource.hasVersionResource);
            continue;
        }
        ASSERT_TRUE(resource.hasFixedInfo) << resource.error;
        const VS_FIXEDFILEINFO& fixed = resource.fixedInfo;
        EXPECT_EQ(c.version, VersionText(fixed.dwFileVersionMS, fixed.dwFileVersionLS));
        EXPECT_EQ(c.version, VersionText(fixed.dwProductVersionMS, fixed.dwProductVersionLS));
        EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed.dwFileType);
        EXPECT_EQ(c.translation, resource.hasTranslation);
        if (c.translation) {
            EXPECT_EQ(static_cast<uint32_t>(MAKELONG(0x0409, 1200)), resource.firstTranslation);
        }
    }
}

TEST(Components, EntryPointsReturnTheirStatusAndCount)
{
    lumo_test::TempDir dir("lumo-comp");
    for (const ComponentCase& c : kComponents) {
        SCOPED_TRACE(c.file);
        const std::string path = lumo_test::CopyComponent(c.file, dir / c.file);
        HMODULE module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(nullptr, module) << "error " << ::GetLastError();
        EXPECT_NE(nullptr, reinterpret_cast<void*>(::GetProcAddress(module, "LumoComponentMarker")));
        const auto entry =
            reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(module, "DllRegisterServer")));
        if (!c.entryPoint) {
            EXPECT_EQ(nullptr, entry);
            EXPECT_EQ(0u, RegistrationCount(path));
            continue;
        }
        ASSERT_NE(nullptr, entry);
        EXPECT_EQ(0u, RegistrationCount(path));
        EXPECT_EQ(c.status, entry());
        EXPECT_EQ(1u, RegistrationCount(path));
        EXPECT_EQ(c.status, entry());
        EXPECT_EQ(2u, RegistrationCount(path));
        // The counter is kept under the path in lower case; any case finds it.
        EXPECT_EQ(2u, RegistrationCount(Upper(path)));
        // Another path has a counter of its own.
        EXPECT_EQ(0u, RegistrationCount(path + ".other"));
    }
}

TEST(Components, CopyComponentReportsFailure)
{
    lumo_test::TempDir dir("lumo-comp");
    EXPECT_THROW(lumo_test::CopyComponent("no_such_component.dll", dir / "x.dll"), std::runtime_error);
    EXPECT_THROW(lumo_test::CopyComponent(component::kRegisterOk, dir / "missing\\x.dll"), std::runtime_error);
    EXPECT_EQ(dir / "y.dll", lumo_test::CopyComponent(component::kRegisterOk, dir / "y.dll"));
    EXPECT_EQ(lumo_test::ReadFileBytes(ComponentPath(component::kRegisterOk)), lumo_test::ReadFileBytes(dir / "y.dll"));
}
