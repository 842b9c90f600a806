#include "e2e/E2eTest.h"

#include "e2e/MachineState.h"
#include "engine/Rules.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace lumo_e2e {

const char kCaption[] = "Installazione Tesmoro (prova)";
const char kProceduraIni[] = "Benvenuti nella prova\\ndel client Tesmoro";
const char kProcedura1Ini[] = "Prima riga\\nSeconda riga";
const char kProceduraShown[] = "Benvenuti nella prova\r\ndel client Tesmoro";
const char kProcedura1Shown[] = "Prima riga\r\nSeconda riga";
const char kSuccessText[] = "Installazione di prova riuscita";
const char kErrorText[] = "Installazione di prova non riuscita";

const char* const kRunMarkers[6] = {
    "*****INIZIO INSTALLAZIONE *****",
    "*INIZIO COPIA DEI FILES*",
    "*FINE COPIA DEI FILES*",
    "*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*",
    "*FINE COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*",
    "*****FINE INSTALLAZIONE*****",
};

const char kFailureHint[] = "Chiudere tutte le applicazioni e riprovare.\r\n\r\n"
                            "Se il problema persiste contattare il Vostro fornitore.\r\n\r\n"
                            "Selezionare Esci per terminare.";
const char kSuccessHint[] = "Selezionare Fine per chiudere il programma di installazione.";

void E2eTest::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    unique_ = std::string("E2E_") + info->name() + "_" + std::to_string(::GetCurrentProcessId());
    installRoot_ = std::make_unique<lumo_test::TempDir>("lumo-e2e-dir");
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, PathKey());
}

void E2eTest::TearDown()
{
    for (auto& process : processes_) {
        if (process->Running())
            ADD_FAILURE() << "a started program was still running at the end of the test; killed";
        process->Kill();
    }
    processes_.clear();
    RemoveInstalledAppFiles();
    for (const std::string& path : placed_) {
        ::DeleteFileW(Wide(path).c_str());
        lumo_test::RemoveSharedCount(path);
    }
    for (const auto& [path, count] : sharedBefore_) {
        if (count >= 0)
            SetSharedCount(path, static_cast<DWORD>(count));
    }
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, PathKey());
    // Every run records its product for Programs and Features, and keeps its
    // own files in its home.
    lumo_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, UninstallKey());
    lumo_test::RemoveTree(HomeDir());
    installRoot_.reset();
}

E2eTest::RunResult E2eTest::RemoveQuietly(const std::vector<std::pair<std::string, std::string>>& extraEnv)
{
    Process& process = StartCommandLine(Program(), "\"" + Program() + "\" /UNINSTALL /S", extraEnv);
    RunResult result;
    result.ended = process.WaitExit(kRunTimeoutMs, &result.exitCode);
    return result;
}

bool HasLineWith(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&part](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::string E2eTest::HomeRoot()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::string();
    return Utf8(folder) + "\\LumoInstall";
}

std::string E2eTest::StandardIni(const std::string& extraDescriptions) const
{
    return "[DESCRIZIONI]\r\n"
           "Caption=" + std::string(kCaption) + "\r\n"
           "Procedura=" + kProceduraIni + "\r\n"
           "Procedura_1=" + kProcedura1Ini + "\r\n"
           "InstallazioneSuccess=" + kSuccessText + "\r\n"
           "InstallazioneError=" + kErrorText + "\r\n"
           "NumeroFiles=3\r\n"
           "NumeroSysFiles=1\r\n" +
           extraDescriptions +
           "[CHIAVI]\r\n"
           "PathKey=" + PathKey() + "\r\n"
           "InstallationDir=" + InstallDir() + "\r\n";
}

std::unique_ptr<Delivery> E2eTest::StandardDelivery(const std::string& exeName, const std::string& sourceExe)
{
    auto delivery = std::make_unique<Delivery>("deliv", exeName, sourceExe);
    delivery->WriteIni(StandardIni());
    AddAppFiles(*delivery, 3, 1000);
    delivery->AddSysFile(Unique() + "_sys.txt", "not a component");
    return delivery;
}

