// The installer runs elevated from a folder anyone could have filled: a DLL
// that merely lies beside it must never be loaded.
#include "e2e/E2eTest.h"

#include "components/Components.h"

#include <shlobj.h>

#include <algorithm>

using namespace lumo_e2e;
namespace component = lumo_test::component;

namespace {

class HardeningE2eTest : public E2eTest {};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// A component in SysFile imports lumohelper.dll by name. A good copy lies in
// the system folder, a planted one in the delivery folder beside the program,
// where the ordinary search order would look first. Registration must load
// the good one.
TEST_F(HardeningE2eTest, AComponentsHelperComesFromTheSystemFolderNeverFromTheDelivery)
{
    char systemFolder[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, systemFolder, CSIDL_SYSTEMX86, FALSE));
    const std::string goodHelper = std::string(systemFolder) + "\\" + component::kHelperName;
    const std::string componentName = Unique() + ".dll";
    const std::string installed = std::string(systemFolder) + "\\" + componentName;
    struct CleanUp {
        std::string helper, installed;
        ~CleanUp()
        {
            ::DeleteFileA(installed.c_str());
            ::DeleteFileA(helper.c_str());
        }
    } cleanUp{ goodHelper, installed };
    lumo_test::CopyComponent(component::kHelperGood, goodHelper);

    auto delivery = std::make_unique<Delivery>();
    delivery->WriteIni(StandardIni());
    lumo_test::CopyComponent(component::kHelperPlanted, delivery->Folder() + "\\" + component::kHelperName);
    delivery->AddSysFile(componentName, lumo_test::ReadFileBytes(lumo_test::ComponentPath(component::kUsesHelper)));

    RunOnce(*delivery);

    const std::vector<std::string> lines = LogLines();
    const std::string registered = "  FILE: " + installed + " REGISTRATO CORRETTAMENTE";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                                std::string message;
                                return SplitLogLine(line, message) && message == registered;
                            }))
        << "no line: " << registered;
    std::string origin;
    ASSERT_TRUE(lumo_test::ReadRegistryString(HKEY_CURRENT_USER, lumo_test::kHelperOriginKey, Lower(installed), origin))
        << "the component's DllRegisterServer did not run";
    EXPECT_EQ("good", origin) << "the helper came from the delivery folder";
}

// Whatever the program's process loads by name comes from the system folder
// only: a component that loads a helper by name while it is registered gets
// the copy in the system folder, not the planted one beside the program.
TEST_F(HardeningE2eTest, AHelperLoadedByNameComesFromTheSystemFolder)
{
    char systemFolder[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetSystemDirectoryA(systemFolder, sizeof(systemFolder)));
    char systemX86[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, systemX86, CSIDL_SYSTEMX86, FALSE));
    const std::string goodHelper = std::string(systemFolder) + "\\" + component::kHelperName;
    const std::string componentName = Unique() + ".dll";
    const std::string installed = std::string(systemX86) + "\\" + componentName;
    struct CleanUp {
        std::string helper, installed;
        ~CleanUp()
        {
            ::DeleteFileA(installed.c_str());
            ::DeleteFileA(helper.c_str());
        }
    } cleanUp{ goodHelper, installed };
    lumo_test::CopyComponent(component::kHelperGood, goodHelper);

    auto delivery = std::make_unique<Delivery>();
    delivery->WriteIni(StandardIni());
    lumo_test::CopyComponent(component::kHelperPlanted, delivery->Folder() + "\\" + component::kHelperName);
    delivery->AddSysFile(componentName, lumo_test::ReadFileBytes(lumo_test::ComponentPath(component::kLoadsHelper)));

    RunOnce(*delivery);

    std::string origin;
    ASSERT_TRUE(lumo_test::ReadRegistryString(HKEY_CURRENT_USER, lumo_test::kHelperOriginKey, Lower(installed), origin))
        << "the component's DllRegisterServer did not run";
    EXPECT_EQ("good", origin) << "the helper came from the delivery folder (or none was found)";
}

} // namespace
