#include "e2e/Driver.h"

#include "framework/Text.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace lumo_e2e {

namespace {

std::string Backslashed(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Makes every folder of an absolute path, left to right.
void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        ::CreateDirectoryW(Wide(path.substr(0, at)).c_str(), nullptr);
    ::CreateDirectoryW(Wide(path).c_str(), nullptr);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The environment block of this process with some variables set anew.
std::string EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& extra)
{
    std::vector<std::string> entries;
    if (char* block = ::GetEnvironmentStringsA()) {
        for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1)
            entries.emplace_back(p);
        ::FreeEnvironmentStringsA(block);
    }
    for (const auto& variable : extra) {
        const std::string prefix = variable.first + "=";
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::string& entry) {
                                         return entry.size() >= prefix.size() &&
                                                ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry.data(),
                                                                 static_cast<int>(prefix.size()), prefix.data(),
                                                                 static_cast<int>(prefix.size())) == CSTR_EQUAL;
                                     }),
                      entries.end());
        entries.push_back(prefix + variable.second);
    }
    std::string block;
    for (const auto& entry : entries) {
        block += entry;
        block += '\0';
    }
    block += '\0';
    return block;
}

// A crash of a started program must end it at once with its exception code,
// never wait on a dialog that nobody answers: the error mode is inherited on
// Windows; the emulator's crash handler reads its own setting.
void KeepCrashesUnattended()
{
    static const bool done = [] {
        ::SetErrorMode(::GetErrorMode() | SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr) == ERROR_SUCCESS) {
            const DWORD show = 0;
            ::RegSetValueExA(key, "ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&show),
                             sizeof(show));
            ::RegCloseKey(key);
        }
        return true;
    }();
    (void)done;
}

struct EnumRequest {
    DWORD processId;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lParam)
{
    auto* request = reinterpret_cast<EnumRequest*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == request->processId && (!request->visibleOnly || ::IsWindowVisible(hwnd)))
        request->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> DirectChildren(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

bool IsBoxText(HWND box, HWND control)
{
    return ::GetParent(control) == box && ::GetDlgCtrlID(control) == 0xFFFF && ClassName(control) == "Static";
}

// Mean difference per colour channel between two pictures of the same size.
double Difference(const Image& a, const Image& b)
{
    double sum = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const COLORREF p = a.Pixel(x, y);
            const COLORREF q = b.Pixel(x, y);
            sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
                   std::abs(GetBValue(p) - GetBValue(q));
        }
    }
    const double count = 3.0 * a.width * a.height;
    return count > 0 ? sum / count : 0;
}

bool ReadBitmap(HDC dc, HBITMAP bitmap, int width, int height, Image& image)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> padded(static_cast<size_t>(stride) * height);
    if (::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), padded.data(), &info, DIB_RGB_COLORS) != height)
        return false;
    image.width = width;
    image.height = height;
    image.bgr.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        std::copy_n(padded.begin() + static_cast<ptrdiff_t>(y) * stride, width * 3,
                    image.bgr.begin() + static_cast<ptrdiff_t>(y) * width * 3);
    return true;
}

