// The removal of the product, as Programs and Features and a distribution
// system start it: silently and with its window; what it leaves (the log, and
// what other products still count), a component in use, a removal that fails
// and is tried again, and one that finds nothing to remove.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/FileReplace.h"
#include "framework/Text.h"

#include <algorithm>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

bool Contains(const std::vector<std::string>& messages, const std::string& message)
{
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

// The restart's list, every character the registry holds of it.
const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
std::wstring RestartListText()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return std::wstring();
    DWORD size = 0;
    std::wstring text;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        text.assign(size / sizeof(wchar_t), L'\0');
        if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&text[0]), &size) != ERROR_SUCCESS)
            text.clear();
    }
    ::RegCloseKey(key);
    return text;
}

void SetRestartListText(const std::wstring& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                             &key));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                              reinterpret_cast<const BYTE*>(text.data()),
                                              static_cast<DWORD>(text.size() * sizeof(wchar_t))));
    ::RegCloseKey(key);
}

// Pairs of names, a deletion's second one empty, then one empty name: the
// list's end must be the value's.
bool EndsWhereItsListEnds(const std::wstring& text)
{
    size_t at = 0;
    while (at < text.size() && text[at] != L'\0') {
        at = text.find(L'\0', at);
        if (at == std::wstring::npos)
            return false;
        at = text.find(L'\0', at + 1);
        if (at == std::wstring::npos)
            return false;
        ++at;
    }
    return at + 1 == text.size();
}

class RemovalE2eTest : public E2eTest {
protected:
    // A delivery of this test's product, installed silently.
    std::unique_ptr<Delivery> Installed(const std::vector<std::pair<std::string, const char*>>& components,
                                        const std::string& sysFileLines = "")
    {
        auto delivery = std::make_unique<Delivery>();
        std::string ini = StandardIni();
        ini.insert(ini.find("[CHIAVI]"), "[PRODOTTO]\r\nNome=Tesmoro " + Unique() + "\r\nVersione=1.0.0.0\r\n");
        delivery->WriteIni(ini + "[SYSFILE]\r\n" + sysFileLines);
        delivery->MakeTrees();
        AddAppFiles(*delivery, 2, 500);
        delivery->AddAppFile("Report" + Unique() + "\\modelli.txt", "modelli");
        for (const auto& [stem, built] : components) {
            delivery->AddSysFile(Unique() + stem, ReadFileBytes(lumo_test::ComponentPath(built)));
            Placed(SystemFolder() + "\\" + Unique() + stem);
        }
        const RunResult installed = RunWithoutWindow(*delivery, "/S");
        EXPECT_TRUE(installed.Clean()) << "the installation ended with " << installed.exitCode;
        return delivery;
    }

    // Runs a command of the product's entry of Programs and Features.
    RunResult Remove(const char* value)
    {
        const std::string command = RegistryText(UninstallKey(), value);
        const std::string program = Program();
        EXPECT_EQ(0u, command.find("\"" + program + "\"")) << command;
        return RunCommand(program, command);
    }

    RunResult RunCommand(const std::string& program, const std::string& command)
    {
        Process& process = StartCommandLine(program, command);
        RunResult result;
        result.ended = process.WaitExit(kRunTimeoutMs, &result.exitCode);
        return result;
    }

    std::string ReportFolder() const
    {
        const std::string bin = AppTargetFolder();
        return bin.substr(0, bin.rfind("\\Common Files\\")) + "\\Report" + Unique();
    }

};