void E2eTest::AddAppFiles(const Delivery& delivery, int count, size_t size)
{
    const std::string target = AppTargetFolder();
    for (int i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof(number), "%04d", i);
        const std::string name = Unique() + "_" + number + ".dat";
        std::string bytes(size, '\0');
        for (size_t at = 0; at < size; ++at)
            bytes[at] = static_cast<char>((at * 7 + static_cast<size_t>(i)) & 0xFF);
        delivery.AddAppFile(name, bytes);
        appFiles_.push_back(target + "\\" + name);
    }
}

std::string E2eTest::Placed(const std::string& path)
{
    placed_.push_back(path);
    return path;
}

long long E2eTest::Shared(const std::string& path)
{
    const long long before = RegistryNumber(kSharedDlls, path);
    const bool there = lumo_test::FileExists(path);
    if (!there)
        Placed(path);
    else
        sharedBefore_.emplace_back(path, before);
    return before >= 0 ? before + 1 : there ? 2 : 1;
}

void E2eTest::RemoveInstalledAppFiles() const
{
    for (const auto& path : appFiles_)
        ::DeleteFileA(path.c_str());
}

std::string E2eTest::AppTargetFolder()
{
    char programFiles[MAX_PATH] = {};
    // Where a 32-bit program finds Program Files, whatever this program's bitness.
    ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::string(programFiles) + "\\Common Files\\Business Objects\\3.0\\bin";
}

Process& E2eTest::Start(const Delivery& delivery, const std::string& arguments,
                        const std::vector<std::pair<std::string, std::string>>& extraEnv)
{
    std::string commandLine = "\"" + delivery.ExePath() + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    return StartCommandLine(delivery.ExePath(), commandLine, extraEnv);
}

Process& E2eTest::StartCommandLine(const std::string& exe, const std::string& commandLine,
                                   const std::vector<std::pair<std::string, std::string>>& extraEnv)
{
    processes_.push_back(std::make_unique<Process>());
    Process& process = *processes_.back();
    const size_t slash = exe.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : exe.substr(0, slash);
    if (!process.Start(exe, commandLine, folder, extraEnv))
        ADD_FAILURE() << "cannot start " << commandLine << " (error " << ::GetLastError() << ")";
    return process;
}

Wizard E2eTest::StartWizard(Process*& process, const Delivery& delivery,
                            const std::vector<std::pair<std::string, std::string>>& extraEnv)
{
    process = &Start(delivery, "", extraEnv);
    return WaitForWizard(*process, kStartTimeoutMs);
}

HWND E2eTest::RunToCompletion(const Wizard& wizard)
{
    PostClick(wizard.Hwnd(), IDC_NEXT);
    return WaitForCompletion(wizard);
}

HWND E2eTest::WaitForCompletion(const Wizard& wizard)
{
    HWND page = nullptr;
    if (!WaitUntil(
            [&] {
                page = wizard.CompletionPage();
                return page != nullptr && ::IsWindowVisible(page);
            },
            kRunTimeoutMs))
        return nullptr;
    // The run is over once Exit works again, a moment after the page shows;
    // a test that checks Exit finds out if it never does.
    WaitUntil([&] { return wizard.ButtonEnabled(IDCANCEL); }, kExitTimeoutMs);
    return page;
}

void E2eTest::FinishWithoutQuestion(Process& process, const Wizard& wizard)
{
    PostClick(wizard.Hwnd(), IDCANCEL);
    bool asked = false;
    const bool ended = WaitUntil(
        [&] {
            asked = asked || FindMessageBox(process.Id()) != nullptr;
            return !process.Running();
        },
        kExitTimeoutMs, 10);
    EXPECT_FALSE(asked) << "Fine asked a question";
    EXPECT_TRUE(ended) << "Fine did not end the program";
}

DWORD E2eTest::RunOnce(const Delivery& delivery)
{
    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, delivery);
    if (!wizard) {
        ADD_FAILURE() << "no wizard";
        return STILL_ACTIVE;
    }
    if (RunToCompletion(wizard) == nullptr) {
        ADD_FAILURE() << "no completion page";
        return STILL_ACTIVE;
    }
    FinishWithoutQuestion(*process, wizard);
    return ExitCodeOf(*process);
}

