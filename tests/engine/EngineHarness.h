// What the engine tests share: a live wizard whose progress bar and status
// line are watched, the run's log captured into a file, and the helpers that
// lay out folder trees and read back what a pass did.
#pragma once

#include "TestSupport.h"
#include "wizard/WizardDialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace lumo_engine {

// A modeless wizard with the run's controls wired as the run wires them, and
// a record of every position sent to the bar and every status text shown.
class WizardHarness {
public:
    WizardHarness();
    ~WizardHarness();
    WizardHarness(const WizardHarness&) = delete;
    WizardHarness& operator=(const WizardHarness&) = delete;

    WizardDialog& Wizard() { return wizard_; }

    // The raw wParam of each PBM_SETPOS, in order.
    const std::vector<int>& BarPositions() const { return barPositions_; }
    // The control's own position (PBM_GETPOS) right after each PBM_SETPOS.
    const std::vector<int>& ControlPositions() const { return controlPositions_; }
    // The status line's text at the moment of each PBM_SETPOS.
    const std::vector<std::string>& StatusAtBar() const { return statusAtBar_; }
    // Every text the status line was given, in order.
    const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
    void ClearRecords();

private:
    static LRESULT CALLBACK BarProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK StatusProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    WizardDialog wizard_{ nullptr };
    HWND bar_ = nullptr;
    HWND status_ = nullptr;
    std::vector<int> barPositions_;
    std::vector<int> controlPositions_;
    std::vector<std::string> statusAtBar_;
    std::vector<std::string> statusTexts_;
};

// The product's log pointed at a file of the test's for the object's lifetime.
class LogCapture {
public:
    explicit LogCapture(const std::string& path);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages written so far, time stamps removed. A line without a
    // well-formed time stamp or without CR LF is reported as a test failure.
    std::vector<std::string> Messages() const;

private:
    std::string path_;
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
// watched wizard, all fresh for each test.
class EngineTest : public ::testing::Test {
protected:
    ~EngineTest() override;

    WizardDialog& Wizard() { return harness.Wizard(); }
    // The log messages written since the previous call.
    std::vector<std::string> NewMessages();

    Scratch scratch;
    LogCapture log{ scratch.root / "run.log" };
    WizardHarness harness;

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

// Unloads a module loaded from path (a registered copy stays loaded) so that
// the file can go.
void UnloadModule(const std::string& path);
// The same for every module loaded from below the folder.
void UnloadModulesBelow(const std::string& folder);

// Upper case as the system's code page makes it.
std::string Upper(std::string text);

} // namespace lumo_engine