// Installed, then removed by the entry's quiet command: the machine is as it
// was, apart from the log in the installation folder and the component that
// another product still counts, which stays registered with its count.
TEST_F(RemovalE2eTest, TheQuietRemovalLeavesOnlyTheLogAndWhatOthersCount)
{
    const std::string shared = Placed(SystemFolder() + "\\" + Unique() + "_condiviso.dll");
    lumo_test::CopyComponent(component::kVer1_2_3_4, shared);
    SetSharedCount(shared, 1);
    const std::string own = SystemFolder() + "\\" + Unique() + "_proprio.dll";
    auto delivery =
        Installed({ { "_proprio.dll", component::kRegisterOk }, { "_condiviso.dll", component::kVer1_2_3_4 } });
    ASSERT_EQ(1u, lumo_test::RegistrationCount(own));
    ASSERT_EQ(2, RegistryNumber(kSharedDlls, shared));
    ASSERT_TRUE(FileExists(AppFileTargets()[0]));

    const RunResult removed = Remove("QuietUninstallString");
    EXPECT_TRUE(removed.ended);
    EXPECT_EQ(kRemoved, removed.exitCode);

    for (const std::string& path : AppFileTargets())
        EXPECT_FALSE(FileExists(path)) << path;
    EXPECT_FALSE(lumo_test::DirectoryExists(ReportFolder())) << "a folder the product made is still there";
    EXPECT_FALSE(FileExists(own));
    EXPECT_EQ(1u, lumo_test::UnregistrationCount(own));
    EXPECT_EQ(-1, RegistryNumber(kSharedDlls, own));
    EXPECT_TRUE(FileExists(shared));
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, shared)) << "the other product's count";
    EXPECT_EQ(0u, lumo_test::UnregistrationCount(shared)) << "a component another product counts was unregistered";
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, PathKey()));
    EXPECT_FALSE(FileExists(RecordPath()));

    const std::vector<std::string> log = LogMessages();
    for (const std::string& line :
         { std::string("*****INIZIO RIMOZIONE *****"), "  Eliminato il file: " + AppFileTargets()[0],
           "  FILE: " + own + " DEREGISTRATO CORRETTAMENTE", "  Eliminato il file: " + own,
           "  FILE " + shared + " LASCIATO IN QUANTO USATO ANCHE DA ALTRI PROGRAMMI (CONTATORE 1)",
           std::string("*****FINE RIMOZIONE*****") })
        EXPECT_TRUE(Contains(log, line)) << line;

    // Its own copy, running, goes at the restart; until then it finds nothing to remove.
    const std::string program = Program();
    const RunResult again = RunCommand(program, "\"" + program + "\" /UNINSTALL /S");
    EXPECT_EQ(kUnknownProduct, again.exitCode);
    RestartWine();
    EXPECT_FALSE(FileExists(program));
    EXPECT_FALSE(lumo_test::DirectoryExists(HomeDir())) << "the home goes with its program";
    EXPECT_EQ(std::vector<std::string>{ "Installatore.log" }, lumo_test::ListEntries(InstallDir()));
}

// An installation made before homes kept its record and its removal program
// in the installation folder, where a standard user may reach them. The next
// installation moves them home once the entry's digest vouches for the
// record, and points the entry there; an older removal program that is still
// started removes the product from the installation folder all the same.
TEST_F(RemovalE2eTest, AnInstallationOfTheEarlierKindMovesItsOwnFilesHome)
{
    const std::string own = SystemFolder() + "\\" + Unique() + "_proprio.dll";
    auto delivery = Installed({ { "_proprio.dll", component::kRegisterOk } });
    const std::string oldRecord = InstallDir() + "\\Installatore-elenco.txt";
    const std::string oldProgram = InstallDir() + "\\LumoInstall.exe";
    auto makeEarlierKind = [&] {
        ASSERT_TRUE(::MoveFileExW(Wide(RecordPath()).c_str(), Wide(oldRecord).c_str(), MOVEFILE_REPLACE_EXISTING));
        ASSERT_TRUE(::CopyFileW(Wide(Program()).c_str(), Wide(oldProgram).c_str(), FALSE));
        lumo_test::RemoveTree(HomeDir());
        for (const char* value : { "UninstallString", "QuietUninstallString" })
            lumo_test::WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(), value,
                                           "\"" + oldProgram + "\" /UNINSTALL" +
                                               (std::string(value) == "UninstallString" ? "" : " /S"));
        HKEY entry = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(UninstallKey()).c_str(), 0,
                                                 KEY_SET_VALUE | KEY_WOW64_32KEY, &entry));
        ::RegDeleteValueW(entry, L"LumoCasa");
        ::RegCloseKey(entry);
    };

    // The record the digest vouches for moves home, and the old program goes.
    makeEarlierKind();
    const RunResult moved = RunWithoutWindow(*delivery, "/S");
    EXPECT_TRUE(moved.Clean()) << moved.exitCode;
    EXPECT_FALSE(FileExists(oldRecord));
    EXPECT_FALSE(FileExists(oldProgram));
    EXPECT_TRUE(FileExists(RecordPath()));
    EXPECT_TRUE(FileExists(Program()));
    EXPECT_EQ(HomeDir(), RegistryText(UninstallKey(), "LumoCasa"));
    EXPECT_EQ("\"" + Program() + "\" /UNINSTALL /S", RegistryText(UninstallKey(), "QuietUninstallString"));
    EXPECT_EQ(1u, lumo_test::RegistrationCount(own)) << "the moved record keeps the component known";
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, own)) << "counted once, whatever the record's place";

    // An older removal program, started from the installation folder.
    makeEarlierKind();
    const RunResult removed = RunCommand(oldProgram, "\"" + oldProgram + "\" /UNINSTALL /S");
    EXPECT_EQ(kRemoved, removed.exitCode);
    EXPECT_FALSE(FileExists(own));
    EXPECT_FALSE(FileExists(AppFileTargets()[0]));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_FALSE(FileExists(oldRecord));

    // A record the digest does not vouch for is neither believed nor moved.
    ASSERT_TRUE(RunWithoutWindow(*delivery, "/S").Clean());
    makeEarlierKind();
    const std::string edited = ReadFileBytes(oldRecord) + "applicativo | copiato | - | - | C:\\altro.txt\r\n";
    lumo_test::WriteFileBytes(oldRecord, edited);
    // The installation stops there: nothing moves home, nothing is copied.
    EXPECT_EQ(kFailure, RunWithoutWindow(*delivery, "/S").exitCode);
    EXPECT_TRUE(Contains(LogMessages(), "  L'ELENCO DEI FILE INSTALLATI: " + oldRecord +
                                            " NON E' QUELLO SCRITTO DALL'ULTIMA INSTALLAZIONE: "
                                            "L'INSTALLAZIONE NON E' STATA ESEGUITA"));
    EXPECT_EQ(edited, ReadFileBytes(oldRecord));
    EXPECT_TRUE(FileExists(oldProgram));
    EXPECT_FALSE(FileExists(RecordPath()));
    EXPECT_EQ("\"" + oldProgram + "\" /UNINSTALL /S", RegistryText(UninstallKey(), "QuietUninstallString"));
}

