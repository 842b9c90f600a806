// One faulty delivery per rule, built here with its components: LumoCheck.exe
// names the mistake with its code, its severity and the file or key, and ends
// with the exit code of the worst finding. A clean delivery has no finding.
#include "checker/CheckRun.h"

#include "TestSupport.h"
#include "components/Components.h"
#include "e2e/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace lumo_check_test;
using lumo_test::ComponentPath;
namespace component = lumo_test::component;

namespace {

const std::string kRun = std::to_string(::GetCurrentProcessId());

// A delivery folder and, beside it, room for targets that a case needs.
class Builder {
public:
    explicit Builder(const std::string& root) : folder_(root + "\\deliv"), scratch_(root + "\\scratch")
    {
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        ::CreateDirectoryA(scratch_.c_str(), nullptr);
        sections_ = {
            { "DESCRIZIONI",
              { { "Caption", "Installazione di prova" },
                { "Procedura", "Benvenuti nella prova." },
                // Accents in Windows-1252, as the file must be saved.
                { "Procedura_1", "Questo programma installer\xE0 il client.\\nPremere Installa." },
                { "InstallazioneSuccess", "Installazione riuscita." },
                { "InstallazioneError", "L'installazione non \xE8 stata completata." } } },
            { "CHIAVI",
              { { "PathKey", "Software\\LumoCheckTests\\" + kRun },
                { "InstallationDir", "C:\\Pelvora\\Prova" + kRun } } },
            { "SYSFILE", { { "lc_core.dll", "SYSPATH|REG" }, { "lc_report.dll", "SYSPATH|" } } },
        };
        AddApp("Leggimi.txt");
        AddApp("Report\\Modelli.txt");
        AddSys("lc_core.dll", component::kVer2_0_0_0);
        // Not registered, so it needs no DllRegisterServer.
        AddSys("Sub\\lc_report.dll", component::kRegisterNoEntry);
    }

    const std::string& Folder() const { return folder_; }
    const std::string& Scratch() const { return scratch_; }

    void Set(const std::string& section, const std::string& key, const std::string& value)
    {
        for (auto& s : sections_) {
            if (s.first != section)
                continue;
            for (auto& entry : s.second) {
                if (entry.first == key) {
                    entry.second = value;
                    return;
                }
            }
            s.second.emplace_back(key, value);
            return;
        }
        sections_.push_back({ section, { { key, value } } });
    }
    void Remove(const std::string& section, const std::string& key)
    {
        for (auto& s : sections_) {
            if (s.first == section)
                s.second.erase(std::remove_if(s.second.begin(), s.second.end(),
                                              [&](const auto& entry) { return entry.first == key; }),
                               s.second.end());
        }
    }
    // The description file exactly as given, instead of the one built.
    void RawIni(const std::string& bytes) { rawIni_ = bytes; }
    void NoIni() { noIni_ = true; }

    void AddApp(const std::string& relative, const std::string& bytes = "dati\r\n")
    {
        AddFile(folder_ + "\\FilesToCopy\\" + relative, bytes);
        ++appFiles_;
    }
    void AddSys(const std::string& relative, const char* componentName)
    {
        AddFile(folder_ + "\\SysFile\\" + relative, lumo_test::ReadFileBytes(ComponentPath(componentName)));
        ++sysFiles_;
    }
    void AddSysBytes(const std::string& relative, const std::string& bytes)
    {
        AddFile(folder_ + "\\SysFile\\" + relative, bytes);
        ++sysFiles_;
    }
    static void AddFile(const std::string& path, const std::string& bytes)
    {
        for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
            ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
        lumo_test::WriteFileBytes(path, bytes);
    }

