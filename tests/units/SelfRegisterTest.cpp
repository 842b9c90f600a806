#include "TestSupport.h"
#include "engine/SelfRegister.h"
#include "components/Components.h"

#include <gtest/gtest.h>

#include <atomic>

using lumo_test::CopyComponent;
using lumo_test::RegistrationCount;
namespace component = lumo_test::component;

namespace {

// A loaded component stays loaded, so every test registers a copy under a
// name of its own.
std::string FreshCopy(const lumo_test::TempDir& dir, const char* fileName)
{
    static std::atomic<unsigned> counter{ 0 };
    return CopyComponent(fileName, dir / (std::to_string(counter++) + "_" + fileName));
}

bool IsLoaded(const std::string& path)
{
    return ::GetModuleHandleA(path.c_str()) != nullptr;
}

} // namespace

TEST(SelfRegister, ResultFollowsTheStatusOfDllRegisterServer)
{
    const struct {
        const char* file;
        RegisterResult result;
    } cases[] = {
        { component::kRegisterOk, RegisterOk },
        { component::kVer6_2_0_0, RegisterOk },
        { component::kNoVersion, RegisterOk },
        { component::kRegisterFalse, RegisterOk },
        { component::kRegisterPositiveMax, RegisterOk },
        { component::kRegisterFail, RegisterFailed },
    };
    lumo_test::TempDir dir("lumo-reg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FreshCopy(dir, c.file);
        ASSERT_FALSE(IsLoaded(path));
        ASSERT_EQ(0u, RegistrationCount(path));
        EXPECT_EQ(c.result, SelfRegister(path));
        EXPECT_EQ(1u, RegistrationCount(path)) << "DllRegisterServer ran once";
        EXPECT_TRUE(IsLoaded(path)) << "the component stays loaded";
    }
}

TEST(SelfRegister, MissingEntryPointKeepsTheLibraryLoaded)
{
    lumo_test::TempDir dir("lumo-reg");
    const std::string path = FreshCopy(dir, component::kRegisterNoEntry);
    ASSERT_FALSE(IsLoaded(path));
    EXPECT_EQ(RegisterNoEntryPoint, SelfRegister(path));
    EXPECT_TRUE(IsLoaded(path));
    EXPECT_EQ(0u, RegistrationCount(path));
}

TEST(SelfRegister, FilesThatCannotBeLoaded)
{
    lumo_test::TempDir dir("lumo-reg");
    // A type library is no program; the bytes start like one.
    lumo_test::WriteFileBytes(dir / "Tesmoro.tlb", std::string("MSFT\x02\x00\x01\x00", 8) + std::string(120, '\0'));
    lumo_test::WriteFileBytes(dir / "leggimi.txt", "Pelvora Tesmoro\r\n");
    lumo_test::WriteFileBytes(dir / "vuota.dll", "");
    // The headers of a real component with nothing behind them.
    const std::string component = lumo_test::ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk));
    ASSERT_GT(component.size(), 1024u);
    lumo_test::WriteFileBytes(dir / "tronca.dll", component.substr(0, 1024));
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        { "type library", dir / "Tesmoro.tlb" },
        { "text file", dir / "leggimi.txt" },
        { "empty file", dir / "vuota.dll" },
        { "truncated DLL", dir / "tronca.dll" },
        { "missing file", dir / "assente.dll" },
        { "missing folder", dir / "assente\\assente.dll" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RegisterNotLoadable, SelfRegister(c.path));
        EXPECT_FALSE(IsLoaded(c.path));
    }
}

TEST(SelfRegister, RegisteringAgainCallsTheEntryPointAgain)
{
    lumo_test::TempDir dir("lumo-reg");
    for (const char* file : { component::kRegisterOk, component::kRegisterFail }) {
        SCOPED_TRACE(file);
        const std::string path = FreshCopy(dir, file);
        const RegisterResult first = SelfRegister(path);
        EXPECT_EQ(1u, RegistrationCount(path));
        EXPECT_EQ(first, SelfRegister(path));
        EXPECT_EQ(2u, RegistrationCount(path));
    }
}

TEST(SelfRegister, EachCopyRegistersOnItsOwn)
{
    lumo_test::TempDir dir("lumo-reg");
    const std::string first = FreshCopy(dir, component::kRegisterOk);
    const std::string second = FreshCopy(dir, component::kRegisterOk);
    EXPECT_EQ(RegisterOk, SelfRegister(first));
    EXPECT_EQ(RegisterOk, SelfRegister(second));
    EXPECT_EQ(RegisterOk, SelfRegister(second));
    EXPECT_EQ(1u, RegistrationCount(first));
    EXPECT_EQ(2u, RegistrationCount(second));
}
