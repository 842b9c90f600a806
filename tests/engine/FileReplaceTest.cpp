// Replacing a file whole: a free target, a copy that fails, a target loaded by
// a program, a target held open without delete sharing; what a run then
// logs, and the exit code that says a restart is needed.
#include "FailingAllocations.h"
#include "EngineHarness.h"

#include "components/Components.h"
#include "engine/Rules.h"
#include "framework/Handles.h"
#include "framework/MachineChange.h"
#include "framework/Path.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>

using namespace lumo_engine;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::ScopedInstallDescription;
namespace component = lumo_test::component;

namespace {

// The operations the restart will carry out, as "from" or "from -> to".
std::vector<std::string> PendingOperations()
{
    HKEY key = nullptr;
    std::vector<std::string> operations;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return operations;
    DWORD size = 0;
    std::vector<wchar_t> data;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size / sizeof(wchar_t) + 2);
        ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(data.data()), &size);
    }
    ::RegCloseKey(key);
    // Pairs of strings, the second empty for a deletion; each path in the
    // system's own form, "\??\C:\...".
    auto plain = [](const std::wstring& path) {
        return Utf8(path.compare(0, 4, L"\\??\\") == 0 ? path.substr(4) : path);
    };
    for (size_t at = 0; at < data.size() && data[at] != L'\0';) {
        const std::wstring from(data.data() + at);
        at += from.size() + 1;
        const std::wstring to = at < data.size() ? std::wstring(data.data() + at) : std::wstring();
        at += to.size() + 1;
        operations.push_back(to.empty() ? plain(from) : plain(from) + " -> " + plain(to.substr(to[0] == L'!')));
    }
    return operations;
}

bool Pending(const std::string& operation)
{
    const std::vector<std::string> all = PendingOperations();
    return std::find_if(all.begin(), all.end(), [&](const std::string& one) {
               return EqualIgnoringCase(one, operation);
           }) != all.end();
}

class FileReplace : public EngineTest {
protected:
    ScopedInstallDescription ini{ "[DESCRIZIONI]\r\nNumeroFiles=1\r\nNumeroSysFiles=1\r\n" };
    std::string target = scratch.Make("Target") + "\\comp.dll";
    std::string source = scratch.Make("Source") + "\\comp.dll";
    std::string oldBytes = ReadFileBytes(lumo_test::ComponentPath(component::kVer1_2_3_4));
    std::string newBytes = ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0));
    BackgroundCopy copier{ view };
    FileReplacer replacer{ copier };

    void SetUp() override
    {
        PutFile(target, oldBytes);
        PutFile(source, newBytes);
    }
};

// Memory that runs out on the copying thread is the calling thread's
// failure, handled where its own would be; the thread serves the next job.
TEST_F(FileReplace, WhatTheCopyingThreadThrowsIsThrownToTheCaller)
{
    const DWORD caller = ::GetCurrentThreadId();
    DWORD ranOn = caller;
    bool caught = false;
    try {
        copier.Run([&] {
            ranOn = ::GetCurrentThreadId();
            ScopedFailingAllocations failing;
            // A call, not a new-expression: the compiler may not leave it out.
            ::operator delete(::operator new(1 << 20));
            return true;
        });
    } catch (const std::bad_alloc&) {
        caught = true;
    }
    EXPECT_NE(caller, ranOn) << "the job ran on the calling thread";
    EXPECT_TRUE(caught);
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(copier.Run([] {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), ::GetLastError());

    // Without a window nothing waits on the calling thread: the job runs
    // there, its result and last error as they are.
    WindowlessView windowless;
    BackgroundCopy inline_(windowless);
    ranOn = 0;
    EXPECT_FALSE(inline_.Run([&] {
        ranOn = ::GetCurrentThreadId();
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }));
    EXPECT_EQ(caller, ranOn) << "the job was handed to a thread";
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), ::GetLastError());
}

TEST_F(FileReplace, AFreeTargetIsReplacedAndWhatAnEndedRunLeftGoes)
{
    const std::string temp = ReplacementTempPath(target);
    PutFile(temp, "the head of a copy that a killed run never finished");
    PutFile(ReplacementTempPath(target + ".altro"), "another copy it never finished");

    EXPECT_EQ(Replacement::Done, replacer.Replace(source, target).replacement);
    EXPECT_TRUE(newBytes == ReadFileBytes(target)) << "not the new file";
    replacer.RemoveTemporaryFolders();
    EXPECT_EQ(std::vector<std::string>{ "comp.dll" }, lumo_test::ListEntries(scratch.root / "Target"));
}

