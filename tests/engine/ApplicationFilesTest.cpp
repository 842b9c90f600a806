// The application-file pass on real folder trees: where each file lands, what
// the log says about it, and which folders the walk visits.
#include "EngineHarness.h"

#include "components/Components.h"
#include "framework/Path.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>

using namespace lumo_engine;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::ScopedInstallDescription;

namespace {

constexpr char kBin[] = "Common Files\\Business Objects\\3.0\\bin";
constexpr char kDao[] = "Common Files\\microsoft shared\\DAO";
constexpr char kDaoSecondary[] = "File Comuni\\microsoft shared\\DAO";
constexpr char kDescription[] = "[DESCRIZIONI]\r\nNumeroFiles=10\r\n";

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

class ApplicationFiles : public EngineTest {
protected:
    ScopedInstallDescription ini{ kDescription };
    std::string source = scratch.Make("FilesToCopy");
    std::string target = scratch.Make("Programs");
};

TEST_F(ApplicationFiles, MapsEveryFileIntoTheSharedFolderOfItsMirroredFolder)
{
    PutFile(source + "\\Sub\\a.dll", "a");
    PutFile(source + "\\dao350.dll", "dao library");
    PutFile(source + "\\DAO2535.TLB", "dao type library");
    PutFile(source + "\\dao350.dll.bak", "not a dao file");
    PutFile(source + "\\readme.txt", "readme");
    // A second folder: the file system cannot hold two names that differ in case only.
    PutFile(source + "\\Upper\\DAO350.DLL", "upper-case dao library");
    PutFile(source + "\\Upper\\dao2535.tlb", "lower-case dao type library");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    const std::vector<std::string> expected = Sorted({
        std::string(kBin) + "\\dao350.dll.bak",
        std::string(kBin) + "\\readme.txt",
        std::string(kDao) + "\\DAO2535.TLB",
        std::string(kDao) + "\\dao350.dll",
        std::string(kDaoSecondary) + "\\DAO2535.TLB",
        std::string(kDaoSecondary) + "\\dao350.dll",
        "Sub\\" + std::string(kBin) + "\\a.dll",
        "Upper\\" + std::string(kDao) + "\\DAO350.DLL",
        "Upper\\" + std::string(kDao) + "\\dao2535.tlb",
        "Upper\\" + std::string(kDaoSecondary) + "\\DAO350.DLL",
        "Upper\\" + std::string(kDaoSecondary) + "\\dao2535.tlb",
    });
    EXPECT_EQ(expected, FilesBelow(target));

    // Both DAO copies are whole copies of the source.
    EXPECT_EQ("dao library", ReadFileBytes(target + "\\" + kDao + "\\dao350.dll"));
    EXPECT_EQ("dao library", ReadFileBytes(target + "\\" + kDaoSecondary + "\\dao350.dll"));
    EXPECT_EQ("upper-case dao library", ReadFileBytes(target + "\\Upper\\" + kDao + "\\DAO350.DLL"));
    EXPECT_EQ("a", ReadFileBytes(target + "\\Sub\\" + kBin + "\\a.dll"));
    EXPECT_EQ("not a dao file", ReadFileBytes(target + "\\" + kBin + "\\dao350.dll.bak"));

    // One line per file, naming the primary copy only.
    const std::vector<std::string> lines = Sorted({
        "  Copiato il file: " + target + "\\" + kBin + "\\dao350.dll.bak",
        "  Copiato il file: " + target + "\\" + kBin + "\\readme.txt",
        "  Copiato il file: " + target + "\\" + kDao + "\\DAO2535.TLB",
        "  Copiato il file: " + target + "\\" + kDao + "\\dao350.dll",
        "  Copiato il file: " + target + "\\Sub\\" + kBin + "\\a.dll",
        "  Copiato il file: " + target + "\\Upper\\" + kDao + "\\DAO350.DLL",
        "  Copiato il file: " + target + "\\Upper\\" + kDao + "\\dao2535.tlb",
    });
    EXPECT_EQ(lines, Sorted(NewMessages()));
}

TEST_F(ApplicationFiles, StatusNamesThePrimaryCopyBeforeTheBarMoves)
{
    PutFile(source + "\\dao350.dll", "dao");
    PutFile(source + "\\tool.exe", "tool");
    PutFile(source + "\\notes.txt", "notes");
    const std::vector<std::string> order = lumo_test::ListEntries(source);

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    std::vector<std::string> expected;
    for (const std::string& name : order)
        expected.push_back("Copia in " + target + "\\" + (name == "dao350.dll" ? kDao : kBin) + "\\" + name);
    EXPECT_EQ(expected, view.StatusTexts());
    // Each file's position reaches the bar while its own status is shown; the
    // folder's closing 100 comes after the last one.
    ASSERT_EQ(order.size() + 1, view.StatusAtBar().size());
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(expected[i], view.StatusAtBar()[i]) << "bar step " << i;
}

TEST_F(ApplicationFiles, OverwritesANewerTargetWithoutAVersionTest)
{
    const std::string existing = target + "\\" + kBin + "\\comp.dll";
    PutComponent(lumo_test::component::kVer7_0_0_0, existing);
    PutComponent(lumo_test::component::kVer1_2_3_4, source + "\\comp.dll");
    ASSERT_EQ("7.0.0.0", VersionText(existing));

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    EXPECT_EQ("1.2.3.4", VersionText(existing));
    EXPECT_EQ(ReadFileBytes(source + "\\comp.dll"), ReadFileBytes(existing));
    EXPECT_EQ(std::vector<std::string>{ "  Copiato il file: " + existing }, NewMessages());
}

// Whether a target was there before decides whether a removal takes it: a
// name the folder's listing lacks is not looked up, so one that another
// program makes after the listing is found by the rename, recorded as there
// before, and replaced. In a folder that was there and in one the run makes,
// the first file in walk order was there before the run, the second never is,
// and the last is made while its status shows.
TEST_F(ApplicationFiles, ATargetMadeAfterItsFolderWasListedIsRecordedAsThereBefore)
{
    std::vector<std::pair<std::string, bool>> expected;
    std::map<std::string, std::string> madeDuring;
    for (const std::string folder : { "", "Nuova" }) {
        const std::string from = folder.empty() ? source : source + "\\" + folder;
        const std::string bin = (folder.empty() ? target : target + "\\" + folder) + "\\" + kBin;
        for (const char* name : { "uno.dat", "due.dat", "tre.dat" })
            PutFile(from + "\\" + name, std::string("nuovo ") + name);
        const std::vector<std::string> order = lumo_test::ListEntries(from);
        std::vector<std::string> files;
        std::copy_if(order.begin(), order.end(), std::back_inserter(files),
                     [](const std::string& name) { return name.find('.') != std::string::npos; });
        ASSERT_EQ(3u, files.size());
        if (folder.empty())
            PutFile(bin + "\\" + files[0], "di prima");
        expected.emplace_back(bin + "\\" + files[0], folder.empty());
        expected.emplace_back(bin + "\\" + files[1], false);
        expected.emplace_back(bin + "\\" + files[2], true);
        madeDuring["Copia in " + bin + "\\" + files[2]] = bin + "\\" + files[2];
    }
    std::vector<std::string> made;
    view.onStatus = [&](const std::string& text) {
        const auto at = madeDuring.find(text);
        if (at == madeDuring.end())
            return;
        PutFile(at->second, "di un altro programma");
        made.push_back(at->second);
    };

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    EXPECT_EQ(2u, made.size());
    for (const auto& [path, thereBefore] : expected) {
        const RecordEntry* entry = Engine().Record().Find(path);
        ASSERT_NE(nullptr, entry) << path;
        EXPECT_EQ(thereBefore, entry->ExistedBefore()) << path;
        EXPECT_EQ("nuovo " + NameOf(path), ReadFileBytes(path)) << path;
    }
}

TEST_F(ApplicationFiles, AFailedCopyGivesTheFailedCopyLineAndTheWalkGoesOn)
{
    const std::string locked = target + "\\" + kBin + "\\locked.dll";
    PutFile(locked, "old");
    BlockedCopy blocked(locked);
    PutFile(source + "\\locked.dll", "new");
    PutFile(source + "\\free.txt", "free");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    EXPECT_EQ("old", ReadFileBytes(locked));
    EXPECT_EQ("free", ReadFileBytes(target + "\\" + kBin + "\\free.txt"));
    // A read-only target: the system refuses the new file its name.
    const std::vector<std::string> messages = NewMessages();
    const std::vector<std::string> lines = Sorted({
        "  Copia del file: \\locked.dll NON RIUSCITA!!",
        ErrorReasonLine(ERROR_ACCESS_DENIED),
        "  Copiato il file: " + target + "\\" + kBin + "\\free.txt",
    });
    EXPECT_EQ(lines, Sorted(messages));
    const auto failed = std::find(messages.begin(), messages.end(), "  Copia del file: \\locked.dll NON RIUSCITA!!");
    ASSERT_LT(failed + 1, messages.end());
    EXPECT_EQ(ErrorReasonLine(ERROR_ACCESS_DENIED), *(failed + 1)) << "the reason follows its failure";
}

TEST_F(ApplicationFiles, OnlyThePrimaryDaoCopyDecidesTheLogLine)
{
    // Secondary copy fails, primary succeeds: a success line.
    PutFile(source + "\\dao350.dll", "new dao");
    const std::string secondary = target + "\\" + kDaoSecondary + "\\dao350.dll";
    PutFile(secondary, "old dao");
    auto secondaryBlocked = std::make_unique<BlockedCopy>(secondary);

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));
    secondaryBlocked.reset();
    EXPECT_EQ("old dao", ReadFileBytes(secondary));
    EXPECT_EQ("new dao", ReadFileBytes(target + "\\" + kDao + "\\dao350.dll"));
    EXPECT_EQ(std::vector<std::string>{ "  Copiato il file: " + target + "\\" + kDao + "\\dao350.dll" },
              NewMessages());

    // Primary copy fails, secondary succeeds: a failure line, with the name only.
    const std::string source2 = scratch.Make("FilesToCopy2");
    const std::string target2 = scratch.Make("Programs2");
    PutFile(source2 + "\\DAO2535.TLB", "new tlb");
    const std::string primary = target2 + "\\" + kDao + "\\DAO2535.TLB";
    PutFile(primary, "old tlb");
    auto primaryBlocked = std::make_unique<BlockedCopy>(primary);

    ASSERT_TRUE(Engine().CopyDirAndFiles(source2, target2));
    primaryBlocked.reset();
    EXPECT_EQ("old tlb", ReadFileBytes(primary));
    EXPECT_EQ("new tlb", ReadFileBytes(target2 + "\\" + kDaoSecondary + "\\DAO2535.TLB"));
    EXPECT_EQ((std::vector<std::string>{ "  Copia del file: \\DAO2535.TLB NON RIUSCITA!!",
                                         ErrorReasonLine(ERROR_ACCESS_DENIED) }),
              NewMessages());
}

