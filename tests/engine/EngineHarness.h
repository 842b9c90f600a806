// What the engine tests share: a run over the test program's own delivery
// folder, seen through a view that records what it is shown, its log captured
// into a file, and the helpers that lay out folder trees and read back what a
// pass did. No window is involved: the engine tests need no display.
#pragma once

#include "TestSupport.h"
#include "engine/Log.h"
#include "engine/Delivery.h"
#include "engine/Installation.h"
#include "engine/ProgressView.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumo_engine {

// Records every position and status text a run shows, in order.
class RecordingView : public WindowlessView {
public:
    void ShowStatus(const std::string& text) override;
    void ShowPosition(int position) override;
    // Shown as the wizard shows them: large files go to the copying thread.
    bool HasWindow() const override { return true; }

    // Every position, as the run gave it.
    const std::vector<int>& BarPositions() const { return barPositions_; }
    // The status text shown at the moment of each position.
    const std::vector<std::string>& StatusAtBar() const { return statusAtBar_; }
    // Every status text, in order.
    const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
    void ClearRecords();
    // Called with each status text as it is shown, before the work it names.
    std::function<void(const std::string&)> onStatus;

private:
    std::string status_;
    std::vector<int> barPositions_;
    std::vector<std::string> statusAtBar_;
    std::vector<std::string> statusTexts_;
};

// A run's log opened on a file of the test's for the object's lifetime.
class LogCapture {
public:
    explicit LogCapture(const std::string& path);
    ~LogCapture();

    InstallLog& Log() { return log_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages written so far, time stamps removed. A line without a
    // well-formed time stamp or without CR LF is reported as a test failure.
    std::vector<std::string> Messages() const;

private:
    std::string path_;
    InstallLog log_;
};

// Differs from one run of the test program to the next. Registration counters
// outlive a run and Wine reuses process ids, so paths that get registered carry
// it to be new in every run.
const std::string& RunTag();

// A fresh tree for one test: a log, and room for sources and targets.
struct Scratch {
    lumo_test::TempDir root{ "lumo-eng-" + RunTag() };
    std::string Make(const std::string& relative) const;
};

// The base of the engine tests: a scratch tree, the log captured into it and a
// run over the test program's folder as its delivery, all fresh for each test.
class EngineTest : public ::testing::Test {
protected:
    ~EngineTest() override;

    Installation& Engine() { return run; }
    // The log messages written since the previous call.
    std::vector<std::string> NewMessages();

    Scratch scratch;
    LogCapture log{ scratch.root / "run.log" };
    RecordingView view;
    Delivery delivery{ lumo_test::TestProgramFolder() };
    Installation run{ delivery, log.Log(), view };

private:
    size_t seen_ = 0;
};

// Makes the folder and all its parents.
void MakeFolders(const std::string& path);
// Writes the bytes, making the parent folders first.
void PutFile(const std::string& path, const std::string& bytes);
// Copies a built component to path, making the parent folders first.
void PutComponent(const std::string& component, const std::string& path);

// Every file below the folder, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& folder);

// The four-part version of a file as "a.b.c.d"; "0.0.0.0" when it has none.
std::string VersionText(const std::string& path);

// How many of the messages are exactly the given one.
size_t CountOf(const std::vector<std::string>& messages, const std::string& message);

// The file kept open for reading, sharing only reading, for the object's
// lifetime: it can then be neither written nor replaced, but still be loaded.
// (Wine does not enforce the read-only attribute for a process running as
// root, so that attribute cannot make a copy fail here.)
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path);
    ~HeldOpen();
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
    HANDLE handle_;
};

// Makes every copy onto the target fail while the object lives, the target's
// bytes untouched: the rename that puts the new file in place is refused
// with access denied. Windows refuses it over a read-only file; Wine only
// over a file that is open, so the target is read-only (which tells the
// program it is not a file in use to work around) and held open too. (The
// folder the new file is written in first is always made new by the run,
// so nothing planted there could block the copy.)
class BlockedCopy {
public:
    explicit BlockedCopy(const std::string& target);
    ~BlockedCopy();
    BlockedCopy(const BlockedCopy&) = delete;
    BlockedCopy& operator=(const BlockedCopy&) = delete;

private:
    std::string target_;
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

// Unloads a module loaded from path (a registered copy stays loaded) so that
// the file can go.
void UnloadModule(const std::string& path);
// The same for every module loaded from below the folder.
void UnloadModulesBelow(const std::string& folder);

// Upper case as the system's code page makes it.
std::string Upper(std::string text);

} // namespace lumo_engine