// A component loaded by a program when it is removed: unregistered, and
// deleted at the restart. Exit 3010.
TEST_F(RemovalE2eTest, AComponentInUseGoesAtTheRestart)
{
    const std::string own = SystemFolder() + "\\" + Unique() + "_inuso.dll";
    auto delivery = Installed({ { "_inuso.dll", component::kRegisterOk } });
    const HMODULE loaded = ::LoadLibraryW(Wide(own).c_str());
    ASSERT_NE(nullptr, loaded);

    const RunResult removed = Remove("QuietUninstallString");
    ::FreeLibrary(loaded);
    EXPECT_EQ(kRestartNeeded, removed.exitCode);
    EXPECT_TRUE(Contains(LogMessages(), "  IL FILE: " + own + " E' IN USO: SARA' ELIMINATO AL RIAVVIO DEL COMPUTER"));
    EXPECT_EQ(1u, lumo_test::UnregistrationCount(own));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_TRUE(FileExists(own));
    RestartWine();
    EXPECT_FALSE(FileExists(own));
}

// A file that cannot be deleted (a folder took its name) fails the removal:
// 1603, and the entry stays; once the folder is gone, a second removal
// finishes the job.
TEST_F(RemovalE2eTest, AFailedDeletionKeepsTheEntryForASecondRemoval)
{
    auto delivery = Installed({});
    const std::string blocked = AppFileTargets()[1];
    ASSERT_TRUE(::DeleteFileW(Wide(blocked).c_str()));
    const std::string folder = blocked;
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder).c_str(), nullptr));
    lumo_test::WriteFileBytes(folder + "\\dentro.txt", "x");

    const RunResult failed = Remove("QuietUninstallString");
    EXPECT_EQ(kFailure, failed.exitCode);
    EXPECT_TRUE(Contains(LogMessages(), "  Eliminazione del file: " + blocked + " NON RIUSCITA!!"));
    EXPECT_FALSE(FileExists(AppFileTargets()[0]));
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_TRUE(FileExists(RecordPath()));

    lumo_test::RemoveTree(folder);
    const RunResult finished = Remove("QuietUninstallString");
    EXPECT_EQ(kRemoved, finished.exitCode);
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, PathKey()));
}