// A caller that took the target for absent is asked before a target found
// there is replaced, and only then: a free name is taken without asking; a
// taken one is replaced once the caller agrees, and left as it was when it
// does not, nothing of the copy staying behind.
TEST_F(FileReplace, ATargetTakenForAbsentIsReplacedOnlyOnceTheCallerAgrees)
{
    const struct {
        bool there;
        bool agrees;
        Replacement replacement;
        int asked;
    } rows[] = {
        { false, false, Replacement::Done, 0 },
        { true, true, Replacement::Done, 1 },
        { true, false, Replacement::Failed, 1 },
    };
    int row = 0;
    for (const auto& expected : rows) {
        const std::string to = scratch.Make("Riga" + std::to_string(row++)) + "\\comp.dll";
        if (expected.there)
            PutFile(to, oldBytes);
        int asked = 0;
        const ReplaceOutcome outcome = replacer.Replace(source, to, false, [&] {
            ++asked;
            ::SetLastError(ERROR_REGISTRY_IO_FAILED);
            return expected.agrees;
        });
        EXPECT_EQ(expected.replacement, outcome.replacement) << to;
        EXPECT_EQ(expected.asked, asked) << to;
        if (!outcome.Copied()) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED), outcome.error) << to;
        }
        EXPECT_TRUE((outcome.Copied() ? newBytes : oldBytes) == ReadFileBytes(to)) << to;
        replacer.RemoveTemporaryFolders();
        EXPECT_EQ(std::vector<std::string>{ "comp.dll" }, lumo_test::ListEntries(FolderOf(to))) << to;
    }
}

// Each file is named inside its folder alone, the folder opened once for
// all its files: the name is matched as the platform matches names, with
// no regard to case, and a folder that is not there fails its files as a
// path not found, making nothing. A folder reached again under another case
// is the same folder, with the same program's folder in it.
TEST_F(FileReplace, EachFileIsNamedInsideTheFolderOpenedForIt)
{
    const std::string folder = scratch.root / "Target";
    PutFile(folder + "\\MAIUSCOLO.DLL", oldBytes);
    const struct {
        std::string to;
        Replacement replacement;
        DWORD error;
    } rows[] = {
        { folder + "\\maiuscolo.dll", Replacement::Done, ERROR_SUCCESS },
        { scratch.root / "TARGET\\Nuovo.dll", Replacement::Done, ERROR_SUCCESS },
        { scratch.root / "Assente\\comp.dll", Replacement::Failed, ERROR_PATH_NOT_FOUND },
        { scratch.root / "Assente\\altro.dll", Replacement::Failed, ERROR_PATH_NOT_FOUND },
        { folder + "\\comp.dll\\sotto.dll", Replacement::Failed, ERROR_PATH_NOT_FOUND },
    };
    for (const auto& row : rows) {
        const ReplaceOutcome outcome = replacer.Replace(source, row.to);
        EXPECT_EQ(row.replacement, outcome.replacement) << row.to;
        EXPECT_EQ(row.error, outcome.error) << row.to;
    }
    EXPECT_TRUE(newBytes == ReadFileBytes(folder + "\\maiuscolo.dll")) << "not the new file";
    EXPECT_TRUE(newBytes == ReadFileBytes(folder + "\\nuovo.dll")) << "not the new file";
    EXPECT_TRUE(oldBytes == ReadFileBytes(target)) << "a file taken for a folder changed";
    EXPECT_FALSE(lumo_test::DirectoryExists(scratch.root / "Assente"));
    replacer.RemoveTemporaryFolders();
    auto names = lumo_test::ListEntries(folder);
    for (std::string& name : names)
        name = UpperText(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{ "COMP.DLL", "MAIUSCOLO.DLL", "NUOVO.DLL" }), names);
}