// One standard icon drawn as the message box's icon control draws it: stretched
// over the control, on the control's background.
bool RenderIcon(LPCSTR iconId, int width, int height, COLORREF background, Image& image)
{
    HICON icon = ::LoadIconA(nullptr, iconId);
    if (icon == nullptr)
        return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    HBRUSH brush = ::CreateSolidBrush(background);
    const RECT all{ 0, 0, width, height };
    ::FillRect(memory, &all, brush);
    ::DeleteObject(brush);
    ::DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    ::SelectObject(memory, previous);
    const bool ok = ReadBitmap(memory, bitmap, width, height, image);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

BoxIcon IdentifyIcon(HWND box)
{
    HWND iconControl = nullptr;
    for (HWND child : DirectChildren(box)) {
        if (ClassName(child) == "Static" && ::IsWindowVisible(child) &&
            (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            iconControl = child;
    }
    if (iconControl == nullptr)
        return BoxIcon::None;

    Image shot;
    POINT origin{};
    if (!CaptureWindow(box, shot, &origin))
        return BoxIcon::Unknown;
    RECT rect{};
    ::GetWindowRect(iconControl, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int left = rect.left - origin.x;
    const int top = rect.top - origin.y;
    if (width <= 0 || height <= 0 || left < 0 || top < 0 || left + width > shot.width || top + height > shot.height)
        return BoxIcon::Unknown;
    Image shown;
    shown.width = width;
    shown.height = height;
    shown.bgr.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        std::copy_n(shot.bgr.begin() + (static_cast<ptrdiff_t>(top + y) * shot.width + left) * 3, width * 3,
                    shown.bgr.begin() + static_cast<ptrdiff_t>(y) * width * 3);

    // Standard icons have transparent corners, so the corner shows the background.
    const COLORREF background = shown.Pixel(0, 0);
    const std::pair<BoxIcon, LPCSTR> candidates[] = {
        { BoxIcon::Stop, MAKEINTRESOURCEA(32513) },        // IDI_HAND
        { BoxIcon::Question, MAKEINTRESOURCEA(32514) },    // IDI_QUESTION
        { BoxIcon::Exclamation, MAKEINTRESOURCEA(32515) }, // IDI_EXCLAMATION
        { BoxIcon::Information, MAKEINTRESOURCEA(32516) }, // IDI_ASTERISK
    };
    BoxIcon best = BoxIcon::Unknown;
    double bestDifference = 1e9;
    for (const auto& candidate : candidates) {
        Image drawn;
        if (!RenderIcon(candidate.second, width, height, background, drawn))
            continue;
        const double difference = Difference(shown, drawn);
        if (difference < bestDifference) {
            bestDifference = difference;
            best = candidate.first;
        }
    }
    // Anti-aliased edges may differ by a shade; another icon differs by far more.
    return bestDifference < 4.0 ? best : BoxIcon::Unknown;
}

} // namespace

std::string ProductExe()
{
    return Backslashed(LUMO_EXE_PATH);
}

std::string FaultsExe()
{
    return Backslashed(LUMO_FAULTS_EXE_PATH);
}

namespace {

// The longest a wait that ended in what it waited for has taken, for each
// bound, kept in the results of the test that took it: the evidence that a
// bound is far beyond what a working program needs on a busy machine.
void NoteWait(DWORD boundMs, ULONGLONG startedMs)
{
    static std::map<DWORD, ULONGLONG> longest;
    const ULONGLONG took = ::GetTickCount64() - startedMs;
    ULONGLONG& worst = longest[boundMs];
    if (took <= worst)
        return;
    worst = took;
    ::testing::Test::RecordProperty("longest wait, bound " + std::to_string(boundMs) + " ms",
                                    std::to_string(took) + " ms");
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs)
{
    const ULONGLONG started = ::GetTickCount64();
    const ULONGLONG end = started + timeoutMs;
    for (;;) {
        if (condition()) {
            NoteWait(timeoutMs, started);
            return true;
        }
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(stepMs);
    }
}

// ---------------------------------------------------------------------------

Delivery::Delivery(const std::string& folderName, const std::string& exeName, const std::string& sourceExe)
    : root_("lumo-e2e"), folder_(root_ / folderName), exe_(folder_ + "\\" + exeName)
{
    MakeFolders(folder_);
    if (!::CopyFileA(sourceExe.c_str(), exe_.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + sourceExe + " to " + exe_);
}

void Delivery::WriteIni(const std::string& bytes) const
{
    lumo_test::WriteFileBytes(folder_ + "\\Installatore.ini", bytes);
}

void Delivery::AddAppFile(const std::string& relative, const std::string& bytes) const
{
    AddFile(folder_ + "\\FilesToCopy\\" + relative, bytes);
}

void Delivery::AddSysFile(const std::string& relative, const std::string& bytes) const
{
    AddFile(folder_ + "\\SysFile\\" + relative, bytes);
}

void Delivery::MakeTrees() const
{
    MakeFolders(folder_ + "\\FilesToCopy");
    MakeFolders(folder_ + "\\SysFile");
}

void Delivery::AddFile(const std::string& path, const std::string& bytes) const
{
    MakeFolders(FolderOf(path));
    lumo_test::WriteFileBytes(path, bytes);
}

// ---------------------------------------------------------------------------

Process::~Process()
{
    Kill();
    if (thread_ != nullptr)
        ::CloseHandle(thread_);
    if (process_ != nullptr)
        ::CloseHandle(process_);
}

bool Process::Start(const std::string& application, const std::string& commandLine, const std::string& currentDir,
                    const std::vector<std::pair<std::string, std::string>>& extraEnv)
{
    // Wide, so that an argument keeps characters the code page lacks.
    std::wstring mutableLine = Wide(commandLine);
    const std::wstring folder = Wide(currentDir);
    std::string environment;
    if (!extraEnv.empty())
        environment = EnvironmentWith(extraEnv);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    KeepCrashesUnattended();
    if (!lumo_test::StartProgram([&] {
            return ::CreateProcessW(Wide(application).c_str(), &mutableLine[0], nullptr, nullptr, FALSE, 0,
                                    environment.empty() ? nullptr : &environment[0],
                                    folder.empty() ? nullptr : folder.c_str(), &startup, &info);
        }))
        return false;
    process_ = info.hProcess;
    thread_ = info.hThread;
    processId_ = info.dwProcessId;
    threadId_ = info.dwThreadId;
    return true;
}

bool Process::Running() const
{
    return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitExit(DWORD timeoutMs, DWORD* exitCode) const
{
    const ULONGLONG started = ::GetTickCount64();
    if (process_ == nullptr || ::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    NoteWait(timeoutMs, started);
    if (exitCode != nullptr)
        ::GetExitCodeProcess(process_, exitCode);
    return true;
}

void Process::Kill()
{
    if (!Running())
        return;
    ::TerminateProcess(process_, 0xDEAD);
    ::WaitForSingleObject(process_, 10000);
}

// ---------------------------------------------------------------------------

std::string ClassName(HWND hwnd)
{
    char name[256] = {};
    return ::GetClassNameA(hwnd, name, sizeof(name)) > 0 ? name : "";
}

std::string Text(HWND hwnd)
{
    if (hwnd == nullptr)
        return std::string();
    // For windows of another process this reads the text the system keeps,
    // without a message that a busy program would have to answer.
    std::vector<char> buffer(4096);
    const int length = ::GetWindowTextA(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsDialog(HWND hwnd)
{
    return ClassName(hwnd) == "#32770";
}

std::vector<HWND> TopLevelWindows(DWORD processId, bool visibleOnly)
{
    EnumRequest request{ processId, visibleOnly, {} };
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND FindDialogWithControl(DWORD processId, int controlId)
{
    for (HWND hwnd : TopLevelWindows(processId, true)) {
        if (IsDialog(hwnd) && ::GetDlgItem(hwnd, controlId) != nullptr)
            return hwnd;
    }
    return nullptr;
}

HWND FindMessageBox(DWORD processId)
{
    for (HWND hwnd : TopLevelWindows(processId, true)) {
        if (!IsDialog(hwnd))
            continue;
        HWND text = ::GetDlgItem(hwnd, 0xFFFF);
        if (text != nullptr && IsBoxText(hwnd, text))
            return hwnd;
    }
    return nullptr;
}

HWND WaitForWindow(const std::function<HWND()>& find, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = find()) != nullptr; }, timeoutMs);
    return found;
}

HWND ChildDialogWithControl(HWND parent, int controlId)
{
    for (HWND child : DirectChildren(parent)) {
        if (IsDialog(child) && ::GetDlgItem(child, controlId) != nullptr)
            return child;
    }
    return nullptr;
}

HWND FocusOfThread(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (::GetGUIThreadInfo(threadId, &info) && info.hwndFocus != nullptr)
        return info.hwndFocus;
    // Sharing the input state shows the other thread's focus as our own.
    HWND focus = nullptr;
    const DWORD self = ::GetCurrentThreadId();
    if (::AttachThreadInput(self, threadId, TRUE)) {
        focus = ::GetFocus();
        ::AttachThreadInput(self, threadId, FALSE);
    }
    return focus;
}

void PostKey(HWND target, WORD virtualKey)
{
    const UINT scan = ::MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    ::PostMessageA(target, WM_KEYDOWN, virtualKey, down);
    ::PostMessageA(target, WM_KEYUP, virtualKey, up);
}

void PostClick(HWND dialog, int buttonId)
{
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, buttonId)));
}

// ---------------------------------------------------------------------------

bool Wizard::ButtonVisible(int id) const
{
    HWND button = Button(id);
    return button != nullptr && ::IsWindowVisible(button);
}

bool Wizard::ButtonEnabled(int id) const
{
    HWND button = Button(id);
    return button != nullptr && ::IsWindowEnabled(button);
}

HWND Wizard::WelcomePage() const
{
    return ChildDialogWithControl(hwnd_, IDC_ADVICE);
}

HWND Wizard::ProgressPage() const
{
    return ChildDialogWithControl(hwnd_, IDC_PROGRESS_BAR);
}

HWND Wizard::CompletionPage() const
{
    return ChildDialogWithControl(hwnd_, IDC_START_CLIENT);
}

Wizard WaitForWizard(const Process& process, DWORD timeoutMs)
{
    const DWORD id = process.Id();
    return Wizard(WaitForWindow([id] { return FindDialogWithControl(id, IDC_NEXT); }, timeoutMs));
}

const char* BoxIconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None:
        return "none";
    case BoxIcon::Stop:
        return "stop";
    case BoxIcon::Question:
        return "question";
    case BoxIcon::Exclamation:
        return "exclamation";
    case BoxIcon::Information:
        return "information";
    case BoxIcon::Unknown:
        break;
    }
    return "unknown";
}

MessageBoxState ReadMessageBox(HWND box)
{
    MessageBoxState state;
    state.hwnd = box;
    state.caption = Text(box);
    state.text = Text(::GetDlgItem(box, 0xFFFF));
    for (HWND child : DirectChildren(box)) {
        if (ClassName(child) != "Button" || !::IsWindowVisible(child))
            continue;
        state.buttons.push_back(::GetDlgCtrlID(child));
        // The box marks its default by the button's style; the dialog's own
        // default id may still name a button the box has hidden.
        if ((::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            state.defaultButton = ::GetDlgCtrlID(child);
    }
    // The icon is painted a moment after the box appears.
    WaitUntil([&] { return (state.icon = IdentifyIcon(box)) != BoxIcon::Unknown; }, kStartTimeoutMs, 100);
    return state;
}

MessageBoxState WaitForMessageBox(const Process& process, DWORD timeoutMs)
{
    const DWORD id = process.Id();
    HWND box = WaitForWindow([id] { return FindMessageBox(id); }, timeoutMs);
    if (box == nullptr)
        return MessageBoxState{};
    return ReadMessageBox(box);
}

// ---------------------------------------------------------------------------

COLORREF Image::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CLR_INVALID;
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return RGB(bgr[at + 2], bgr[at + 1], bgr[at]);
}

bool Image::SaveBmp(const std::string& path) const
{
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as most readers expect
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride) * height;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    const std::string padding(static_cast<size_t>(stride - width * 3), '\0');
    for (int y = height - 1; y >= 0; --y) {
        bytes.append(reinterpret_cast<const char*>(bgr.data()) + static_cast<size_t>(y) * width * 3,
                     static_cast<size_t>(width) * 3);
        bytes += padding;
    }
    try {
        lumo_test::WriteFileBytes(path, bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool CaptureWindow(HWND hwnd, Image& image, POINT* origin)
{
    RECT rect{};
    if (!::GetWindowRect(hwnd, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    const bool copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    ::SelectObject(memory, previous);
    const bool ok = copied && ReadBitmap(memory, bitmap, width, height, image);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (ok && origin != nullptr)
        *origin = POINT{ rect.left, rect.top };
    return ok;
}

std::string ScreenshotDir()
{
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("LUMO_SCREENSHOT_DIR", buffer, sizeof(buffer));
    std::string folder = length > 0 && length < sizeof(buffer) ? Backslashed(buffer)
                                                                : lumo_test::TestProgramFolder() + "\\screenshots";
    // A folder named the Unix way lies on the drive that maps the root.
    if (folder.size() > 1 && folder[0] == '\\' && folder[1] != '\\')
        folder = "Z:" + folder;
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    MakeFolders(folder);
    return folder;
}

std::string IniText(const std::vector<IniSection>& sections)
{
    std::string text;
    for (const auto& section : sections) {
        text += "[" + section.first + "]\r\n";
        for (const auto& entry : section.second)
            text += entry.first + "=" + entry.second + "\r\n";
    }
    return text;
}

} // namespace lumo_e2e