TEST_F(ApplicationFiles, PercentSignsInNamesReachTheLogAsWritten)
{
    const std::string copied = "100%s%d%n.txt";
    const std::string failed = "%s%s%s.txt";
    PutFile(source + "\\" + copied, "p");
    PutFile(source + "\\" + failed, "new");
    const std::string failedTarget = target + "\\" + kBin + "\\" + failed;
    PutFile(failedTarget, "old");
    BlockedCopy blocked(failedTarget);

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    EXPECT_EQ(Sorted({ "  Copiato il file: " + target + "\\" + kBin + "\\" + copied,
                       "  Copia del file: \\" + failed + " NON RIUSCITA!!", ErrorReasonLine(ERROR_ACCESS_DENIED) }),
              Sorted(NewMessages()));
}

TEST_F(ApplicationFiles, NeverDescendsIntoDotEntries)
{
    // Beside the source: reached only through "..".
    PutFile(scratch.root / "outside.txt", "outside");
    PutFile(source + "\\inside.txt", "inside");
    MakeFolders(source + "\\Empty");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    EXPECT_EQ(std::vector<std::string>{ std::string(kBin) + "\\inside.txt" }, FilesBelow(target));
    EXPECT_TRUE(lumo_test::DirectoryExists(target + "\\Empty"));
    EXPECT_EQ(std::vector<std::string>{ "  Copiato il file: " + target + "\\" + kBin + "\\inside.txt" },
              NewMessages());
}

