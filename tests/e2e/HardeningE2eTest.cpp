// The installer runs elevated from a folder anyone could have filled: a DLL
// that merely lies beside it must never be loaded.
#include "e2e/E2eTest.h"

#include "components/Components.h"

#include <shlobj.h>

#include <algorithm>

using namespace lumo_e2e;
namespace component = lumo_test::component;

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::string SystemX86Folder()
{
    char folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_SYSTEMX86, FALSE);
    return folder;
}

class HardeningE2eTest : public E2eTest {
protected:
    void TearDown() override
    {
        for (const auto& path : placed_)
            ::DeleteFileA(path.c_str());
        E2eTest::TearDown();
    }

    // Installs a delivery whose SysFile holds the built component, with the good
    // lumohelper.dll in helperFolder and a planted one beside the program, and
    // returns where the component was installed. origin receives the copy of
    // the helper the component recorded at registration ("" when it did not run).
    std::string InstallBesidePlantedHelper(const char* componentFile, const std::string& helperFolder,
                                           std::string& origin)
    {
        const std::string goodHelper = helperFolder + "\\" + component::kHelperName;
        const std::string componentName = Unique() + ".dll";
        const std::string installed = SystemX86Folder() + "\\" + componentName;
        placed_ = { installed, goodHelper };
        lumo_test::CopyComponent(component::kHelperGood, goodHelper);

        auto delivery = std::make_unique<Delivery>();
        delivery->WriteIni(StandardIni());
        lumo_test::CopyComponent(component::kHelperPlanted, delivery->Folder() + "\\" + component::kHelperName);
        delivery->AddSysFile(componentName, lumo_test::ReadFileBytes(lumo_test::ComponentPath(componentFile)));

        RunOnce(*delivery);

        origin.clear();
        lumo_test::ReadRegistryString(HKEY_CURRENT_USER, lumo_test::kHelperOriginKey, Lower(installed), origin);
        return installed;
    }

private:
    std::vector<std::string> placed_;
};

// A component in SysFile imports lumohelper.dll by name. A good copy lies in
// the system folder, a planted one in the delivery folder beside the program,
// where the ordinary search order would look first. Registration must load
// the good one.
TEST_F(HardeningE2eTest, AComponentsHelperComesFromTheSystemFolderNeverFromTheDelivery)
{
    std::string origin;
    const std::string installed = InstallBesidePlantedHelper(component::kUsesHelper, SystemX86Folder(), origin);

    const std::vector<std::string> messages = LogMessages();
    const std::string registered = "  FILE: " + installed + " REGISTRATO CORRETTAMENTE";
    EXPECT_NE(messages.end(), std::find(messages.begin(), messages.end(), registered)) << "no line: " << registered;
    ASSERT_FALSE(origin.empty()) << "the component's DllRegisterServer did not run";
    EXPECT_EQ("good", origin) << "the helper came from the delivery folder";
}

// Whatever the program's process loads by name comes from the system folder
// only: a component that loads a helper by name while it is registered gets
// the copy in the system folder, not the planted one beside the program.
TEST_F(HardeningE2eTest, AHelperLoadedByNameComesFromTheSystemFolder)
{
    char systemFolder[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetSystemDirectoryA(systemFolder, sizeof(systemFolder)));
    std::string origin;
    InstallBesidePlantedHelper(component::kLoadsHelper, systemFolder, origin);

    ASSERT_FALSE(origin.empty()) << "the component's DllRegisterServer did not run";
    EXPECT_EQ("good", origin) << "the helper came from the delivery folder (or none was found)";
}

} // namespace