// With its window: a question first (No leaves everything), then the
// removal, then a final message.
TEST_F(RemovalE2eTest, TheRemovalWithItsWindowAsksFirstAndSaysHowItEnded)
{
    auto delivery = Installed({});
    const std::string name = "Tesmoro " + Unique();
    const std::string program = Program();
    const std::string command = RegistryText(UninstallKey(), "UninstallString");

    Process& declined = StartCommandLine(program, command);
    MessageBoxState question = WaitForMessageBox(declined, kStartTimeoutMs);
    ASSERT_NE(nullptr, question.hwnd) << "no question";
    EXPECT_EQ("Rimuovere " + name + " dal computer?", question.text);
    EXPECT_EQ(name, question.caption);
    EXPECT_EQ((std::vector<int>{ IDYES, IDNO }), question.buttons);
    EXPECT_EQ(IDNO, question.defaultButton);
    PostClick(question.hwnd, IDNO);
    EXPECT_EQ(kUserExit, ExitCodeOf(declined));
    EXPECT_TRUE(FileExists(AppFileTargets()[0]));
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));

    Process& accepted = StartCommandLine(program, command);
    question = WaitForMessageBox(accepted, kStartTimeoutMs);
    ASSERT_NE(nullptr, question.hwnd) << "no question";
    PostClick(question.hwnd, IDYES);
    // Wine may keep the answered box a moment: wait for the next one.
    MessageBoxState done;
    WaitUntil(
        [&] {
            const HWND box = FindMessageBox(accepted.Id());
            done = box != nullptr ? ReadMessageBox(box) : MessageBoxState{};
            return done.hwnd != nullptr && done.text != question.text;
        },
        kRunTimeoutMs);
    ASSERT_NE(nullptr, done.hwnd) << "no final message";
    EXPECT_EQ(name + " è stato rimosso dal computer.", FromWindows1252(done.text));
    PostClick(done.hwnd, IDOK);
    EXPECT_EQ(kRemoved, ExitCodeOf(accepted));
    EXPECT_FALSE(FileExists(AppFileTargets()[0]));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
}