    void Write()
    {
        if (noIni_)
            return;
        if (!rawIni_.empty()) {
            lumo_test::WriteFileBytes(folder_ + "\\Installatore.ini", rawIni_);
            return;
        }
        // The counts match the files unless a case set them.
        std::vector<lumo_e2e::IniSection> sections = sections_;
        auto& descriptions = sections[0].second;
        auto count = [&](const char* key, int real) {
            for (const auto& entry : descriptions)
                if (entry.first == key)
                    return;
            descriptions.emplace_back(key, std::to_string(real));
        };
        if (!skipCounts_) {
            count("NumeroFiles", appFiles_);
            count("NumeroSysFiles", sysFiles_);
        }
        lumo_test::WriteFileBytes(folder_ + "\\Installatore.ini", lumo_e2e::IniText(sections));
    }
    void SkipCounts() { skipCounts_ = true; }

private:
    std::string folder_;
    std::string scratch_;
    std::vector<lumo_e2e::IniSection> sections_;
    std::string rawIni_;
    bool noIni_ = false;
    bool skipCounts_ = false;
    int appFiles_ = 0;
    int sysFiles_ = 0;
};

struct Expected {
    std::string severity;
    std::string code;
    std::string subject;
    bool operator<(const Expected& o) const
    {
        return std::tie(code, subject, severity) < std::tie(o.code, o.subject, o.severity);
    }
    bool operator==(const Expected& o) const
    {
        return code == o.code && subject == o.subject && severity == o.severity;
    }
};

std::ostream& operator<<(std::ostream& out, const Expected& e)
{
    return out << e.severity << " " << e.code << " " << e.subject;
}

struct Case {
    const char* name;
    std::function<void(Builder&)> build;
    std::vector<Expected> expected;
    DWORD exitCode;
    // What the explanations must say, each in one of them.
    std::vector<std::string> mentions = {};
};

// Builds each case's delivery in a folder of its own, runs the checker on it
// and compares what it found, in any order, with what the case expects.
void RunCases(const std::vector<Case>& cases, const std::string& rootBase = "")
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lumo_test::TempDir root("lumo-chk");
        const std::string base = rootBase.empty() ? root.Path() : rootBase + "\\" + std::to_string(&c - &cases[0]);
        ::CreateDirectoryA(base.c_str(), nullptr);
        Builder builder(base);
        c.build(builder);
        builder.Write();

        const CheckRun run = RunLumoCheck("\"" + builder.Folder() + "\"");
        ASSERT_TRUE(run.started && run.ended) << "LumoCheck.exe did not run to its end";
        std::vector<Expected> found;
        std::string messages;
        for (const FindingLine& line : Findings(run)) {
            found.push_back({ line.severity, line.code, line.subject });
            EXPECT_GT(line.message.size(), 40u) << "a finding without its explanation: " << line.message;
            messages += line.message + "\n";
        }
        for (const std::string& mention : c.mentions)
            EXPECT_NE(std::string::npos, messages.find(mention)) << mention << " not in:\n" << messages;
        std::vector<Expected> expected = c.expected;
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, found);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(0u, run.lines.back().rfind("Totale: " + std::to_string(found.size()) + " segnalazion", 0))
            << run.lines.back();
        EXPECT_EQ(c.exitCode, run.exitCode);
    }
}

const std::string kSysFolderKey = "SysFile\\";

TEST(Checker, CleanDeliveryHasNoFinding)
{
    RunCases({
        { "clean", [](Builder&) {}, {}, 0 },
        // Each limit just inside: counts of twice and half the files, a value
        // of 255 characters, blanks and small letters in a SYSFILE value, a
        // SYSFILE value naming a full folder and a drive.
        { "limits",
          [](Builder& b) {
              b.Set("DESCRIZIONI", "NumeroFiles", "4");
              b.Set("DESCRIZIONI", "Procedura", std::string(255, 'x'));
              b.Set("SYSFILE", "lc_core.dll", "  syspath | reg ");
              b.Set("SYSFILE", "lc_own.dll", b.Scratch() + "\\Condivisi|REG");
              b.AddSys("lc_own.dll", component::kRegisterOk);
              b.Set("SYSFILE", "lc_root.dll", "C:|");
              b.AddSys("lc_root.dll", component::kVer7_0_0_0);
              b.Set("DESCRIZIONI", "NumeroSysFiles", "2 componenti");
          },
          {},
          0 },
        // Renamed LumoSidInstall.exe, the program shows its own welcome texts.
        { "own welcome texts",
          [](Builder& b) {
              b.Remove("DESCRIZIONI", "Procedura");
              b.Remove("DESCRIZIONI", "Procedura_1");
              Builder::AddFile(b.Folder() + "\\LUMOSIDINSTALL.EXE", "MZ");
          },
          {},
          0 },
    });
}