TEST_F(ApplicationFiles, MirrorsNestedFoldersThreeLevelsDeep)
{
    PutFile(source + "\\top.txt", "0");
    PutFile(source + "\\L1\\one.txt", "1");
    PutFile(source + "\\L1\\L2\\two.txt", "2");
    PutFile(source + "\\L1\\L2\\L3\\three.txt", "3");
    MakeFolders(source + "\\L1\\L2\\L3\\Empty");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    const std::string bin = kBin;
    const std::vector<std::string> expected = Sorted({
        bin + "\\top.txt",
        "L1\\" + bin + "\\one.txt",
        "L1\\L2\\" + bin + "\\two.txt",
        "L1\\L2\\L3\\" + bin + "\\three.txt",
    });
    EXPECT_EQ(expected, FilesBelow(target));
    EXPECT_EQ("3", ReadFileBytes(target + "\\L1\\L2\\L3\\" + bin + "\\three.txt"));
    EXPECT_TRUE(lumo_test::DirectoryExists(target + "\\L1\\L2\\L3\\Empty"));

    std::vector<std::string> lines;
    for (const std::string& file : expected)
        lines.push_back("  Copiato il file: " + target + "\\" + file);
    EXPECT_EQ(Sorted(lines), Sorted(NewMessages()));
}