// What was on the machine before the product stays: an application file it
// overwrote, and components it only found, even when their counts are gone
// or given back to zero. A new copy of the product's own component waiting
// for the restart is taken back, so that the restart brings nothing back.
TEST_F(RemovalE2eTest, WhatWasThereBeforeStaysAndNothingComesBackAtTheRestart)
{
    const std::string bin = AppTargetFolder();
    const std::string before = Placed(bin + "\\" + Unique() + "_prima.txt");
    lumo_test::WriteFileBytes(before, "di prima");
    const std::string system = SystemFolder();
    const std::string countGone = Placed(system + "\\" + Unique() + "_senzacontatore.dll");
    const std::string countToZero = Placed(system + "\\" + Unique() + "_azero.dll");
    const std::string waiting = Placed(system + "\\" + Unique() + "_inattesa.dll");
    for (const std::string& path : { countGone, countToZero })
        lumo_test::CopyComponent(component::kVer1_2_3_4, path);

    Delivery delivery;
    std::string ini = StandardIni();
    ini.insert(ini.find("[CHIAVI]"), "[PRODOTTO]\r\nNome=Tesmoro " + Unique() + "\r\n");
    delivery.WriteIni(ini + "[SYSFILE]\r\n" + Unique() + "_inattesa.dll=SYSPATH|\r\n");
    delivery.AddAppFile(Unique() + "_prima.txt", "del prodotto");
    for (const char* stem : { "_senzacontatore.dll", "_azero.dll", "_inattesa.dll" })
        delivery.AddSysFile(Unique() + stem, ReadFileBytes(lumo_test::ComponentPath(component::kVer1_2_3_4)));
    ASSERT_TRUE(RunWithoutWindow(delivery, "/S").Clean());
    ASSERT_EQ(2, RegistryNumber(kSharedDlls, countToZero));

    // A newer version of the product's own component, while it is held open
    // without delete sharing: the new copy waits for the restart.
    delivery.AddSysFile(Unique() + "_inattesa.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)));
    const HANDLE held = ::CreateFileW(Wide(waiting).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const RunResult updated = RunWithoutWindow(delivery, "/S");
    ::CloseHandle(held);
    ASSERT_EQ(kRestartNeeded, updated.exitCode);
    ASSERT_TRUE(FileExists(WaitingPath(waiting)));

    // A cleaning tool took one count; another product's removal took one too many.
    lumo_test::RemoveSharedCount(countGone);
    SetSharedCount(countToZero, 1);
    const RunResult removed = Remove("QuietUninstallString");
    EXPECT_EQ(kRemoved, removed.exitCode);
    const std::vector<std::string> log = LogMessages();
    for (const std::string& line :
         { "  FILE " + before + " LASCIATO IN QUANTO PRESENTE PRIMA DELL'INSTALLAZIONE",
           "  FILE " + countGone + " LASCIATO IN QUANTO IL SUO CONTATORE NON E' NOTO",
           "  FILE " + countToZero + " LASCIATO IN QUANTO NON E' STATO COPIATO DA QUESTO PRODOTTO",
           "  Eliminato il file: " + WaitingPath(waiting), "  Eliminato il file: " + waiting })
        EXPECT_TRUE(Contains(log, line)) << line;
    EXPECT_EQ("del prodotto", ReadFileBytes(before)) << "the product cannot give back what it overwrote";
    EXPECT_TRUE(FileExists(countGone));
    EXPECT_TRUE(FileExists(countToZero));
    EXPECT_EQ(-1, RegistryNumber(kSharedDlls, countToZero));
    EXPECT_FALSE(FileExists(WaitingPath(waiting)));

    RestartWine();
    EXPECT_FALSE(FileExists(waiting)) << "the restart brought the product's copy back";
}

// A removal made while the product's files were in use left their deletion,
// and that of its program and home, to the restart; installed again before
// the restart, the product keeps them all past it: the component is copied
// again (what lies there is nobody's), counted and registered. What others
// asked of the restart stays as they asked it, and the list ends where the
// value does.
TEST_F(RemovalE2eTest, AnInstallationBeforeTheRestartTakesBackWhatTheRemovalLeftToIt)
{
    lumo_test::TempDir others("lumo-altri");
    const std::wstring theirs = L"\\??\\" + Wide(others / "cancellato.tmp") + L'\0' + L'\0' + L"\\??\\" +
                                Wide(others / "da.tmp") + L'\0' + L"!\\??\\" + Wide(others / "a.tmp") + L'\0';
    const std::wstring earlier = RestartListText();
    SetRestartListText(theirs + (earlier.empty() ? std::wstring(1, L'\0') : earlier));
    ASSERT_TRUE(EndsWhereItsListEnds(RestartListText()));

    const std::string own = SystemFolder() + "\\" + Unique() + "_inuso.dll";
    auto delivery = Installed({ { "_inuso.dll", component::kRegisterOk } });
    const std::string app = AppFileTargets()[0];
    const std::vector<std::string> doomed = { own, app, Program(), HomeDir() };
    const HMODULE loaded = ::LoadLibraryW(Wide(own).c_str());
    ASSERT_NE(nullptr, loaded);
    // Open without delete sharing: neither deleted nor renamed until closed.
    const HANDLE held = ::CreateFileW(Wide(app).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    EXPECT_EQ(kRestartNeeded, Remove("QuietUninstallString").exitCode);
    for (const std::string& path : doomed)
        EXPECT_TRUE(WaitsForRestart(path)) << path << " was not left to the restart";
    ASSERT_EQ(1u, lumo_test::UnregistrationCount(own));

    const RunResult again = RunWithoutWindow(*delivery, "/S");
    EXPECT_TRUE(again.ended);
    EXPECT_EQ(kRestartNeeded, again.exitCode);
    for (const std::string& path : doomed)
        EXPECT_FALSE(WaitsForRestart(path)) << path << " is still to be deleted at the restart";
    const std::wstring list = RestartListText();
    EXPECT_EQ(0u, list.find(theirs)) << "what others asked of the restart changed";
    EXPECT_TRUE(EndsWhereItsListEnds(list)) << "the list was written with more than its pairs";
    EXPECT_EQ(1, RegistryNumber(kSharedDlls, own));
    EXPECT_EQ(2u, lumo_test::RegistrationCount(own)) << "the component copied again was not registered";

    ::CloseHandle(held);
    ::FreeLibrary(loaded);
    RestartWine();
    for (const std::string& path : doomed)
        EXPECT_TRUE(FileExists(path) || lumo_test::DirectoryExists(path)) << path << " went at the restart";
    EXPECT_TRUE(ReadFileBytes(delivery->ExePath()) == ReadFileBytes(Program())) << "the home's program changed";
    EXPECT_TRUE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));

    EXPECT_EQ(kRemoved, Remove("QuietUninstallString").exitCode);
    EXPECT_FALSE(FileExists(own));
    EXPECT_FALSE(FileExists(app));
    EXPECT_EQ(-1, RegistryNumber(kSharedDlls, own));
    EXPECT_FALSE(lumo_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
}

} // namespace