TEST(Checker, DescriptionFileRules)
{
    RunCases({
        { "LC018 no Installatore.ini", [](Builder& b) { b.NoIni(); },
          { { "ERRORE", "LC018", "Installatore.ini" } }, 2 },
        // Wine reads a file with the mark as UTF-8 and still finds its first
        // section; Windows does not, and would report the keys of
        // [DESCRIZIONI] missing as well. Here the file is ASCII after the mark.
        { "LC005 byte-order mark",
          [](Builder& b) {
              b.Write();
              b.RawIni("\xEF\xBB\xBF" + lumo_test::ReadFileBytes(b.Folder() + "\\Installatore.ini"));
          },
          { { "ERRORE", "LC005", "Installatore.ini" } }, 2 },
        { "LC006 UTF-8 without its mark",
          [](Builder& b) {
              b.Set("DESCRIZIONI", "Procedura_1", "Perch\xC3\xA9 s\xC3\xAC");
              b.Set("DESCRIZIONI", "InstallazioneError", "L'installazione non \xC3\xA8 stata completata.");
          },
          { { "AVVISO", "LC006", "Installatore.ini" } }, 1 },
        { "LC007 a value of 256 characters",
          [](Builder& b) {
              b.Set("DESCRIZIONI", "Procedura", std::string(256, 'x'));
              b.Set("SYSFILE", "lc_core.dll", "SYSPATH|REG" + std::string(300, ' ') + "x");
          },
          { { "ERRORE", "LC007", "[DESCRIZIONI] Procedura" }, { "ERRORE", "LC007", "[SYSFILE] lc_core.dll" } },
          2,
          { "lungo 256 caratteri", "lungo 312 caratteri" } },
        { "LC013 missing keys",
          [](Builder& b) {
              b.Remove("DESCRIZIONI", "Caption");
              b.Set("DESCRIZIONI", "InstallazioneSuccess", "");
              b.Remove("CHIAVI", "InstallationDir");
          },
          { { "AVVISO", "LC013", "[DESCRIZIONI] Caption" },
            { "AVVISO", "LC013", "[DESCRIZIONI] InstallazioneSuccess" },
            { "AVVISO", "LC013", "[CHIAVI] InstallationDir" } },
          1,
          { "non avranno titolo", "\\Installatore.log, alla radice" } },
        { "LC014 counts that are not positive numbers",
          [](Builder& b) {
              b.Set("DESCRIZIONI", "NumeroFiles", "quattro");
              b.Set("DESCRIZIONI", "NumeroSysFiles", "0");
          },
          { { "AVVISO", "LC014", "[DESCRIZIONI] NumeroFiles" }, { "AVVISO", "LC014", "[DESCRIZIONI] NumeroSysFiles" } },
          1 },
        { "LC014 counts missing", [](Builder& b) { b.SkipCounts(); },
          { { "AVVISO", "LC014", "[DESCRIZIONI] NumeroFiles" }, { "AVVISO", "LC014", "[DESCRIZIONI] NumeroSysFiles" } },
          1 },
        { "LC015 counts far from the files",
          [](Builder& b) {
              b.Set("DESCRIZIONI", "NumeroFiles", "5");
              b.AddSys("lc_third.dll", component::kVer1_2_3_4);
              b.Set("DESCRIZIONI", "NumeroSysFiles", "1");
          },
          { { "AVVISO", "LC015", "[DESCRIZIONI] NumeroFiles" }, { "AVVISO", "LC015", "[DESCRIZIONI] NumeroSysFiles" } },
          1,
          { "troppo lentamente", "troppo presto", "(2)", "(3)" } },
        { "LC010 folder paths with \\n",
          [](Builder& b) {
              b.Set("CHIAVI", "InstallationDir", "C:\\Pelvora\\nuovo" + kRun);
              b.Set("SYSFILE", "lc_core.dll", b.Scratch() + "\\nuovo|REG");
          },
          { { "AVVISO", "LC010", "[CHIAVI] InstallationDir" }, { "AVVISO", "LC010", "[SYSFILE] lc_core.dll" } }, 1 },
    });
}

