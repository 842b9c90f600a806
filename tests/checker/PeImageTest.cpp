// The component headers the checker reads without loading anything: machine,
// library flag, DllRegisterServer export; damaged files must not mislead it.
#include "checker/PeImage.h"

#include "TestSupport.h"
#include "components/Components.h"

#include <gtest/gtest.h>

using lumo_test::ComponentPath;
namespace component = lumo_test::component;

namespace {

TEST(PeImage, ComponentsOfBothBitnesses)
{
    const struct {
        std::string path;
        bool dll;
        WORD machine;
        bool exportsRegister;
    } cases[] = {
        { ComponentPath(component::kRegisterOk), true, kOwnMachine, true },
        { ComponentPath(component::kRegisterNoEntry), true, kOwnMachine, false },
        { ComponentPath(component::kNoVersion), true, kOwnMachine, true },
        { ComponentPath(component::kOtherBitness), true,
          kOwnMachine == IMAGE_FILE_MACHINE_I386 ? WORD{ IMAGE_FILE_MACHINE_AMD64 } : WORD{ IMAGE_FILE_MACHINE_I386 },
          true },
        { LUMO_CHECK_EXE_PATH, false, kOwnMachine, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const PeImage image = ReadPeImage(c.path);
        EXPECT_TRUE(image.isPe);
        EXPECT_EQ(c.dll, image.isDll);
        EXPECT_EQ(c.machine, image.machine);
        EXPECT_EQ(c.exportsRegister, image.exportsRegister);
    }
    EXPECT_STREQ("64", MachineBits(IMAGE_FILE_MACHINE_AMD64));
    EXPECT_STREQ("32", MachineBits(IMAGE_FILE_MACHINE_I386));
    EXPECT_STREQ("", MachineBits(IMAGE_FILE_MACHINE_ARMNT));
}

TEST(PeImage, DamagedAndForeignFiles)
{
    lumo_test::TempDir dir("lumo-pe");
    const std::string dll = lumo_test::ReadFileBytes(ComponentPath(component::kRegisterOk));
    ASSERT_GT(dll.size(), 1024u);
    const size_t headers = static_cast<unsigned char>(dll[0x3C]) | static_cast<unsigned char>(dll[0x3D]) << 8;

    std::string farHeader = dll;
    farHeader[0x3C] = '\xF0';
    farHeader[0x3D] = '\xFF';
    farHeader[0x3E] = '\xFF';
    farHeader[0x3F] = '\x7F';
    std::string noSignature = dll;
    noSignature[headers] = 'X';
    // Every export name address points past the end of the file.
    std::string manySections = dll;
    manySections[headers + 6] = '\xFF';
    manySections[headers + 7] = '\xFF';

    const struct {
        const char* name;
        std::string bytes;
        bool pe;
    } cases[] = {
        { "empty", "", false },
        { "text", "not a program\r\n", false },
        { "MZ only", "MZ", false },
        { "header beyond the end", farHeader, false },
        { "no PE signature", noSignature, false },
        { "headers only", dll.substr(0, 512), true },
        { "cut in the middle", dll.substr(0, dll.size() / 2), true },
        { "section count too large", manySections, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / (std::string(c.name) + ".dll");
        lumo_test::WriteFileBytes(path, c.bytes);
        const PeImage image = ReadPeImage(path);
        EXPECT_EQ(c.pe, image.isPe);
        if (c.pe) {
            EXPECT_EQ(kOwnMachine, image.machine);
        }
    }
    EXPECT_FALSE(ReadPeImage(dir / "missing.dll").isPe);
}

} // namespace
