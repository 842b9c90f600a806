#include "TestSupport.h"
#include "engine/Folders.h"

#include <gtest/gtest.h>

using lumo_test::DirectoryExists;
using lumo_test::FileExists;

namespace {

std::string Show(const std::vector<std::string>& names)
{
    std::string shown;
    for (const std::string& name : names)
        shown += " \"" + name + "\"";
    return shown;
}

} // namespace

TEST(CreateDirectoryPath, CreatesEveryMissingFolder)
{
    const struct {
        const char* name;
        const char* relative; // appended to the temporary folder after a backslash
        std::vector<const char*> folders;
    } cases[] = {
        { "missing parents", "P\\Q\\R", { "P", "P\\Q", "P\\Q\\R" } },
        { "forward slashes", "X/A/B", { "X", "X\\A", "X\\A\\B" } },
        { "mixed separators", "M\\N/O\\P", { "M", "M\\N", "M\\N\\O", "M\\N\\O\\P" } },
        { "trailing backslash", "T\\U\\", { "T", "T\\U" } },
        { "trailing slash", "S/V/", { "S", "S\\V" } },
        { "single folder", "Solo", { "Solo" } },
        { "names with spaces and dots", "Pelvora Tesmoro\\v6.2\\dati", { "Pelvora Tesmoro", "Pelvora Tesmoro\\v6.2",
                                                                         "Pelvora Tesmoro\\v6.2\\dati" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        lumo_test::TempDir dir("lumo-cdp");
        CreateDirectoryPath(dir.Path() + "\\" + c.relative);
        for (const char* folder : c.folders)
            EXPECT_TRUE(DirectoryExists(dir / folder)) << folder;
    }
}

TEST(CreateDirectoryPath, ForwardSlashesCreateTheParentFirst)
{
    // The whole path with forward slashes only past the drive.
    lumo_test::TempDir dir("lumo-cdp");
    std::string base = dir.Path();
    for (size_t i = 3; i < base.size(); ++i) {
        if (base[i] == '\\')
            base[i] = '/';
    }
    CreateDirectoryPath(base + "/X/A/B");
    EXPECT_TRUE(DirectoryExists(dir / "X"));
    EXPECT_TRUE(DirectoryExists(dir / "X\\A"));
    EXPECT_TRUE(DirectoryExists(dir / "X\\A\\B"));
}

TEST(CreateDirectoryPath, ExistingFoldersAreLeftAsTheyAre)
{
    lumo_test::TempDir dir("lumo-cdp");
    ASSERT_TRUE(::CreateDirectoryA((dir / "X").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((dir / "X\\A").c_str(), nullptr));
    lumo_test::WriteFileBytes(dir / "X\\A\\keep.ini", "[CHIAVI]\r\nPathKey=1\r\n");
    lumo_test::WriteFileBytes(dir / "X\\top.txt", "top");

    for (const char* relative : { "X\\A", "X\\A\\", "X/A", "X", "X\\A\\B" }) {
        SCOPED_TRACE(relative);
        CreateDirectoryPath(dir.Path() + "\\" + relative);
        EXPECT_TRUE(DirectoryExists(dir / "X\\A"));
        EXPECT_EQ("[CHIAVI]\r\nPathKey=1\r\n", lumo_test::ReadFileBytes(dir / "X\\A\\keep.ini"));
        EXPECT_EQ("top", lumo_test::ReadFileBytes(dir / "X\\top.txt"));
    }
    EXPECT_TRUE(DirectoryExists(dir / "X\\A\\B"));
}

TEST(CreateDirectoryPath, FileInTheWayIsPassedOver)
{
    lumo_test::TempDir dir("lumo-cdp");
    lumo_test::WriteFileBytes(dir / "blocco", "data");
    CreateDirectoryPath(dir / "blocco\\sotto\\ancora");
    EXPECT_TRUE(FileExists(dir / "blocco"));
    EXPECT_EQ("data", lumo_test::ReadFileBytes(dir / "blocco"));
    EXPECT_FALSE(DirectoryExists(dir / "blocco\\sotto"));
}

TEST(CreateDirectoryPath, EmptyPathChangesNothing)
{
    lumo_test::TempDir dir("lumo-cdp");
    char current[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetCurrentDirectoryA(MAX_PATH, current));
    ASSERT_TRUE(::SetCurrentDirectoryA(dir.Path().c_str()));
    CreateDirectoryPath("");
    ::SetCurrentDirectoryA(current);
    EXPECT_TRUE(lumo_test::ListEntries(dir.Path()).empty()) << Show(lumo_test::ListEntries(dir.Path()));
}

TEST(CreateDirectoryPath, LongPathsAreWalkedToTheEnd)
{
    // Paths of 256 characters and more: no fixed buffer may overflow; folders
    // short enough for the platform are created, the rest passed over.
    // CreateDirectory takes folder paths shorter than MAX_PATH - 12 characters.
    const size_t kCreatable = MAX_PATH - 12;
    for (const char separator : { '\\', '/' }) {
        SCOPED_TRACE(separator == '\\' ? "backslashes" : "forward slashes");
        lumo_test::TempDir dir("lumo-cdp");
        std::string path = dir.Path();
        std::vector<std::string> levels;
        for (int i = 0; path.size() < 400; ++i) {
            path += separator;
            path += "livello" + std::to_string(i) + std::string(16, static_cast<char>('a' + i % 26));
            levels.push_back(path);
        }
        ASSERT_GE(path.size(), 256u);
        size_t creatable = 0;
        for (const std::string& level : levels)
            creatable += level.size() < kCreatable ? 1 : 0;
        ASSERT_GE(creatable, 3u) << "the temporary folder leaves too little room";

        CreateDirectoryPath(path);
        std::string parent = dir.Path();
        for (size_t i = 0; i < levels.size(); ++i) {
            const std::string& level = levels[i];
            if (level.size() < kCreatable) {
                EXPECT_TRUE(DirectoryExists(level)) << level.size() << " characters: " << level;
            }
            if (!DirectoryExists(parent))
                break;
            // A cut-off path would leave a folder with a shortened name behind.
            const std::string name = level.substr(parent.size() + 1);
            const std::vector<std::string> entries = lumo_test::ListEntries(parent);
            EXPECT_TRUE(entries.empty() || (entries.size() == 1 && entries[0] == name))
                << "in " << parent << ":" << Show(entries);
            parent = level;
        }
    }
}

TEST(CreateDirectoryPath, LongSingleNameIsPassedOverSafely)
{
    lumo_test::TempDir dir("lumo-cdp");
    const std::string path = dir.Path() + "\\" + std::string(300, 'n') + "\\sotto";
    CreateDirectoryPath(path);
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    // A cut-off path would leave a folder with a shortened name behind.
    EXPECT_TRUE(lumo_test::ListEntries(dir.Path()).empty()) << Show(lumo_test::ListEntries(dir.Path()));
}
