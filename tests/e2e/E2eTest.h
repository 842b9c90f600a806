// The fixture of the end-to-end tests: names no other test uses, the usual
// description file, program starts that never outlive the test, and the
// clean-up of what a run leaves in the registry and on disk.
#pragma once

#include "e2e/Driver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace lumo_e2e {

// Values of the usual description file.
extern const char kCaption[];
extern const char kProceduraIni[];
extern const char kProcedura1Ini[];
extern const char kProceduraShown[];
extern const char kProcedura1Shown[];
extern const char kSuccessText[];
extern const char kErrorText[];

// The marker lines of one run, in order.
extern const char* const kRunMarkers[6];

// What the completion page says after a failed run.
extern const char kFailureHint[];
// What the completion page template says, left alone after a successful run.
extern const char kSuccessHint[];

// The exit codes of a silent run, written out here rather than taken from the
// program, so that a code that changes by mistake fails the tests.
constexpr DWORD kSuccess = 0;
constexpr DWORD kRemoved = 0;
constexpr DWORD kUserExit = 1602;
constexpr DWORD kFailure = 1603;
constexpr DWORD kUnknownProduct = 1605;
constexpr DWORD kAlreadyRunning = 1618;
constexpr DWORD kNoDescription = 1619;
constexpr DWORD kRestartNeeded = 3010;

// Whether any of the lines holds the text.
bool HasLineWith(const std::vector<std::string>& lines, const std::string& part);

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Unique for this test in this run, usable in file and key names.
    const std::string& Unique() const { return unique_; }
    std::string PathKey() const { return "Software\\LumoE2E\\" + unique_; }
    // The product's entry of Programs and Features, below HKEY_LOCAL_MACHINE.
    std::string UninstallKey() const
    {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LumoE2E." + unique_;
    }
    std::string InstallDir() const { return installRoot_->Path() + "\\Tesmoro"; }
    std::string LogPath() const { return InstallDir() + "\\Installatore.log"; }
    // The product's home below the 32-bit Program Files: its record and the
    // program its entry starts. Found here through the older shell call, not
    // the one the program uses.
    static std::string HomeRoot();
    std::string HomeDir() const { return HomeRoot() + "\\LumoE2E." + unique_; }
    std::string Program() const { return HomeDir() + "\\LumoInstall.exe"; }
    std::string RecordPath() const { return HomeDir() + "\\Installatore-elenco.txt"; }

    // The description file of a normal delivery; extra lines go to [DESCRIZIONI].
    std::string StandardIni(const std::string& extraDescriptions = "") const;

    // A delivery with the usual description file and a few small files.
    std::unique_ptr<Delivery> StandardDelivery(const std::string& exeName = "LumoInstall.exe",
                                               const std::string& sourceExe = ProductExe());

    // Adds count application files of size bytes each, with names of this test.
    void AddAppFiles(const Delivery& delivery, int count, size_t size);
    // Where those files land, in the order they were added.
    const std::vector<std::string>& AppFileTargets() const { return appFiles_; }
    // Removes them from where they landed.
    void RemoveInstalledAppFiles() const;

    // A file of this test's own on the machine, removed with its shared
    // count at the end of the test.
    std::string Placed(const std::string& path);
    // A shared file that may have been there before the test: what it was
    // (the file, its count) comes back at the end. Returns the count a run
    // of the product must give it.
    long long Shared(const std::string& path);
    // Where the run puts the application files.
    static std::string AppTargetFolder();

    // Starts the program of the delivery; arguments follow its quoted path.
    Process& Start(const Delivery& delivery, const std::string& arguments = "",
                   const std::vector<std::pair<std::string, std::string>>& extraEnv = {});
    Process& StartCommandLine(const std::string& exe, const std::string& commandLine,
                              const std::vector<std::pair<std::string, std::string>>& extraEnv = {});

    // Starts it and waits for its wizard.
    Wizard StartWizard(Process*& process, const Delivery& delivery,
                       const std::vector<std::pair<std::string, std::string>>& extraEnv = {});

    // Presses Installa and waits for the end of the run.
    HWND RunToCompletion(const Wizard& wizard);
    // Waits until the completion page shows and the run has handed back
    // control; null when the page never came.
    HWND WaitForCompletion(const Wizard& wizard);
    // Ends the program with Exit on the completion page of a successful run:
    // no question may come first.
    static void FinishWithoutQuestion(Process& process, const Wizard& wizard);
    // One whole successful run of the delivery, by a click on Installa;
    // the program's exit code.
    DWORD RunOnce(const Delivery& delivery);
    struct RunResult {
        bool ended = false;
        DWORD exitCode = STILL_ACTIVE;
        // A run that ends on its own, with success.
        bool Clean() const { return ended && exitCode == 0; }
    };
    // The product's silent removal by the program in its home, started as the
    // entry's QuietUninstallString starts it.
    RunResult RemoveQuietly(const std::vector<std::pair<std::string, std::string>>& extraEnv = {});
    // Runs the program to its end, failing for every visible window and every
    // dialog (visible or not) it makes on the way.
    RunResult RunWithoutWindow(const Delivery& delivery, const std::string& arguments,
                               const std::vector<std::pair<std::string, std::string>>& extraEnv = {},
                               DWORD timeoutMs = kRunTimeoutMs);
    // Waits for the end of a program whose windows are done with; its exit
    // code, or STILL_ACTIVE when it did not end in time.
    static DWORD ExitCodeOf(const Process& process);

    // Answers the exit question with Yes and waits for the end.
    void ConfirmExit(Process& process);
    // Esc on the focused window of the program, as the keyboard would send it.
    static void PressKey(const Process& process, const Wizard& wizard, WORD key);

    // The log's lines without their line ends.
    std::vector<std::string> LogLines() const;
    // Every message of the log, without its time stamp.
    std::vector<std::string> LogMessages() const;
    // Only the marker lines, without their time stamps.
    std::vector<std::string> LogMarkers() const;

private:
    std::string unique_;
    std::unique_ptr<lumo_test::TempDir> installRoot_;
    std::vector<std::unique_ptr<Process>> processes_;
    std::vector<std::string> appFiles_;
    std::vector<std::string> placed_;
    std::vector<std::pair<std::string, long long>> sharedBefore_;
};

// Wine only: its per-program DLL overrides switch the system registrar's
// library off for one program name, so that a registration script cannot run.
class RegistrarSwitchedOff {
public:
    explicit RegistrarSwitchedOff(const std::string& exeName);
    ~RegistrarSwitchedOff();
    RegistrarSwitchedOff(const RegistrarSwitchedOff&) = delete;
    RegistrarSwitchedOff& operator=(const RegistrarSwitchedOff&) = delete;

private:
    std::string key_;
};

// True when the line starts with "[m/d/yyyy - h:m:s:ms]"; message receives the rest.
bool SplitLogLine(const std::string& line, std::string& message);

// The names of a folder, in capitals, in the order a walk meets them: the
// file system's.
std::vector<std::string> WalkOrder(const std::string& folder);

} // namespace lumo_e2e
