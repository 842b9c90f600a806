// Drives the built installer from outside, as a user would: a delivery folder
// to start it from, the process, its windows, their texts and states, keys,
// clicks, message boxes and screen captures. Every wait is bounded.
#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lumo_e2e {

// Bounds that only catch a hang, each more than ten times the longest wait it
// has seen with both builds' suites and a full build running at once on two
// cores (a window or program starting: 4.6 s; a run, the i686 wizard's
// thousand files included: 119 s; a program ending: 4.5 s).
constexpr DWORD kStartTimeoutMs = 120000;
constexpr DWORD kRunTimeoutMs = 1500000;
constexpr DWORD kExitTimeoutMs = 60000;

// The built programs as paths with backslashes.
std::string ProductExe();
std::string FaultsExe();

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 20);

// A delivery folder inside a fresh temporary folder: the program under a
// chosen name, Installatore.ini and the FilesToCopy and SysFile trees.
class Delivery {
public:
    // folderName may hold path separators to make a deeper folder.
    explicit Delivery(const std::string& folderName = "deliv", const std::string& exeName = "LumoInstall.exe",
                      const std::string& sourceExe = ProductExe());

    const std::string& Folder() const { return folder_; }
    const std::string& ExePath() const { return exe_; }

    void WriteIni(const std::string& bytes) const;
    // relative may name subfolders ("a\\b.dll"); they are made as needed.
    void AddAppFile(const std::string& relative, const std::string& bytes) const;
    void AddSysFile(const std::string& relative, const std::string& bytes) const;
    // Makes the trees exist even when empty.
    void MakeTrees() const;

private:
    void AddFile(const std::string& path, const std::string& bytes) const;

    lumo_test::TempDir root_;
    std::string folder_;
    std::string exe_;
};

// One started program. Whatever still runs when the object goes is killed.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // commandLine is the whole command line, program path included; the
    // texts are UTF-8. extraEnv is added to (or overrides) this process's
    // environment.
    bool Start(const std::string& application, const std::string& commandLine, const std::string& currentDir = "",
               const std::vector<std::pair<std::string, std::string>>& extraEnv = {});

    DWORD Id() const { return processId_; }
    DWORD ThreadId() const { return threadId_; }
    bool Running() const;
    // True when it ended within the time; exitCode receives its code.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    // Ends it if it still runs and waits for the end.
    void Kill();

private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
};

// Windows of other processes.
std::string ClassName(HWND hwnd);
std::string Text(HWND hwnd);
bool IsDialog(HWND hwnd);
// Top-level windows of a process, hidden ones too when visibleOnly is false.
std::vector<HWND> TopLevelWindows(DWORD processId, bool visibleOnly);
// The visible top-level dialog of the process holding the control id.
HWND FindDialogWithControl(DWORD processId, int controlId);
// A visible message box of the process (a dialog whose static 0xFFFF holds the text).
HWND FindMessageBox(DWORD processId);
HWND WaitForWindow(const std::function<HWND()>& find, DWORD timeoutMs);
// The direct child dialog of parent that holds the control id, visible or not.
HWND ChildDialogWithControl(HWND parent, int controlId);
// The window of the thread that has the keyboard focus, or null.
HWND FocusOfThread(DWORD threadId);

// Posts a key press (down and up) as the keyboard would deliver it.
void PostKey(HWND target, WORD virtualKey);
// A button click as the button itself reports it to its dialog.
void PostClick(HWND dialog, int buttonId);

// The installer's main window and its pages.
class Wizard {
public:
    explicit Wizard(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }

    HWND Button(int id) const { return ::GetDlgItem(hwnd_, id); }
    std::string ButtonText(int id) const { return Text(Button(id)); }
    bool ButtonVisible(int id) const;
    bool ButtonEnabled(int id) const;

    // Each page found by a control only it holds; null when it does not exist.
    HWND WelcomePage() const;
    HWND ProgressPage() const;
    HWND CompletionPage() const;
    static std::string ItemText(HWND page, int id) { return Text(::GetDlgItem(page, id)); }

private:
    HWND hwnd_;
};

// The wizard of the process, once it is visible.
Wizard WaitForWizard(const Process& process, DWORD timeoutMs);

enum class BoxIcon { None, Stop, Question, Exclamation, Information, Unknown };
const char* BoxIconName(BoxIcon icon);

struct MessageBoxState {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons; // visible button ids, in window order
    int defaultButton = 0;
    BoxIcon icon = BoxIcon::None;
};
MessageBoxState ReadMessageBox(HWND box);
// Waits for a message box of the process and reads it; hwnd stays null when none came.
MessageBoxState WaitForMessageBox(const Process& process, DWORD timeoutMs);

// A 24-bit picture of a window as it is on the screen, rows top down.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
    COLORREF Pixel(int x, int y) const;
    bool SaveBmp(const std::string& path) const;
};
// The window's screen area; origin receives the top-left screen point.
bool CaptureWindow(HWND hwnd, Image& image, POINT* origin = nullptr);

// Where screenshots go: LUMO_SCREENSHOT_DIR, else "screenshots" beside the test program.
std::string ScreenshotDir();

// Installatore.ini text from sections of key=value pairs.
using IniSection = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;
std::string IniText(const std::vector<IniSection>& sections);

} // namespace lumo_e2e