// The whole pass as the run starts it: the delivery's FilesToCopy beside the
// program into the Program Files folder the registry names.
TEST_F(ApplicationFiles, CopyApplicationFilesTakesFilesToCopyIntoProgramFiles)
{
    // The Program Files folder of 32-bit programs, in every build.
    char programFiles[MAX_PATH] = {};
    ASSERT_EQ(S_OK, ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, programFiles));
    const std::string unique = "lumo-engine-" + std::to_string(::GetCurrentProcessId());
    const std::string delivery = lumo_test::TestProgramFolder() + "\\FilesToCopy";
    const std::string landed = std::string(programFiles) + "\\" + kBin + "\\" + unique + ".txt";
    const std::string landedFolder = std::string(programFiles) + "\\" + unique;
    struct CleanUp {
        std::string delivery, landed, landedFolder;
        ~CleanUp()
        {
            lumo_test::RemoveTree(delivery);
            ::DeleteFileA(landed.c_str());
            lumo_test::RemoveTree(landedFolder);
        }
    } cleanUp{ delivery, landed, landedFolder };
    lumo_test::RemoveTree(delivery);
    PutFile(delivery + "\\" + unique + ".txt", "delivered");
    PutFile(delivery + "\\" + unique + "\\inner.txt", "inner");

    ASSERT_TRUE(Engine().CopyApplicationFiles());

    EXPECT_EQ("delivered", ReadFileBytes(landed));
    const std::string inner = landedFolder + "\\" + kBin + "\\inner.txt";
    EXPECT_EQ("inner", ReadFileBytes(inner));
    const std::vector<std::string> messages = NewMessages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ("*INIZIO COPIA DEI FILES*", messages[0]);
    EXPECT_EQ(Sorted({ "  Copiato il file: " + landed, "  Copiato il file: " + inner }),
              Sorted({ messages[1], messages[2] }));
}

} // namespace
