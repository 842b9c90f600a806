// The installation's rules, each row a case: where a file goes, what a SYSFILE
// value means, whether a version wins, how a count sizes the bar.
#include "engine/Rules.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Rules, TrimAndUpper)
{
    EXPECT_EQ("SYSPATH", TrimText(" \t SYSPATH \r\n"));
    EXPECT_EQ("a b", TrimText("a b"));
    EXPECT_EQ("", TrimText(" \t\r\n"));
    EXPECT_EQ("", TrimText(""));
    EXPECT_EQ("C:\\SHARED\\BIN", UpperText("c:\\Shared\\bin"));
    // Capitals beyond ASCII too.
    EXPECT_EQ("CITTÀ", UpperText("città"));
}

TEST(Rules, ReadCountAndProgressStep)
{
    const struct {
        const char* text;
        double count;
        double step;
    } cases[] = {
        { "4", 4, 25 },
        { " 3 file", 3, 100.0 / 3 },
        { "2.5", 2.5, 40 },
        { "1e2", 100, 1 },
        { "-5", -5, -20 },
        { "quattro", 0, INFINITY },
        { "", 0, INFINITY },
        { "0", 0, INFINITY },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        EXPECT_DOUBLE_EQ(c.count, ReadCount(c.text));
        if (std::isinf(c.step)) {
            EXPECT_TRUE(std::isinf(ProgressStep(c.text)));
        } else {
            EXPECT_DOUBLE_EQ(c.step, ProgressStep(c.text));
        }
    }
}

TEST(Rules, ApplicationFileTargets)
{
    const std::string bin = "\\Common Files\\Business Objects\\3.0\\bin";
    const struct {
        const char* target;
        const char* name;
        std::string primary;
        std::string secondary;
    } cases[] = {
        { "C:\\PF", "a.txt", "C:\\PF" + bin + "\\a.txt", "" },
        { "C:\\PF\\Report", "Modelli.txt", "C:\\PF\\Report" + bin + "\\Modelli.txt", "" },
        { "C:\\PF", "dao350.dll", "C:\\PF\\Common Files\\microsoft shared\\DAO\\dao350.dll",
          "C:\\PF\\File Comuni\\microsoft shared\\DAO\\dao350.dll" },
        // Either letter case names a DAO file; the name keeps its own case.
        { "C:\\PF", "DAO350.DLL", "C:\\PF\\Common Files\\microsoft shared\\DAO\\DAO350.DLL",
          "C:\\PF\\File Comuni\\microsoft shared\\DAO\\DAO350.DLL" },
        { "C:\\PF", "dao2535.tlb", "C:\\PF\\Common Files\\microsoft shared\\DAO\\dao2535.tlb",
          "C:\\PF\\File Comuni\\microsoft shared\\DAO\\dao2535.tlb" },
        { "C:\\PF", "dao350.dll.bak", "C:\\PF" + bin + "\\dao350.dll.bak", "" },
        { "C:\\PF", "xdao350.dll", "C:\\PF" + bin + "\\xdao350.dll", "" },
        // Without a Program Files folder the targets start at the drive root.
        { "", "a.txt", bin + "\\a.txt", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " + " + c.name);
        const ApplicationTargets targets = ApplicationFileTargets(c.target, c.name);
        EXPECT_EQ(c.primary, targets.primaryPath);
        EXPECT_EQ(c.primary.substr(0, c.primary.rfind('\\')), targets.primaryFolder);
        EXPECT_EQ(c.secondary, targets.secondaryPath);
        EXPECT_EQ(!c.secondary.empty(), targets.IsDao());
        if (targets.IsDao()) {
            EXPECT_EQ(c.secondary.substr(0, c.secondary.rfind('\\')), targets.secondaryFolder);
        }
    }
}

