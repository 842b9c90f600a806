// Files made to mislead a version reader, through the system-file pass: none
// crashes or stalls it; each without a sound version resource is a file whose
// version cannot be read, a failure that the pass never copies, and the one
// whose version is sound is copied.
#include "EngineHarness.h"

#include "CraftedImages.h"
#include "engine/Log.h"
#include "engine/Rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace lumo_engine;

namespace {

TEST_F(EngineTest, HostileFilesAreNeverTakenForUpToDate)
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
        if (versioned) {
            expected.push_back("  Copiato il file: " + target + "\\" + name);
        } else {
            // A version the reader rejects is a failure, never "up to date".
            expected.push_back(UnreadableVersionLine(source + "\\" + name, target + "\\" + name));
            expected.push_back(ErrorReasonLine(ERROR_FILE_CORRUPT));
        }
    }

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
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Engine().ExitCode(true));
}

} // namespace
