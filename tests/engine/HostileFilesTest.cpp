// Files made to mislead a version reader, through the system-file pass: none
// crashes or stalls it; each without a sound version resource is a file
// without a version, which the pass never copies, and the one whose version
// is sound is copied.
#include "EngineHarness.h"

#include "CraftedImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace lumo_engine;

namespace {

TEST_F(EngineTest, HostileFilesAreReadAsUnversioned)
{
    const std::vector<lumo_crafted::HostileFile> files = lumo_crafted::HostileFiles();
    // Loading the crafted export table for registration is another matter:
    // this file is only copied.
    lumo_test::ScopedInstallDescription ini("[SYSFILE]\r\nh" + std::to_string(files.size() - 1) + ".dll=SYSPATH|\r\n");
    const std::string source = scratch.Make("SysFile");
    const std::string target = scratch.Make("System");
    std::vector<std::string> expected;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = "h" + std::to_string(i) + ".dll";
        lumo_crafted::WriteGrown(source + "\\" + name, files[i].bytes, files[i].size);
        const bool versioned = std::strncmp(files[i].name, "64 MB", 5) == 0;
        expected.push_back(versioned ? "  Copiato il file: " + target + "\\" + name
                                     : "  FILE " + target + "\\" + name +
                                           " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ");
    }
    Engine().failedItems = 0;

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Engine().CopyAndRegisterSysFiles(source, target));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    ::testing::Test::RecordProperty("pass", std::to_string(elapsed.count() * 1000) + " ms");
    // Only a hang (the copy of 64 MB included): the reader's work on each file
    // is held to its bound by the reader's own tests.
    EXPECT_LT(elapsed.count(), lumo_test::kHangSeconds);

    std::vector<std::string> messages = NewMessages();
    std::sort(messages.begin(), messages.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, messages);
    EXPECT_EQ(0, Engine().failedItems);
}

} // namespace