TEST(Rules, SysFileEntriesAndTargets)
{
    const std::string defaultPath = "C:\\SYS\\Sub\\a.dll";
    const struct {
        const char* value;
        bool present;
        bool delimiter;
        const char* folder;
        const char* flag;
        bool registers;
        std::string target;
    } cases[] = {
        { "", false, false, "", "", true, defaultPath },
        { "   ", false, false, "", "", true, defaultPath },
        { "SYSPATH|REG", true, true, "SYSPATH", "REG", true, defaultPath },
        { "SYSPATH|", true, true, "SYSPATH", "", false, defaultPath },
        { "SYSPATH|reg ", true, true, "SYSPATH", "REG", true, defaultPath },
        { " winpath | Reg ", true, true, "WINPATH", "REG", true, "C:\\WIN\\a.dll" },
        { "WINPATH|", true, true, "WINPATH", "", false, "C:\\WIN\\a.dll" },
        { "c:\\Shared\\Bin |REG", true, true, "C:\\SHARED\\BIN", "REG", true, "C:\\SHARED\\BIN\\a.dll" },
        // Pieces after the second bar do not count.
        { "SYSPATH|REG|X", true, true, "SYSPATH", "REG", true, defaultPath },
        { "SYSPATH|NOREG", true, true, "SYSPATH", "NOREG", false, defaultPath },
        { "SYSPATH||REG", true, true, "SYSPATH", "", false, defaultPath },
        // No bar: a destination without a flag.
        { "SYSPATH", true, false, "SYSPATH", "", false, defaultPath },
        { "WINPATH", true, false, "WINPATH", "", false, "C:\\WIN\\a.dll" },
        { "REG", true, false, "REG", "", false, "REG\\a.dll" },
        // An empty destination is a folder too: the drive root.
        { "|REG", true, true, "", "REG", true, "\\a.dll" },
        // Read as written: a "\n" pair stays two characters.
        { "C:\\nuovo|", true, true, "C:\\NUOVO", "", false, "C:\\NUOVO\\a.dll" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.value + "\"");
        const SysFileEntry entry = ParseSysFileEntry(c.value);
        EXPECT_EQ(c.present, entry.present);
        EXPECT_EQ(c.delimiter, entry.hasDelimiter);
        EXPECT_EQ(c.folder, entry.folderWord);
        EXPECT_EQ(c.flag, entry.flagWord);
        EXPECT_EQ(c.registers, entry.registerAfterCopy);
        EXPECT_EQ(c.target, SysFileTargetPath(entry, defaultPath, "C:\\WIN", "a.dll"));
    }
}

TEST(Rules, CopyOnlyAStrictlyNewerVersion)
{
    const struct {
        FileVersion source;
        FileVersion target;
        bool copy;
    } cases[] = {
        { { 2, 0, 0, 0 }, { 1, 9, 9, 9 }, true },
        { { 1, 2, 3, 4 }, { 1, 2, 3, 4 }, false },
        { { 1, 2, 3, 4 }, { 1, 2, 3, 5 }, false },
        { { 1, 0, 0, 0 }, {}, true },
        // No version: never copied, not even where nothing is.
        { {}, {}, false },
        { {}, { 1, 0, 0, 0 }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.source.major) + "." + std::to_string(c.source.minor) + " vs " +
                     std::to_string(c.target.major) + "." + std::to_string(c.target.minor));
        EXPECT_EQ(c.copy, ShouldCopySystemFile(c.source, c.target));
    }
}

TEST(Rules, PathLimitAndFullFolders)
{
    EXPECT_FALSE(ExceedsPathLimit(std::string(259, 'a')));
    EXPECT_TRUE(ExceedsPathLimit(std::string(260, 'a')));
    EXPECT_FALSE(ExceedsPathLimit(""));

    const struct {
        const char* folder;
        bool full;
    } cases[] = {
        { "C:\\PELVORA\\CONDIVISI", true },
        { "c:/dati", true },
        { "C:", true },
        { "C:\\", true },
        { "\\\\SERVER\\SHARE", true },
        { "C:DATI", false },
        { "\\DATI", false },
        { "\\\\", false },
        { "CONDIVISI", false },
        { "", false },
        { "1:\\X", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(c.full, IsFullFolderPath(c.folder));
    }
    EXPECT_EQ("C:\\Pelvora\\Installatore.log", LogFilePath("C:\\Pelvora"));
    EXPECT_EQ("\\Installatore.log", LogFilePath(""));
}

} // namespace
