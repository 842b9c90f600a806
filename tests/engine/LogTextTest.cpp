// The exact log of one whole pass of each kind, against the expected text in
// expected/. The platform lists a folder's entries in no fixed order, so the
// expected text comes in one block per entry, joined in the listing order.
#include "EngineHarness.h"

#include "components/Components.h"

#include <gtest/gtest.h>

#include <map>

using namespace lumo_engine;
using lumo_test::ScopedInstallDescription;
namespace component = lumo_test::component;

namespace {

struct ExpectedLog {
    std::map<std::string, std::vector<std::string>> blocks;
};

ExpectedLog ReadExpected(const std::string& fileName)
{
    const std::string path = std::string(LUMO_ENGINE_EXPECTED_DIR) + "/" + fileName;
    const std::string text = lumo_test::ReadFileBytes(path);
    if (text.empty())
        throw std::runtime_error("cannot read " + path);
    ExpectedLog expected;
    std::vector<std::string>* block = nullptr;
    for (const std::string& line : lumo_test::SplitLinesAnyEnd(text)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.compare(0, 2, "@ ") == 0) {
            block = &expected.blocks[line.substr(2)];
            continue;
        }
        if (block == nullptr)
            throw std::runtime_error(path + ": a line outside any block: " + line);
        block->push_back(line);
    }
    return expected;
}

std::string Substitute(std::string line, const std::map<std::string, std::string>& values)
{
    // "    (errore N)": the reason line of code N, with the system's own text.
    const std::string reason = "    (errore ";
    if (line.compare(0, reason.size(), reason) == 0 && line.back() == ')') {
        const std::string code = line.substr(reason.size(), line.size() - reason.size() - 1);
        if (code.compare(0, 2, "0x") == 0)
            return ResultReasonLine(static_cast<long>(std::stoul(code, nullptr, 16)));
        return ErrorReasonLine(std::stoul(code));
    }
    for (const auto& [placeholder, value] : values) {
        for (size_t at = line.find(placeholder); at != std::string::npos;
             at = line.find(placeholder, at + value.size()))
            line.replace(at, placeholder.size(), value);
    }
    return line;
}

// The expected lines in the order the source folder lists its entries; every
// entry needs a block and every block an entry.
std::vector<std::string> Compose(const ExpectedLog& expected, const std::string& source,
                                 const std::map<std::string, std::string>& values)
{
    std::vector<std::string> lines;
    const std::vector<std::string> order = lumo_test::ListEntries(source);
    EXPECT_EQ(expected.blocks.size(), order.size()) << "entries in the source folder vs blocks";
    for (const std::string& name : order) {
        const auto block = expected.blocks.find(name);
        if (block == expected.blocks.end()) {
            ADD_FAILURE() << "no expected block for " << name;
            continue;
        }
        for (const std::string& line : block->second)
            lines.push_back(Substitute(line, values));
    }
    return lines;
}

void ExpectSameLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    EXPECT_EQ(expected.size(), actual.size()) << "number of log lines";
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        EXPECT_EQ(i < expected.size() ? expected[i] : std::string("(none)"),
                  i < actual.size() ? actual[i] : std::string("(none)"))
            << "log line " << i + 1;
    }
}

TEST_F(EngineTest, ApplicationPassWritesTheExpectedLog)
{
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nNumeroFiles=6\r\n");
    const std::string source = scratch.Make("FilesToCopy");
    const std::string target = scratch.Make("Programs");
    PutFile(source + "\\dao350.dll", "dao");
    PutFile(source + "\\DAO2535.TLB", "tlb");
    PutFile(source + "\\dao350.dll.bak", "bak");
    PutFile(source + "\\readme.txt", "readme");
    PutFile(source + "\\locked.txt", "new");
    PutFile(source + "\\Sub\\inner.txt", "inner");
    const std::string locked = target + "\\Common Files\\Business Objects\\3.0\\bin\\locked.txt";
    PutFile(locked, "old");
    BlockedCopy blocked(locked);

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, target));

    ExpectSameLines(Compose(ReadExpected("application_pass.txt"), source, { { "{TARGET}", target } }),
                    log.Messages());
}

TEST_F(EngineTest, SystemPassWritesTheExpectedLog)
{
    const std::string source = scratch.Make("SysFile");
    const std::string target = scratch.Make("System");
    const std::string sharedFolder = scratch.root / "Shared\\Bin";
    ScopedInstallDescription ini("[DESCRIZIONI]\r\nNumeroSysFiles=9\r\n[SYSFILE]\r\nolder.dll=SYSPATH|REG\r\n"
                                 "plain.dll=SYSPATH|\r\nshared.dll=" +
                                 sharedFolder + "|REG\r\n");
    PutComponent(component::kVer2_0_0_0, source + "\\newer.dll");
    PutComponent(component::kVer1_9_9_9, target + "\\newer.dll");
    PutComponent(component::kVer1_2_3_4, source + "\\same.dll");
    PutComponent(component::kVer1_2_3_4, target + "\\same.dll");
    PutComponent(component::kVer1_2_3_4, source + "\\older.dll");
    PutComponent(component::kVer1_2_3_5, target + "\\older.dll");
    PutComponent(component::kRegisterOk, source + "\\plain.dll");
    PutComponent(component::kRegisterNoEntry, source + "\\noentry.dll");
    PutComponent(component::kRegisterFail, source + "\\fail.dll");
    PutComponent(component::kVer2_0_0_0, source + "\\folder.dll");
    MakeFolders(target + "\\folder.dll");
    PutComponent(component::kRegisterOk, source + "\\shared.dll");
    PutFile(source + "\\notes.txt", "notes");

    ASSERT_TRUE(Engine().CopyAndRegisterSysFiles(source, target));

    ExpectSameLines(Compose(ReadExpected("system_pass.txt"), source,
                            { { "{TARGET}", target }, { "{SHARED}", Upper(sharedFolder) } }),
                    log.Messages());
}

} // namespace