E2eTest::RunResult E2eTest::RunWithoutWindow(const Delivery& delivery, const std::string& arguments,
                                             const std::vector<std::pair<std::string, std::string>>& extraEnv,
                                             DWORD timeoutMs)
{
    Process& process = Start(delivery, arguments, extraEnv);
    std::vector<HWND> seen;
    RunResult result;
    result.ended = WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(process.Id(), false)) {
                if ((::IsWindowVisible(hwnd) || IsDialog(hwnd)) &&
                    std::find(seen.begin(), seen.end(), hwnd) == seen.end())
                    seen.push_back(hwnd);
            }
            return !process.Running();
        },
        timeoutMs, 10);
    EXPECT_TRUE(result.ended) << arguments << ": the program did not end by itself";
    if (result.ended)
        process.WaitExit(0, &result.exitCode);
    for (HWND hwnd : seen)
        ADD_FAILURE() << arguments << ": window \"" << Text(hwnd) << "\" of class " << ClassName(hwnd);
    return result;
}

DWORD E2eTest::ExitCodeOf(const Process& process)
{
    DWORD code = STILL_ACTIVE;
    if (!process.WaitExit(kExitTimeoutMs, &code))
        return STILL_ACTIVE;
    return code;
}

void E2eTest::ConfirmExit(Process& process)
{
    const MessageBoxState box = WaitForMessageBox(process, kStartTimeoutMs);
    ASSERT_NE(nullptr, box.hwnd) << "no exit question";
    EXPECT_EQ("Terminare il programma di Installazione", box.text);
    PostClick(box.hwnd, IDYES);
    EXPECT_TRUE(process.WaitExit(kExitTimeoutMs)) << "the program did not end after Yes";
}

void E2eTest::PressKey(const Process& process, const Wizard& wizard, WORD key)
{
    HWND focus = FocusOfThread(process.ThreadId());
    PostKey(focus != nullptr ? focus : wizard.Hwnd(), key);
}

std::vector<std::string> E2eTest::LogLines() const
{
    return lumo_test::SplitLinesAnyEnd(lumo_test::ReadFileBytes(LogPath()));
}

std::vector<std::string> E2eTest::LogMessages() const
{
    std::vector<std::string> messages;
    for (const auto& line : LogLines()) {
        std::string message;
        EXPECT_TRUE(SplitLogLine(line, message)) << "line without time stamp: " << line;
        messages.push_back(message);
    }
    return messages;
}

std::vector<std::string> E2eTest::LogMarkers() const
{
    std::vector<std::string> markers;
    for (const auto& message : LogMessages()) {
        if (!message.empty() && message[0] == '*')
            markers.push_back(message);
    }
    return markers;
}

bool SplitLogLine(const std::string& line, std::string& message)
{
    // "[" m "/" d "/" yyyy " - " h ":" m ":" s ":" ms "]", each number without leading zeros.
    size_t at = 0;
    auto number = [&](size_t minDigits, size_t maxDigits) {
        const size_t begin = at;
        while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])))
            ++at;
        const size_t digits = at - begin;
        return digits >= minDigits && digits <= maxDigits && (digits == 1 || line[begin] != '0');
    };
    auto literal = [&](const char* text) {
        const std::string expected(text);
        if (line.compare(at, expected.size(), expected) != 0)
            return false;
        at += expected.size();
        return true;
    };
    if (!(literal("[") && number(1, 2) && literal("/") && number(1, 2) && literal("/") && number(4, 4) &&
          literal(" - ") && number(1, 2) && literal(":") && number(1, 2) && literal(":") && number(1, 2) &&
          literal(":") && number(1, 3) && literal("]")))
        return false;
    message = line.substr(at);
    return true;
}

RegistrarSwitchedOff::RegistrarSwitchedOff(const std::string& exeName)
    : key_("Software\\Wine\\AppDefaults\\" + exeName)
{
    lumo_test::WriteRegistryString(HKEY_CURRENT_USER, key_ + "\\DllOverrides", "atl", "");
}

RegistrarSwitchedOff::~RegistrarSwitchedOff()
{
    lumo_test::DeleteRegistryTree(HKEY_CURRENT_USER, key_);
}

std::vector<std::string> WalkOrder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &found) != FALSE) {
        const std::string name = Utf8(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(UpperText(name));
    }
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    return names;
}

} // namespace lumo_e2e