TEST(Checker, SysFileEntryRules)
{
    RunCases({
        { "LC008 no bar", [](Builder& b) { b.Set("SYSFILE", "lc_core.dll", "SYSPATH"); },
          { { "AVVISO", "LC008", "[SYSFILE] lc_core.dll" } }, 1 },
        { "LC009 unknown flag", [](Builder& b) { b.Set("SYSFILE", "lc_core.dll", "SYSPATH|REGISTRA"); },
          { { "AVVISO", "LC009", "[SYSFILE] lc_core.dll" } }, 1 },
        { "LC011 an entry without its file",
          [](Builder& b) { b.Set("SYSFILE", "lc_mancante.dll", "SYSPATH|REG"); },
          { { "AVVISO", "LC011", "[SYSFILE] lc_mancante.dll" } }, 1 },
        // Same name in two folders: sent to one place, the later overwrites
        // the earlier; left in their mirrored folders, they only share the flag.
        { "LC012 one entry for two files",
          [](Builder& b) {
              b.AddSys("A\\lc_dup.dll", component::kVer1_2_3_4);
              b.AddSys("B\\lc_dup.dll", component::kVer2_0_0_0);
              b.Set("SYSFILE", "lc_dup.dll", b.Scratch() + "\\Comune|REG");
              b.AddSys("A\\lc_twin.dll", component::kVer1_2_3_4);
              b.AddSys("B\\lc_twin.dll", component::kVer1_2_3_4);
              b.Set("SYSFILE", "lc_twin.dll", "SYSPATH|REG");
          },
          { { "ERRORE", "LC012", "[SYSFILE] lc_dup.dll" }, { "AVVISO", "LC012", "[SYSFILE] lc_twin.dll" } }, 2 },
        { "LC017 own folders that are not full paths",
          [](Builder& b) {
              b.Set("SYSFILE", "lc_core.dll", "|REG");
              b.Set("SYSFILE", "lc_report.dll", "Condivisi|");
          },
          { { "ERRORE", "LC017", "[SYSFILE] lc_core.dll" }, { "ERRORE", "LC017", "[SYSFILE] lc_report.dll" } }, 2 },
    });
}

TEST(Checker, ComponentRules)
{
    RunCases({
        { "LC001 no usable version",
          [](Builder& b) {
              b.AddSys("lc_nover.dll", component::kNoVersion);
              b.AddSys("lc_notrans.dll", component::kNoTranslation);
              b.AddSysBytes("Leggimi.txt", "testo\r\n");
          },
          { { "ERRORE", "LC001", "SysFile\\lc_nover.dll" },
            { "ERRORE", "LC001", "SysFile\\lc_notrans.dll" },
            { "ERRORE", "LC001", "SysFile\\Leggimi.txt" } },
          2 },
        // The file at the target is newer, or as new: not copied here.
        { "LC002 not newer than this machine's",
          [](Builder& b) {
              const std::string target = b.Scratch() + "\\Presenti";
              ::CreateDirectoryA(target.c_str(), nullptr);
              ::CopyFileA(ComponentPath(component::kVer1_2_3_5).c_str(), (target + "\\lc_older.dll").c_str(), FALSE);
              ::CopyFileA(ComponentPath(component::kVer1_2_3_4).c_str(), (target + "\\lc_equal.dll").c_str(), FALSE);
              ::CopyFileA(ComponentPath(component::kVer1_2_3_4).c_str(), (target + "\\lc_newer.dll").c_str(), FALSE);
              b.AddSys("lc_older.dll", component::kVer1_2_3_4);
              b.AddSys("lc_equal.dll", component::kVer1_2_3_4);
              b.AddSys("lc_newer.dll", component::kVer1_2_3_5);
              for (const char* name : { "lc_older.dll", "lc_equal.dll", "lc_newer.dll" })
                  b.Set("SYSFILE", name, target + "|REG");
          },
          { { "AVVISO", "LC002", "SysFile\\lc_older.dll" }, { "AVVISO", "LC002", "SysFile\\lc_equal.dll" } },
          1,
          { "la versione 1.2.3.4 non \xE8 pi\xF9 recente", "(1.2.3.5)", "(1.2.3.4)" } },
        { "LC003 a component of the other bitness",
          [](Builder& b) {
              b.AddSys("lc_other.dll", component::kOtherBitness);
              b.Set("SYSFILE", "lc_other.dll", "SYSPATH|REG");
          },
          { { "ERRORE", "LC003", "SysFile\\lc_other.dll" } },
          2,
          // The installer of the build that ships is a 32-bit program.
          { sizeof(void*) == 4 ? "\xE8 una DLL a 64 bit: l'installatore, a 32 bit,"
                               : "\xE8 una DLL a 32 bit: l'installatore, a 64 bit," } },
        // Registered when it has no entry or asks for REG; not with another flag.
        { "LC004 registration without DllRegisterServer",
          [](Builder& b) {
              b.AddSys("lc_noentry.dll", component::kRegisterNoEntry);
              b.AddSys("lc_noentry_reg.dll", component::kRegisterNoEntry);
              b.Set("SYSFILE", "lc_noentry_reg.dll", "SYSPATH|reg");
              b.AddSys("lc_noentry_win.dll", component::kRegisterNoEntry);
              b.Set("SYSFILE", "lc_noentry_win.dll", "WINPATH|");
          },
          { { "ERRORE", "LC004", "SysFile\\lc_noentry.dll" }, { "ERRORE", "LC004", "SysFile\\lc_noentry_reg.dll" } },
          2 },
    });
}