// A user may make the program's folder beside a target first. Whatever is
// found under its names (a folder holding second names of someone else's
// files under the target's name, a file, a link to someone else's folder)
// is never written in: the replacement takes a name made new, a second name
// goes by its name alone, and the other file keeps its bytes, its
// attributes and its own name. A read-only second name stays: clearing its
// attribute would change the other file. The next cleanup sweeps every name
// the program may have taken, and the replacement costs what it always
// did: one new folder per target folder, a copy and a rename per file, one
// removal of the folder.
TEST_F(FileReplace, NothingFoundUnderTheProgramsNamesIsWrittenIn)
{
    lumo_test::TempDir others("lumo-altrui");
    const std::string victim = others / "vittima.txt";
    const std::string readOnlyVictim = others / "sola-lettura.txt";
    lumo_test::WriteFileBytes(victim, "di un altro");
    lumo_test::WriteFileBytes(readOnlyVictim, "di un altro ancora");
    ASSERT_TRUE(::SetFileAttributesW(Wide(readOnlyVictim).c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string folder = scratch.root / "Target";
    const std::string planted = folder + "\\~LumoInstall";
    MakeFolders(planted);
    ASSERT_TRUE(::CreateHardLinkW(Wide(planted + "\\comp.dll").c_str(), Wide(victim).c_str(), nullptr));
    ASSERT_TRUE(::CreateHardLinkW(Wide(planted + "\\altro.dll").c_str(), Wide(readOnlyVictim).c_str(), nullptr));
    PutFile(folder + "\\~LumoInstall-1", "a file under the second name");
    const lumo_test::FolderLink link(folder + "\\~LumoInstall-2", others.Path());
    auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };

    EXPECT_EQ(Replacement::Done, replacer.Replace(source, target).replacement);
    EXPECT_TRUE(newBytes == ReadFileBytes(target)) << "not the new file";
    // A second file into the same folder takes no new folder.
    const unsigned long afterFirst = machine::StepsTaken();
    PutFile(source + ".due", "due");
    EXPECT_EQ(Replacement::Done, replacer.Replace(source + ".due", folder + "\\comp.dll.due").replacement);
    EXPECT_EQ(2u, machine::StepsTaken() - afterFirst) << "a copy and a rename";
    EXPECT_EQ(std::vector<std::string>{ folder + "\\~LumoInstall-2" }, replacer.TakeLinksMet());

    EXPECT_EQ("di un altro", ReadFileBytes(victim));
    EXPECT_EQ("di un altro ancora", ReadFileBytes(readOnlyVictim));
    EXPECT_NE(0u, ::GetFileAttributesW(Wide(readOnlyVictim).c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((std::vector<std::string>{ "sola-lettura.txt", "vittima.txt" }), sorted(lumo_test::ListEntries(others.Path())));
    EXPECT_EQ(std::vector<std::string>{ "altro.dll" }, lumo_test::ListEntries(planted));
    // The folder made new is the first free name, past the file and the
    // link; Windows removes the link as a link, Wine reaches only its target
    // and passes it by.
    replacer.RemoveTemporaryFolders();
    std::vector<std::string> expected = { "comp.dll", "comp.dll.due", "~LumoInstall", "~LumoInstall-1" };
    if (lumo_test::DirectoryExists(folder + "\\~LumoInstall-2"))
        expected.push_back("~LumoInstall-2");
    EXPECT_EQ(expected, sorted(lumo_test::ListEntries(folder)));

    // Leftovers of stopped runs under later names, one of them holding a
    // read-only copy of the program's own, go with the next cleanup; a name
    // that is not one of the program's stays.
    MakeFolders(folder + "\\~LumoInstall-7");
    PutFile(folder + "\\~LumoInstall-7\\proprio.dll", "own");
    ASSERT_TRUE(::SetFileAttributesW(Wide(folder + "\\~LumoInstall-7\\proprio.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    MakeFolders(folder + "\\~LumoInstall-99");
    MakeFolders(folder + "\\~LumoInstall-x");
    RemoveLeftoverTemporaryFolder(folder);
    EXPECT_FALSE(lumo_test::DirectoryExists(folder + "\\~LumoInstall-7"));
    EXPECT_FALSE(lumo_test::DirectoryExists(folder + "\\~LumoInstall-99"));
    EXPECT_TRUE(lumo_test::DirectoryExists(folder + "\\~LumoInstall-x")) << "not a name of the program's";
    EXPECT_EQ(std::vector<std::string>{ "altro.dll" }, lumo_test::ListEntries(planted));
    EXPECT_EQ("di un altro", ReadFileBytes(victim));
    EXPECT_EQ(2u, lumo_test::ListEntries(others.Path()).size());
    lumo_test::RemoveTree(folder + "\\~LumoInstall-x");

    // Untouched ground: one new folder, a copy, a rename, the folder removed.
    const unsigned long clean = machine::StepsTaken();
    EXPECT_EQ(Replacement::Done, replacer.Replace(source, scratch.Make("Pulita") + "\\comp.dll").replacement);
    replacer.RemoveTemporaryFolders();
    EXPECT_EQ(4u, machine::StepsTaken() - clean);
    ::SetFileAttributesW(Wide(planted + "\\altro.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW(Wide(readOnlyVictim).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The new file is the source whole, across the copy's chunks and on the
// copying thread alike, with its read-only attribute and its time of last
// writing, as the platform's own copy makes it.
TEST_F(FileReplace, TheNewFileIsTheSourceWithItsAttributeAndTime)
{
    struct Case {
        const char* name;
        size_t bytes;
        bool readOnly;
    };
    const Case cases[] = {
        { "vuoto.dat", 0, false },
        { "uno.dat", 1, true },
        { "blocco.dat", 256 * 1024, false },     // one chunk exactly
        { "oltre.dat", 256 * 1024 + 1, true },   // on the copying thread, two chunks
        { "grande.dat", 700 * 1024 + 3, false }, // three chunks, the last short
    };
    const std::string from = scratch.Make("Origini");
    const std::string to = scratch.Make("Destinazioni");
    FILETIME written{};
    written.dwLowDateTime = 0x9A3B2000u;
    written.dwHighDateTime = 0x01D5E3A1u; // in 2020
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes(c.bytes, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919u) >> 5);
        const std::string src = from + "\\" + c.name;
        const std::string dst = to + "\\" + c.name;
        PutFile(src, bytes);
        PutFile(dst, "vecchio");
        {
            const FileHandle file(::CreateFileW(Wide(src).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &written));
        }
        if (c.readOnly) {
            ASSERT_TRUE(::SetFileAttributesW(Wide(src).c_str(), FILE_ATTRIBUTE_READONLY));
        }

        const ReplaceOutcome outcome = replacer.Replace(src, dst);
        EXPECT_EQ(Replacement::Done, outcome.replacement) << "error " << outcome.error;
        EXPECT_EQ(static_cast<ULONGLONG>(c.bytes), outcome.bytes);
        EXPECT_TRUE(bytes == ReadFileBytes(dst)) << "not the source's bytes";
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW(Wide(dst).c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(c.readOnly, (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
        EXPECT_EQ(0, ::CompareFileTime(&written, &data.ftLastWriteTime));
        ::SetFileAttributesW(Wide(src).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::SetFileAttributesW(Wide(dst).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // Every new file took its target's place: nothing is left in the
    // program's folder, which goes.
    replacer.RemoveTemporaryFolders();
    EXPECT_EQ(5u, lumo_test::ListEntries(to).size());
}

TEST_F(FileReplace, AFailedCopyLeavesTheTargetAsItWas)
{
    const ReplaceOutcome missing = replacer.Replace(source + ".assente", target);
    EXPECT_EQ(Replacement::Failed, missing.replacement);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.error);
    {
        // The source cannot be read after the copy has begun to be set up.
        const HANDLE exclusive =
            ::CreateFileW(Wide(source).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
        EXPECT_EQ(Replacement::Failed, replacer.Replace(source, target).replacement);
        ::CloseHandle(exclusive);
    }
    // A folder in the file's place stays a folder.
    MakeFolders(scratch.root / "Target\\cartella.dll");
    EXPECT_EQ(Replacement::Failed, replacer.Replace(source, scratch.root / "Target\\cartella.dll").replacement);
    EXPECT_TRUE(lumo_test::DirectoryExists(scratch.root / "Target\\cartella.dll"));

    EXPECT_TRUE(oldBytes == ReadFileBytes(target)) << "not the old file";
    replacer.RemoveTemporaryFolders();
    EXPECT_EQ((std::vector<std::string>{ "cartella.dll", "comp.dll" }),
              [&] {
                  auto names = lumo_test::ListEntries(scratch.root / "Target");
                  std::sort(names.begin(), names.end());
                  return names;
              }());
}

// Loaded by a program: the copy over it is refused, a rename within its
// folder is not; the old file cannot be deleted while loaded, so its deletion
// waits for the restart.
TEST_F(FileReplace, ALoadedTargetGoesAsideAndItsDeletionWaitsForTheRestart)
{
    const HMODULE loaded = ::LoadLibraryW(Wide(target).c_str());
    ASSERT_NE(nullptr, loaded);

    const ReplaceOutcome outcome = replacer.Replace(source, target);
    EXPECT_EQ(Replacement::OldDeletedAtRestart, outcome.replacement);
    EXPECT_TRUE(outcome.WaitsForRestart());
    EXPECT_TRUE(newBytes == ReadFileBytes(target)) << "not the new file";
    const std::string aside = AsidePath(target);
    EXPECT_TRUE(oldBytes == ReadFileBytes(aside)) << "not the old file";
    EXPECT_TRUE(Pending(aside)) << "no deletion at restart for " << aside;

    // A second replacement while the first aside still waits takes another name.
    PutFile(source, oldBytes);
    ::FreeLibrary(loaded);
    ASSERT_NE(nullptr, ::LoadLibraryW(Wide(target).c_str()));
    EXPECT_EQ(Replacement::OldDeletedAtRestart, replacer.Replace(source, target).replacement);
    EXPECT_TRUE(oldBytes == ReadFileBytes(target)) << "not the old file";
    EXPECT_TRUE(newBytes == ReadFileBytes(AsidePath(target, 1))) << "not the new file";
    UnloadModulesBelow(scratch.root.Path());
}

// Open without delete sharing: not even a rename. The new file waits beside
// the target, which it replaces at the restart; the run says so and ends with
// 3010 unless something failed.
TEST_F(FileReplace, AFileHeldOpenIsReplacedAtTheRestartAndTheRunSaysSo)
{
    const std::string folder = scratch.Make("FilesToCopy");
    const std::string programs = scratch.Make("Programs");
    const std::string held = programs + "\\Common Files\\Business Objects\\3.0\\bin\\held.dll";
    PutFile(held, oldBytes);
    PutFile(folder + "\\held.dll", newBytes);
    {
        HeldOpen open(held);
        ASSERT_TRUE(Engine().CopyDirAndFiles(folder, programs));
        EXPECT_TRUE(oldBytes == ReadFileBytes(held)) << "not the old file";
    }
    const std::string waiting = WaitingPath(held);
    EXPECT_TRUE(newBytes == ReadFileBytes(waiting)) << "not the new file";
    EXPECT_TRUE(Pending(waiting + " -> " + held)) << "no replacement at restart";
    EXPECT_EQ((std::vector<std::string>{
                  "  Copiato il file: " + held,
                  "  IL FILE: " + held + " E' IN USO: LA NUOVA VERSIONE LO SOSTITUIRA' AL RIAVVIO DEL COMPUTER" }),
              NewMessages());
    EXPECT_TRUE(Engine().RestartNeeded());
    EXPECT_EQ(ERROR_SUCCESS_REBOOT_REQUIRED, Engine().ExitCode(true));
    // A failure wins over the restart.
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Engine().ExitCode(false));
}

// The first copy of a DAO file is never logged, but when it fails the run
// fails like any other copy.
TEST_F(FileReplace, AFailedFirstDaoCopyFailsTheRun)
{
    const std::string folder = scratch.Make("FilesToCopy");
    const std::string programs = scratch.Make("Programs");
    PutFile(folder + "\\dao350.dll", "dao");
    // A file where its folder should be.
    PutFile(programs + "\\File Comuni", "not a folder");

    ASSERT_TRUE(Engine().CopyDirAndFiles(folder, programs));

    const std::string primary = programs + "\\Common Files\\microsoft shared\\DAO\\dao350.dll";
    EXPECT_EQ("dao", ReadFileBytes(primary));
    EXPECT_EQ(std::vector<std::string>{ "  Copiato il file: " + primary }, NewMessages());
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Engine().ExitCode(true));
}

} // namespace

namespace {

// Where the raw data of the file's last section ends, by its section table.
size_t EndOfSections(const std::string& image)
{
    auto read32 = [&](size_t at) {
        DWORD value = 0;
        std::memcpy(&value, image.data() + at, sizeof(value));
        return value;
    };
    auto read16 = [&](size_t at) {
        WORD value = 0;
        std::memcpy(&value, image.data() + at, sizeof(value));
        return value;
    };
    const size_t headers = read32(0x3C);
    const size_t sections = headers + 24 + read16(headers + 20);
    size_t end = 0;
    for (size_t i = 0; i < read16(headers + 6); ++i) {
        const size_t header = sections + i * 40;
        end = std::max<size_t>(end, read32(header + 20) + read32(header + 16));
    }
    return end;
}

} // namespace

// A target cut short by an ended copy may still show the version of the new
// file in its resources; it counts as missing, so the next run repairs it.
TEST_F(FileReplace, ATargetCutShortCountsAsMissingAndIsReplaced)
{
    const std::string folder = scratch.Make("SysFile");
    const std::string system = scratch.Make("System");
    const std::string damaged = system + "\\comp.dll";
    PutFile(damaged, newBytes.substr(0, EndOfSections(newBytes) - 1));
    PutFile(folder + "\\comp.dll", newBytes);
    ASSERT_EQ("2.0.0.0", VersionText(damaged)) << "the platform does not read the cut file: nothing to prove";

    ASSERT_TRUE(Engine().CopyAndRegisterSysFiles(folder, system));

    EXPECT_TRUE(newBytes == ReadFileBytes(damaged)) << "not the new file";
    EXPECT_EQ((std::vector<std::string>{ "  Copiato il file: " + damaged,
                                         "  FILE: " + damaged + " REGISTRATO CORRETTAMENTE" }),
              NewMessages());
}
