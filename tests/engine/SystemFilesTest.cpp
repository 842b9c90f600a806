// The system-file pass with real versioned components: the copy decision, the
// routing by the SYSFILE section, registration and its four log lines.
#include "EngineHarness.h"
#include "engine/Log.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include "components/Components.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using namespace lumo_engine;
using lumo_test::DirectoryExists;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
using lumo_test::RegistrationCount;
using lumo_test::ScopedInstallDescription;
namespace component = lumo_test::component;

namespace {

const std::string kNotCopied = " NON COPIATO IN QUANTO SUL PC ESISTE UNA VERSIONE UGUALE O PIU' RECENTE ";

std::string Copied(const std::string& path)
{
    return "  Copiato il file: " + path;
}
std::string CopyFailed(const std::string& path)
{
    return "  Copia del file: " + path + " NON RIUSCITA!!";
}
std::string NotCopied(const std::string& path)
{
    return "  FILE " + path + kNotCopied;
}
std::string Registered(const std::string& path)
{
    return "  FILE: " + path + " REGISTRATO CORRETTAMENTE";
}
std::string NotLoadable(const std::string& path)
{
    return "  IL FILE: " + path + " NON PUO' ESSERE CARICATO E QUINDI REGISTRATO";
}
std::string NoEntryPoint(const std::string& path)
{
    return "  PER IL FILE DA REGISTRARE: " + path + " NON E' STATO TROVATO IL PUNTO DI INGRESSO";
}
std::string RegisterFailed(const std::string& path)
{
    return "  LA REGISTRAZIONE DEL FILE: " + path + " NON E' AVVENUTA CORRETTAMENTE";
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// True when the message right after `first` is `second`.
bool Follows(const std::vector<std::string>& messages, const std::string& first, const std::string& second)
{
    const auto at = std::find(messages.begin(), messages.end(), first);
    return at != messages.end() && at + 1 != messages.end() && *(at + 1) == second;
}

// True when the lines come one right after the other, from where the first is.
bool InSequence(const std::vector<std::string>& messages, const std::vector<std::string>& lines)
{
    const auto at = std::find(messages.begin(), messages.end(), lines.front());
    return static_cast<size_t>(messages.end() - at) >= lines.size() && std::equal(lines.begin(), lines.end(), at);
}

// A file name no other test or run uses, for files that go to shared folders.
std::string UniqueName(const std::string& stem)
{
    static std::atomic<unsigned> counter{ 0 };
    return stem + "-" + RunTag() + "-" + std::to_string(counter++) + ".dll";
}

std::string WindowsDir()
{
    char buffer[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryA(buffer, sizeof(buffer));
    return std::string(buffer, length);
}

// Removes a file the pass put into the Windows folder, loaded or not.
class WindowsFolderFile {
public:
    explicit WindowsFolderFile(const std::string& name) : path_(WindowsDir() + "\\" + name) {}
    ~WindowsFolderFile()
    {
        UnloadModule(path_);
        ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path_.c_str());
    }
    WindowsFolderFile(const WindowsFolderFile&) = delete;
    WindowsFolderFile& operator=(const WindowsFolderFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Makes a component fail to load while its version stays readable: the name
// of one library it imports is changed to one that does not exist.
void BreakImport(const std::string& path)
{
    std::string bytes = ReadFileBytes(path);
    const std::string from = "ADVAPI32.dll";
    const std::string to = "LUMOMISS.dll";
    size_t replaced = 0;
    for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
        ++replaced;
    }
    if (replaced == 0)
        throw std::runtime_error("no import to break in " + path);
    lumo_test::WriteFileBytes(path, bytes);
}

class SystemFiles : public EngineTest {
protected:
    bool Run(const std::string& from, const std::string& to) { return Engine().CopyAndRegisterSysFiles(from, to); }

    ScopedInstallDescription ini{ "[DESCRIZIONI]\r\nNumeroSysFiles=10\r\n" };
    std::string source = scratch.Make("SysFile");
    std::string target = scratch.Make("System");
};

// One row of the copy decision: what the source is, what the target holds.
struct DecisionRow {
    const char* label;
    const char* sourceComponent; // nullptr: a text file
    const char* targetComponent; // nullptr with targetText null: no target
    const char* targetText;      // a text file at the target
    bool copied;
    // The source's version cannot be read: a failure, never "up to date".
    bool unreadable = false;
};

TEST_F(SystemFiles, CopiesOnlyWhenTheSourceIsStrictlyNewer)
{
    const DecisionRow rows[] = {
        { "no target", component::kVer6_2_0_0, nullptr, nullptr, true },
        { "2.0.0.0 over 1.9.9.9", component::kVer2_0_0_0, component::kVer1_9_9_9, nullptr, true },
        { "1.2.3.4 over 1.2.3.4", component::kVer1_2_3_4, component::kVer1_2_3_4, nullptr, false },
        { "1.2.3.4 over 1.2.3.5", component::kVer1_2_3_4, component::kVer1_2_3_5, nullptr, false },
        { "1.2.3.5 over 1.2.3.4", component::kVer1_2_3_5, component::kVer1_2_3_4, nullptr, true },
        { "7.0.0.0 over 6.65535.65535.65535", component::kVer7_0_0_0, component::kVer6_65535_65535_65535, nullptr,
          true },
        { "6.65535.65535.65535 over 7.0.0.0", component::kVer6_65535_65535_65535, component::kVer7_0_0_0, nullptr,
          false },
        { "1.2.3.4 over an unversioned text", component::kVer1_2_3_4, nullptr, "text", true },
        { "unversioned DLL, no target", component::kNoVersion, nullptr, nullptr, false },
        // A fixed record without a translation table is no usable version.
        { "3.1.4.1 without translation table, no target", component::kNoTranslation, nullptr, nullptr, false, true },
        { "2.0.0.0 over 3.1.4.1 without translation table", component::kVer2_0_0_0, component::kNoTranslation,
          nullptr, true },
        { "unversioned DLL over an unversioned text", component::kNoVersion, nullptr, "text", false },
        { "text, no target", nullptr, nullptr, nullptr, false },
    };
    int index = 0;
    for (const DecisionRow& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string rowSource = scratch.Make("row" + std::to_string(index) + "\\SysFile");
        const std::string rowTarget = scratch.Make("row" + std::to_string(index) + "\\System");
        ++index;
        const std::string from = rowSource + "\\comp.dll";
        const std::string to = rowTarget + "\\comp.dll";
        if (row.sourceComponent != nullptr)
            PutComponent(row.sourceComponent, from);
        else
            PutFile(from, "source text");
        if (row.targetComponent != nullptr)
            PutComponent(row.targetComponent, to);
        else if (row.targetText != nullptr)
            PutFile(to, row.targetText);
        const bool targetExisted = FileExists(to);
        const std::string before = ReadFileBytes(to);

        ASSERT_TRUE(Run(rowSource, rowTarget));

        const std::vector<std::string> messages = NewMessages();
        if (row.copied) {
            EXPECT_EQ(ReadFileBytes(from), ReadFileBytes(to));
            // No SYSFILE entry: registered after the copy.
            EXPECT_EQ((std::vector<std::string>{ Copied(to), Registered(to) }), messages);
            EXPECT_EQ(1u, RegistrationCount(to));
        } else {
            EXPECT_EQ(targetExisted, FileExists(to));
            EXPECT_EQ(before, ReadFileBytes(to));
            const std::vector<std::string> expected =
                row.unreadable
                    ? std::vector<std::string>{ UnreadableVersionLine(from, to),
                                                ErrorReasonLine(ERROR_RESOURCE_TYPE_NOT_FOUND) }
                    : std::vector<std::string>{ NotCopied(to) };
            EXPECT_EQ(expected, messages);
            EXPECT_EQ(0u, RegistrationCount(to));
        }
    }
}

// A component the pass cannot read at all (held open by another program
// without read sharing) is a failure with the system's reason, never taken
// for up to date; the rest of the pass goes on.
TEST_F(SystemFiles, ASourceThatCannotBeReadFailsTheRun)
{
    PutComponent(component::kVer1_2_3_4, source + "\\chiuso.dll");
    PutComponent(component::kVer2_0_0_0, source + "\\libero.dll");
    const HANDLE held = ::CreateFileW(Wide(source + "\\chiuso.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(Run(source, target));
    ::CloseHandle(held);
    const std::vector<std::string> messages = NewMessages();
    const std::vector<std::string> expected = {
        UnreadableVersionLine(source + "\\chiuso.dll", target + "\\chiuso.dll"),
        ErrorReasonLine(ERROR_SHARING_VIOLATION),
        Copied(target + "\\libero.dll"),
        Registered(target + "\\libero.dll"),
    };
    EXPECT_EQ(expected, messages);
    EXPECT_FALSE(FileExists(target + "\\chiuso.dll"));
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Engine().ExitCode(true));
}

TEST_F(SystemFiles, WinpathSendsTheFileToTheWindowsFolderWithoutItsSubfolder)
{
    const std::string nested = UniqueName("lumo-winpath");
    const std::string spaced = UniqueName("lumo-winpath");
    WindowsFolderFile nestedLanded(nested);
    WindowsFolderFile spacedLanded(spaced);
    ini.Rewrite("[SYSFILE]\r\n" + nested + "=WINPATH|REG\r\n" + spaced + "=  winpath | reg  \r\n");
    PutComponent(component::kRegisterOk, source + "\\Sub\\" + nested);
    PutComponent(component::kRegisterOk, source + "\\" + spaced);

    ASSERT_TRUE(Run(source, target));

    EXPECT_EQ(ReadFileBytes(lumo_test::ComponentPath(component::kRegisterOk)), ReadFileBytes(nestedLanded.Path()));
    EXPECT_TRUE(FileExists(spacedLanded.Path()));
    EXPECT_FALSE(FileExists(target + "\\Sub\\" + nested));
    EXPECT_FALSE(FileExists(target + "\\" + spaced));
    EXPECT_EQ(1u, RegistrationCount(nestedLanded.Path()));
    EXPECT_EQ(1u, RegistrationCount(spacedLanded.Path()));

    const std::vector<std::string> messages = NewMessages();
    EXPECT_EQ(Sorted({ Copied(nestedLanded.Path()), Registered(nestedLanded.Path()), Copied(spacedLanded.Path()),
                       Registered(spacedLanded.Path()) }),
              Sorted(messages));
    EXPECT_TRUE(Follows(messages, Copied(nestedLanded.Path()), Registered(nestedLanded.Path())));
    EXPECT_TRUE(Follows(messages, Copied(spacedLanded.Path()), Registered(spacedLanded.Path())));

    // The status names the path the file would have had without its entry.
    const std::vector<std::string>& status = view.StatusTexts();
    EXPECT_EQ(1, std::count(status.begin(), status.end(), "Analizza " + target + "\\Sub\\" + nested));
    EXPECT_EQ(1, std::count(status.begin(), status.end(), "Analizza " + target + "\\" + spaced));
}

TEST_F(SystemFiles, SyspathRegistersOnlyWithTheRegFlag)
{
    ini.Rewrite("[SYSFILE]\r\nplain.dll=SYSPATH|\r\nflagged.dll=SYSPATH|reg \r\nbare.dll=syspath\r\n");
    PutComponent(component::kRegisterOk, source + "\\plain.dll");
    PutComponent(component::kRegisterOk, source + "\\flagged.dll");
    PutComponent(component::kRegisterOk, source + "\\bare.dll");

    ASSERT_TRUE(Run(source, target));

    const std::string plain = target + "\\plain.dll";
    const std::string flagged = target + "\\flagged.dll";
    const std::string bare = target + "\\bare.dll";
    EXPECT_TRUE(FileExists(plain));
    EXPECT_TRUE(FileExists(flagged));
    EXPECT_TRUE(FileExists(bare));
    EXPECT_EQ(0u, RegistrationCount(plain));
    EXPECT_EQ(1u, RegistrationCount(flagged));
    EXPECT_EQ(0u, RegistrationCount(bare));
    const std::vector<std::string> messages = NewMessages();
    EXPECT_EQ(Sorted({ Copied(plain), Copied(flagged), Registered(flagged), Copied(bare) }), Sorted(messages));
    EXPECT_TRUE(Follows(messages, Copied(flagged), Registered(flagged)));
}

TEST_F(SystemFiles, EntryIsFoundForANameWithSurroundingBlanks)
{
    // The platform keeps a leading blank of a file name; the entry's key has none.
    ini.Rewrite("[SYSFILE]\r\nlead.dll=SYSPATH|\r\n");
    PutComponent(component::kRegisterOk, source + "\\ lead.dll");

    ASSERT_TRUE(Run(source, target));

    const std::string landed = target + "\\ lead.dll";
    EXPECT_TRUE(FileExists(landed));
    EXPECT_EQ(0u, RegistrationCount(landed));
    EXPECT_EQ(std::vector<std::string>{ Copied(landed) }, NewMessages());
}

TEST_F(SystemFiles, OtherFolderWordIsUpperCasedAndMadeEvenWhenNothingIsCopied)
{
    // Written in mixed case; the pass upper-cases the whole folder.
    const std::string copiedFolder = scratch.root / "Shared-Mixed\\Bin";
    const std::string emptyFolder = scratch.root / "Kept-Mixed\\Bin";
    ini.Rewrite("[SYSFILE]\r\nshared.dll=" + copiedFolder + " |REG\r\nkept.dll=" + emptyFolder + "|REG\r\n");
    PutComponent(component::kRegisterOk, source + "\\shared.dll");
    PutComponent(component::kNoVersion, source + "\\kept.dll");

    ASSERT_TRUE(Run(source, target));

    const std::string shared = Upper(copiedFolder) + "\\shared.dll";
    const std::string kept = Upper(emptyFolder) + "\\kept.dll";
    EXPECT_TRUE(FileExists(shared));
    EXPECT_EQ(1u, RegistrationCount(shared));
    EXPECT_TRUE(DirectoryExists(emptyFolder));
    EXPECT_TRUE(FilesBelow(emptyFolder).empty());
    EXPECT_EQ(0u, RegistrationCount(kept));
    EXPECT_FALSE(FileExists(target + "\\shared.dll"));
    EXPECT_FALSE(FileExists(target + "\\kept.dll"));

    // The folders are made with the upper-cased names.
    const std::vector<std::string> made = lumo_test::ListEntries(scratch.root.Path());
    EXPECT_EQ(1, std::count(made.begin(), made.end(), "SHARED-MIXED"));
    EXPECT_EQ(1, std::count(made.begin(), made.end(), "KEPT-MIXED"));
    EXPECT_EQ(std::vector<std::string>{ "BIN" }, lumo_test::ListEntries(scratch.root / "KEPT-MIXED"));

    const std::vector<std::string> messages = NewMessages();
    EXPECT_EQ(Sorted({ Copied(shared), Registered(shared), NotCopied(kept) }), Sorted(messages));
    EXPECT_TRUE(Follows(messages, Copied(shared), Registered(shared)));

    // The status shows the default path even for rerouted files.
    EXPECT_EQ(Sorted({ "Analizza " + target + "\\shared.dll", "Analizza " + target + "\\kept.dll" }),
              Sorted(view.StatusTexts()));
}

TEST_F(SystemFiles, StatusShowsTheDefaultPathWhileTheBarMoves)
{
    ini.Rewrite("[DESCRIZIONI]\r\nNumeroSysFiles=2\r\n[SYSFILE]\r\naway.dll=" + (scratch.root / "Away") + "\r\n");
    PutComponent(component::kRegisterOk, source + "\\away.dll");
    PutComponent(component::kRegisterOk, source + "\\home.dll");
    const std::vector<std::string> order = lumo_test::ListEntries(source);

    ASSERT_TRUE(Run(source, target));

    // The opening 100 comes before any status; each file's step arrives with
    // its own status shown.
    ASSERT_EQ(4u, view.StatusAtBar().size());
    EXPECT_EQ("Analizza " + target + "\\" + order[0], view.StatusAtBar()[1]);
    EXPECT_EQ("Analizza " + target + "\\" + order[1], view.StatusAtBar()[2]);
    EXPECT_TRUE(FileExists(Upper(scratch.root / "Away") + "\\away.dll"));
    EXPECT_EQ(0u, RegistrationCount(Upper(scratch.root / "Away") + "\\away.dll"));
}

TEST_F(SystemFiles, ValueWithoutBarIsAFolderWordWithoutTheRegFlag)
{
    const std::string name = UniqueName("lumo-word");
    WindowsFolderFile landed(name);
    ini.Rewrite("[SYSFILE]\r\n" + name + "=WINPATH\r\n");
    PutComponent(component::kRegisterOk, source + "\\" + name);

    ASSERT_TRUE(Run(source, target));

    EXPECT_TRUE(FileExists(landed.Path()));
    EXPECT_FALSE(FileExists(target + "\\" + name));
    EXPECT_EQ(0u, RegistrationCount(landed.Path()));
    EXPECT_EQ(std::vector<std::string>{ Copied(landed.Path()) }, NewMessages());
}

TEST_F(SystemFiles, RegistersEvenAfterAFailedCopy)
{
    // The new copy cannot be written: the copy fails, the old copy is registered.
    const std::string locked = target + "\\locked.dll";
    PutComponent(component::kVer1_2_3_4, locked);
    BlockedCopy blocked(locked);
    PutComponent(component::kVer2_0_0_0, source + "\\locked.dll");
    // A folder in the file's place: neither copied over nor loadable.
    const std::string folder = target + "\\folder.dll";
    MakeFolders(folder);
    PutComponent(component::kVer2_0_0_0, source + "\\folder.dll");

    ASSERT_TRUE(Run(source, target));

    EXPECT_EQ("1.2.3.4", VersionText(locked));
    EXPECT_EQ(1u, RegistrationCount(locked));
    EXPECT_TRUE(DirectoryExists(folder));
    // Each failure with its reason: a read-only component, a folder in the
    // component's place; both refuse access.
    const std::vector<std::string> messages = NewMessages();
    const std::string denied = ErrorReasonLine(ERROR_ACCESS_DENIED);
    EXPECT_EQ(7u, messages.size());
    EXPECT_TRUE(InSequence(messages, { CopyFailed(locked), denied, Registered(locked) }));
    EXPECT_TRUE(InSequence(messages, { CopyFailed(folder), denied, NotLoadable(folder), denied }));
}

TEST_F(SystemFiles, FileNotCopiedIsNeverRegistered)
{
    ini.Rewrite("[SYSFILE]\r\nflagged.dll=SYSPATH|REG\r\n");
    PutComponent(component::kVer1_2_3_4, source + "\\flagged.dll");
    PutComponent(component::kVer1_2_3_5, target + "\\flagged.dll");
    PutComponent(component::kVer1_2_3_4, source + "\\same.dll");
    PutComponent(component::kVer1_2_3_4, target + "\\same.dll");

    ASSERT_TRUE(Run(source, target));

    EXPECT_EQ(0u, RegistrationCount(target + "\\flagged.dll"));
    EXPECT_EQ(0u, RegistrationCount(target + "\\same.dll"));
    EXPECT_EQ(Sorted({ NotCopied(target + "\\flagged.dll"), NotCopied(target + "\\same.dll") }),
              Sorted(NewMessages()));
}

TEST_F(SystemFiles, EachRegistrationOutcomeHasItsLine)
{
    PutComponent(component::kRegisterOk, source + "\\ok.dll");
    PutComponent(component::kRegisterFalse, source + "\\false.dll");
    PutComponent(component::kRegisterPositiveMax, source + "\\max.dll");
    PutComponent(component::kRegisterNoEntry, source + "\\noentry.dll");
    PutComponent(component::kRegisterFail, source + "\\fail.dll");
    PutComponent(component::kRegisterOk, source + "\\broken.dll");
    BreakImport(source + "\\broken.dll");
    ASSERT_EQ("1.0.0.0", VersionText(source + "\\broken.dll"));

    ASSERT_TRUE(Run(source, target));

    const std::string ok = target + "\\ok.dll";
    const std::string sFalse = target + "\\false.dll";
    const std::string max = target + "\\max.dll";
    const std::string noEntry = target + "\\noentry.dll";
    const std::string fail = target + "\\fail.dll";
    const std::string broken = target + "\\broken.dll";
    const std::vector<std::string> messages = NewMessages();
    EXPECT_EQ(15u, messages.size());
    EXPECT_TRUE(Follows(messages, Copied(ok), Registered(ok)));
    EXPECT_TRUE(Follows(messages, Copied(sFalse), Registered(sFalse))) << "S_FALSE is a success";
    EXPECT_TRUE(Follows(messages, Copied(max), Registered(max)));
    EXPECT_TRUE(Follows(messages, Copied(noEntry), NoEntryPoint(noEntry)));
    EXPECT_TRUE(Follows(messages, Copied(fail), RegisterFailed(fail)));
    EXPECT_TRUE(Follows(messages, Copied(broken), NotLoadable(broken)));
    // Under each failure, its reason: the missing export, what the entry
    // point returned (E_FAIL), the library the loader could not find.
    EXPECT_TRUE(Follows(messages, NoEntryPoint(noEntry), ErrorReasonLine(ERROR_PROC_NOT_FOUND)));
    EXPECT_TRUE(Follows(messages, RegisterFailed(fail), ResultReasonLine(E_FAIL)));
    EXPECT_TRUE(Follows(messages, NotLoadable(broken), ErrorReasonLine(ERROR_MOD_NOT_FOUND)));
    EXPECT_EQ(1u, RegistrationCount(ok));
    EXPECT_EQ(1u, RegistrationCount(sFalse));
    EXPECT_EQ(1u, RegistrationCount(max));
    EXPECT_EQ(1u, RegistrationCount(fail));
    EXPECT_EQ(0u, RegistrationCount(broken));
}

TEST_F(SystemFiles, MissingOrEmptySourceSucceedsWithoutAFileLine)
{
    EXPECT_TRUE(Run(scratch.root / "NoSuchFolder", target));
    EXPECT_TRUE(Run(scratch.Make("EmptySysFile"), target));
    EXPECT_TRUE(NewMessages().empty());
    EXPECT_TRUE(FilesBelow(target).empty());
    EXPECT_TRUE(view.StatusTexts().empty());
    EXPECT_EQ((std::vector<int>{ 100, 100, 100, 100 }), view.BarPositions());
}

} // namespace
