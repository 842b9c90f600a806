// The one normal form of an installation folder written by hand: every
// spelling of one folder gives the same text, and anything that is not a
// full local path is refused rather than guessed at.
#include "TestSupport.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(NormalFullPath, EverySpellingOfAFolderGivesOneTextAndTheRestIsRefused)
{
    // Folders that do not exist, so no short name is at stake.
    const struct {
        const char* written;
        const char* normal; // empty: refused
    } rows[] = {
        { "C:\\Pelvora\\Tesmoro", "C:\\Pelvora\\Tesmoro" },
        { "c:/Pelvora/Tesmoro", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora\\Tesmoro\\", "C:\\Pelvora\\Tesmoro" },
        { "C:\\\\Pelvora//\\Tesmoro\\\\", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora\\.\\Tesmoro\\.", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora\\Altro\\..\\Tesmoro", "C:\\Pelvora\\Tesmoro" },
        { "C:\\..\\..\\Pelvora\\Tesmoro", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora. .\\Tesmoro...", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora \\Tesmoro ", "C:\\Pelvora\\Tesmoro" },
        { "C:\\Pelvora\\Tes moro.1", "C:\\Pelvora\\Tes moro.1" },
        { "C:\\Pelvora\\nul-e-basta\\CONSOLE\\COM10\\LPT0\\auxilio", "C:\\Pelvora\\nul-e-basta\\CONSOLE\\COM10\\LPT0\\auxilio" },
        { "C:\\Pelvora\\\xCE\xA9\xCE\xBB\\\xE6\x97\xA5", "C:\\Pelvora\\\xCE\xA9\xCE\xBB\\\xE6\x97\xA5" },
        // Not a full local path.
        { "", "" },
        { "Pelvora\\Tesmoro", "" },
        { "\\Pelvora\\Tesmoro", "" },
        { ".\\Tesmoro", "" },
        { "C:Pelvora\\Tesmoro", "" },
        { "C:", "" },
        { "C:\\", "" },
        { "C:\\..", "" },
        { "1:\\Pelvora", "" },
        { "\\\\server\\share\\Tesmoro", "" },
        { "//server/share/Tesmoro", "" },
        { "\\\\?\\C:\\Pelvora\\Tesmoro", "" },
        { "\\\\.\\C:\\Pelvora\\Tesmoro", "" },
        { "\\\\?\\UNC\\server\\share", "" },
        // Names of devices, in any folder, any case, with an extension or blanks.
        { "C:\\Pelvora\\NUL", "" },
        { "C:\\Pelvora\\con\\Tesmoro", "" },
        { "C:\\Pelvora\\Aux.txt", "" },
        { "C:\\Pelvora\\prn .log\\x", "" },
        { "C:\\COM1\\Tesmoro", "" },
        { "C:\\Pelvora\\lpt9", "" },
        { "C:\\Pelvora\\COM\xC2\xB9", "" },
        { "C:\\Pelvora\\CONIN$", "" },
        // Characters no name may hold; a colon past the drive (a stream).
        { "C:\\Pelvora\\Tes:moro", "" },
        { "C:\\Pelvora\\Tesmoro::$DATA", "" },
        { "C:\\Pelvora\\Tes*", "" },
        { "C:\\Pelvora\\Tes?moro", "" },
        { "C:\\Pelvora\\<Tesmoro>", "" },
        { "C:\\Pelvora\\Tes|moro", "" },
        { "C:\\Pelvora\\\"Tesmoro\"", "" },
        { "C:\\Pelvora\\Tes\tmoro", "" },
        // A name of dots or blanks alone names nothing.
        { "C:\\Pelvora\\...\\Tesmoro", "" },
        { "C:\\Pelvora\\ \\Tesmoro", "" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written);
        EXPECT_EQ(row.normal, NormalFullPath(row.written));
    }
    // Beyond the path limit, however it was reached.
    EXPECT_EQ("", NormalFullPath("C:\\" + std::string(kMaxPlatformPath, 'a')));
    EXPECT_EQ("C:\\b", NormalFullPath("C:\\" + std::string(300, 'a') + "\\..\\b"));
}

// The part that exists is spelled with its long names, whatever the short
// ones given; the part still to be made is kept as written.
TEST(NormalFullPath, ShortNamesOfTheExistingPartAreExpanded)
{
    lumo_test::TempDir root("lumo-percorso");
    const std::string folder = root / "Cartella dal nome lungo";
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder).c_str(), nullptr));
    wchar_t shortName[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(Wide(folder).c_str(), shortName, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const std::string shortened = Utf8(std::wstring(shortName, length));
    ASSERT_NE(std::string::npos, shortened.find('~')) << "no short name to expand: " << shortened;

    const std::string longRoot = NormalFullPath(root.Path());
    ASSERT_FALSE(longRoot.empty());
    EXPECT_EQ(longRoot + "\\Cartella dal nome lungo", NormalFullPath(shortened));
    EXPECT_EQ(longRoot + "\\Cartella dal nome lungo\\Nuova\\Tesmoro", NormalFullPath(shortened + "/Nuova/./Tesmoro/"));
    EXPECT_EQ(longRoot + "\\Cartella dal nome lungo", NormalFullPath(shortened + "\\Nuova\\.."));
}

} // namespace
