// The passes at their fragile edges: an exception handler that runs out of
// memory, folders that cannot be listed, "\n" in folder paths.
#include "EngineHarness.h"
#include "FailingAllocations.h"

#include "components/Components.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace lumo_engine;
using lumo_test::FileExists;
using lumo_test::RegistrationCount;
using lumo_test::ScopedInstallDescription;
namespace component = lumo_test::component;

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide;
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

// Folders and files whose paths exceed what the ANSI functions accept, made
// and removed through the long-path form of the wide functions.
void MakeLongFolder(const std::string& path)
{
    if (!::CreateDirectoryW((L"\\\\?\\" + Wide(path)).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("cannot make " + path);
}

void PutLongFile(const std::string& path)
{
    HANDLE file = ::CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot write " + path);
    ::CloseHandle(file);
}

void RemoveLongTree(const std::string& path)
{
    const std::wstring root = L"\\\\?\\" + Wide(path);
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::string narrow;
            for (wchar_t c : name)
                narrow += static_cast<char>(c);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveLongTree(path + "\\" + narrow);
            else
                ::DeleteFileW((root + L"\\" + name).c_str());
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(root.c_str());
}

std::string Unreadable(const std::string& folder)
{
    return "  LA CARTELLA: " + folder + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI";
}

class Hardening : public EngineTest {
protected:
    ScopedInstallDescription ini{ "[DESCRIZIONI]\r\nNumeroFiles=1\r\nNumeroSysFiles=1\r\n" };
};

// Out of memory inside a pass: the call ends with false (the application pass
// with its error line), nothing escapes its handler, and the run counts the
// interrupted folder as a failure for its exit code.
TEST_F(Hardening, BothPassHandlersSurviveAnAllocationFailure)
{
    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        const std::string source = scratch.Make(system ? "SysFile" : "FilesToCopy");
        PutFile(source + "\\a.txt", "a");
        std::string from = source;
        std::string to = scratch.Make(system ? "System" : "Programs");
        // A run of its own for each pass: the exit code tells what it met.
        Installation pass(delivery, log.Log(), view);
        bool result = true;
        bool escaped = false;
        {
            ScopedFailingAllocations failing;
            try {
                result = system ? pass.CopyAndRegisterSysFiles(std::move(from), std::move(to))
                                : pass.CopyDirAndFiles(std::move(from), std::move(to));
            } catch (...) {
                escaped = true;
            }
        }
        EXPECT_FALSE(escaped) << "an exception left the pass";
        EXPECT_FALSE(result);
        EXPECT_EQ(ERROR_INSTALL_FAILURE, pass.ExitCode(true)) << "the interrupted folder is a failure";
        const std::vector<std::string> expected =
            system ? std::vector<std::string>{}
                   : std::vector<std::string>{ "  Si \xE8 verificato un errore nella funzione CopyDirAndFiles" };
        EXPECT_EQ(expected, NewMessages());
    }
}

// A folder whose search pattern is longer than the platform allows cannot be
// listed: both passes say so in the log instead of treating it as empty. A
// folder that is simply missing stays silent.
TEST_F(Hardening, AFolderThatCannotBeListedIsLoggedByBothPasses)
{
    const std::string outer = std::string(150, 'o');
    const std::string inner = std::string(70, 'i');
    struct LongTree {
        std::string root;
        ~LongTree() { RemoveLongTree(root); }
    };

    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        LongTree tree{ scratch.Make(system ? "SysFile" : "FilesToCopy") };
        const std::string deep = tree.root + "\\" + outer + "\\" + inner;
        MakeLongFolder(tree.root + "\\" + outer);
        MakeLongFolder(deep);
        PutLongFile(deep + "\\" + "a.txt");
        ASSERT_GE(deep.size() + 4, static_cast<size_t>(MAX_PATH));
        const std::string target = scratch.Make(system ? "System" : "Programs");

        const bool walked = system ? Engine().CopyAndRegisterSysFiles(tree.root, target)
                                   : Engine().CopyDirAndFiles(tree.root, target);
        EXPECT_TRUE(walked);
        EXPECT_EQ((std::vector<std::string>{ Unreadable(deep), ErrorReasonLine(ERROR_FILENAME_EXCED_RANGE) }),
                  NewMessages());

        const bool missing = system ? Engine().CopyAndRegisterSysFiles(tree.root + "\\Assente", target)
                                    : Engine().CopyDirAndFiles(tree.root + "\\Assente", target);
        EXPECT_TRUE(missing);
        EXPECT_TRUE(NewMessages().empty()) << "a missing folder was logged";
    }
}

// "\n" in a folder path is part of the path (C:\nuovo), not a line break.
TEST_F(Hardening, AFolderPathWithBackslashNIsTakenAsWritten)
{
    const std::string source = scratch.Make("SysFile");
    const std::string target = scratch.Make("System");
    const std::string folder = scratch.root / "nuovo\\bin";
    ASSERT_NE(std::string::npos, folder.find("\\nuovo"));
    ini.Rewrite("[SYSFILE]\r\nstampa.dll=" + folder + "|REG\r\n");
    PutComponent(component::kRegisterOk, source + "\\stampa.dll");

    ASSERT_TRUE(Engine().CopyAndRegisterSysFiles(source, target));

    const std::string landed = Upper(folder) + "\\stampa.dll";
    EXPECT_TRUE(FileExists(landed));
    EXPECT_EQ(1u, RegistrationCount(landed));
    EXPECT_EQ((std::vector<std::string>{ "  Copiato il file: " + landed,
                                         "  FILE: " + landed + " REGISTRATO CORRETTAMENTE" }),
              NewMessages());
}

// Two links back to the folder that holds them: each is met once, logged as
// a folder that cannot be read, and never followed, so the walk ends.
TEST_F(Hardening, ALinkBackToAFolderBeingWalkedIsNeverFollowed)
{
    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        const std::string source = scratch.Make(system ? "SysFile" : "FilesToCopy");
        PutFile(source + "\\Sub\\a.txt", "a");
        const lumo_test::FolderLink up(source + "\\Sub\\giro", "..");
        const lumo_test::FolderLink here(source + "\\qui", ".");
        Installation pass(delivery, log.Log(), view);

        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(system ? pass.CopyAndRegisterSysFiles(source, scratch.Make(system ? "System" : "Programs"))
                           : pass.CopyDirAndFiles(source, scratch.Make(system ? "System" : "Programs")));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        ::testing::Test::RecordProperty(system ? "system walk" : "application walk",
                                        std::to_string(elapsed.count() * 1000) + " ms");
        EXPECT_LT(elapsed.count(), lumo_test::kHangSeconds);

        // The file's line, and each link's with its reason under it.
        const std::vector<std::string> messages = NewMessages();
        ASSERT_EQ(5u, messages.size());
        for (const std::string& link : { source + "\\Sub\\giro", source + "\\qui" }) {
            const auto line = std::find(messages.begin(), messages.end(), Unreadable(link));
            ASSERT_LT(line + 1, messages.end()) << link;
            EXPECT_EQ(ErrorReasonLine(ERROR_CANT_RESOLVE_FILENAME), *(line + 1)) << link;
        }
        EXPECT_EQ(ERROR_INSTALL_FAILURE, pass.ExitCode(true));
    }
}

} // namespace