// The source paths must stay short while the targets grow long: the delivery
// lies straight below C:\ and its folders are mirrored below Program Files,
// which adds the shared folder's 38 characters.
TEST(Checker, TargetPathTooLong)
{
    ShortRoot shortRoot;
    // Target: 22 + 175 + 38 + 33 = 268 characters; source below 250.
    std::string deep;
    for (int i = 0; i < 5; ++i)
        deep += "cartella_con_un_nome_molto_lungo_" + std::to_string(i) + "\\";
    const std::string name = "documento_finale_del_cliente.txt";
    const std::string appFile = "FilesToCopy\\" + deep + name;
    RunCases(
        {
            { "LC016 long targets",
              [&](Builder& b) {
                  b.AddApp(deep + name);
                  // A SYSFILE folder of 250 characters, within the 255 of a
                  // value, and the file name.
                  std::string own = "C:\\" + std::string(120, 'p') + "\\" + std::string(126, 'q');
                  b.Set("SYSFILE", "lc_core.dll", own + "|REG");
              },
              { { "ERRORE", "LC016", appFile }, { "ERRORE", "LC016", "SysFile\\lc_core.dll" } },
              2 },
        },
        shortRoot.Path());
}

// A folder whose search pattern ("\\*.*" added) reaches MAX_PATH cannot be
// listed by the installer: its files are never copied.
TEST(Checker, FolderThatCannotBeListed)
{
    lumo_test::TempDir root("lumo-chk");
    Builder builder(root.Path());
    builder.AddSys("Vicina\\lc_near.dll", component::kVer1_2_3_4);
    const std::string vicina = builder.Folder() + "\\SysFile\\Vicina";
    const std::string chain = MakeUnlistableFolder(vicina);
    const std::string deep = "SysFile\\Vicina\\" + chain;
    builder.Write();
    struct Chain {
        std::string base, relative;
        ~Chain() { RemoveDeepFolder(base, relative); }
    } removeChain{ vicina, chain };

    const CheckRun run = RunLumoCheck("\"" + builder.Folder() + "\"");
    ASSERT_TRUE(run.ended);
    const std::vector<FindingLine> findings = Findings(run);
    ASSERT_EQ(1u, findings.size());
    EXPECT_EQ("ERRORE", findings[0].severity);
    EXPECT_EQ("LC019", findings[0].code);
    EXPECT_EQ(deep, findings[0].subject);
    EXPECT_NE(std::string::npos,
              findings[0].message.find("lungo " + std::to_string(kUnlistableLength) + " caratteri"));
    EXPECT_EQ(2u, run.exitCode);
}

TEST(Checker, FolderThatCannotBeReadAndTheDefaultFolder)
{
    lumo_test::TempDir root("lumo-chk");
    const struct {
        const char* name;
        std::string arguments;
    } unreadable[] = {
        { "missing folder", "\"" + root / "manca" + "\"" },
        { "a file, not a folder", "\"" + std::string(LUMO_CHECK_EXE_PATH) + "\"" },
        { "unknown option", "--tutto" },
        { "two folders", "\"" + root.Path() + "\" \"" + root.Path() + "\"" },
    };
    for (const auto& c : unreadable) {
        SCOPED_TRACE(c.name);
        const CheckRun run = RunLumoCheck(c.arguments);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(3u, run.exitCode);
        ASSERT_EQ(1u, run.lines.size());
        EXPECT_EQ(std::string::npos, run.lines[0].find("Totale"));
    }

    // Without a folder the checker reads the current one, as given by a
    // packager who starts it from the delivery.
    Builder builder(root.Path());
    builder.AddSys("lc_nover.dll", component::kNoVersion);
    builder.Write();
    const CheckRun run = RunLumoCheck("", builder.Folder());
    ASSERT_TRUE(run.ended);
    const std::vector<FindingLine> findings = Findings(run);
    ASSERT_EQ(1u, findings.size());
    EXPECT_EQ("LC001", findings[0].code);
    EXPECT_EQ("SysFile\\lc_nover.dll", findings[0].subject);
    EXPECT_EQ(2u, run.exitCode);

    // Under Wine the ended program's current folder stays in use for a
    // moment: the folder goes once it is free.
    for (int i = 0; i < 100 && lumo_test::DirectoryExists(builder.Folder()); ++i) {
        lumo_test::RemoveTree(builder.Folder());
        ::Sleep(20);
    }
}

} // namespace
