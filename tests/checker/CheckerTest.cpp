// One faulty delivery per rule, built here with its components: LumoCheck.exe
// names the mistake with its code, its severity and the file or key, and ends
// with the exit code of the worst finding. A clean delivery has no finding.
// The components are 32-bit images made here, so that both builds, which
// judge as the shipped 32-bit installer, see the same delivery.
#include "checker/CheckRun.h"

#include "CraftedImages.h"
#include "TestSupport.h"
#include "checker/CheckRules.h"
#include "checker/Checks.h"
#include "checker/DescriptionFile.h"
#include "components/Components.h"
#include "framework/Text.h"
#include "version/PeFile.h"
#include "e2e/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <map>

using namespace lumo_check_test;
using lumo_test::ComponentPath;
namespace component = lumo_test::component;
namespace crafted = lumo_crafted;

namespace {

const std::string kRun = std::to_string(::GetCurrentProcessId());

// Real compiled components of each bitness: the test build's own, and the
// one built by the other compiler.
std::string Real32(const char* name = component::kRegisterOk)
{
    return lumo_test::ReadFileBytes(ComponentPath(sizeof(void*) == 8 ? component::kOtherBitness : name));
}
std::string Real64(const char* name = component::kRegisterOk)
{
    return lumo_test::ReadFileBytes(ComponentPath(sizeof(void*) == 8 ? name : component::kOtherBitness));
}

// The shipped program as far as the checker looks: a 32-bit Windows program.
std::string Program()
{
    crafted::ComponentMake make;
    make.dll = false;
    return crafted::Component(make);
}

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
            { "PRODOTTO", { { "Nome", "Prova" }, { "Versione", "1.0.0.0" }, { "Produttore", "Pelvora" } } },
            { "CHIAVI",
              { { "PathKey", "Software\\LumoCheckTests\\" + kRun },
                { "InstallationDir", "C:\\Pelvora\\Prova" + kRun } } },
            { "SYSFILE", { { "lc_core.dll", "SYSPATH|REG" }, { "lc_report.dll", "SYSPATH|" } } },
        };
        AddFile(folder_ + "\\LumoInstall.exe", Program());
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
    void RemoveSection(const std::string& section)
    {
        sections_.erase(std::remove_if(sections_.begin(), sections_.end(),
                                       [&](const auto& s) { return s.first == section; }),
                        sections_.end());
    }
    void RemoveProgram() { ::DeleteFileA((folder_ + "\\LumoInstall.exe").c_str()); }
    // The description file as built so far, as text.
    std::string IniText() const { return lumo_e2e::IniText(sections_); }
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
        AddFile(folder_ + "\\SysFile\\" + relative, crafted::ComponentLike(componentName));
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
    // Other findings may come with the expected ones.
    bool others = false;
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
        ASSERT_TRUE(run.started && run.ended) << "LumoCheck.exe did not run to its end; start error " << run.startError;
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
        if (c.others)
            EXPECT_TRUE(std::includes(found.begin(), found.end(), expected.begin(), expected.end()))
                << ::testing::PrintToString(found);
        else
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
        // A compiled component, with the imports of a real one: all system DLLs.
        { "clean", [](Builder& b) { b.AddSysBytes("lc_real32.dll", Real32()); }, {}, 0 },
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
              b.RemoveProgram();
              Builder::AddFile(b.Folder() + "\\LUMOSIDINSTALL.EXE", Program());
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
          { "non avranno titolo", "termina con il codice 1603 senza installare nulla" } },
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

// The product's version, which Programs and Features shows and the
// distribution systems compare: its absence is named with what else is
// missing and how to add it; a version alone is enough. [PRODOTTO] is read as
// the other sections are: only its first occurrence, 255 characters a value.
TEST(Checker, ProductIdentityRules)
{
    const std::string versionUnknown = "non scrive DisplayVersion nella voce del prodotto nel registro";
    RunCases({
        { "LC032 no [PRODOTTO]", [](Builder& b) { b.RemoveSection("PRODOTTO"); },
          { { "AVVISO", "LC032", "[PRODOTTO] Versione" } }, 1,
          { versionUnknown,
            "Manca anche Nome: in Programmi e funzionalit\xE0 il prodotto si chiama come il titolo [DESCRIZIONI] "
            "Caption, \"Installazione di prova\".",
            "Aggiungere la sezione [PRODOTTO] con Nome, Versione e Produttore" } },
        { "LC032 an empty version and no publisher",
          [](Builder& b) {
              b.Set("PRODOTTO", "Versione", "");
              b.Remove("PRODOTTO", "Produttore");
          },
          { { "AVVISO", "LC032", "[PRODOTTO] Versione" } }, 1,
          { versionUnknown, "Aggiungere a [PRODOTTO] le chiavi Versione e Produttore (ad esempio Versione=5.2.1.0)." } },
        { "a version without name and publisher",
          [](Builder& b) {
              b.Remove("PRODOTTO", "Nome");
              b.Remove("PRODOTTO", "Produttore");
          },
          {}, 0 },
        { "LC025, LC007 and LC032 in [PRODOTTO]",
          [](Builder& b) {
              b.Remove("PRODOTTO", "Versione");
              b.Set("PRODOTTO", "Nome", std::string(256, 'n'));
              b.Set("DESCRIZIONI", "NumeroFiles", "2");
              b.Set("DESCRIZIONI", "NumeroSysFiles", "2");
              b.RawIni(b.IniText() + "[PRODOTTO]\r\nVersione=1.0.0.0\r\n");
          },
          { { "ERRORE", "LC025", "[PRODOTTO]" },
            { "ERRORE", "LC007", "[PRODOTTO] Nome" },
            { "AVVISO", "LC032", "[PRODOTTO] Versione" } },
          2, { "Aggiungere a [PRODOTTO] la chiave Versione (" } },
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
          { { "ERRORE", "LC012", "[SYSFILE] lc_dup.dll" }, { "AVVISO", "LC012", "[SYSFILE] lc_twin.dll" } }, 2,
          { "alla fine resta quello di versione pi\xF9 alta" } },
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
            { "ERRORE", "LC029", "SysFile\\Leggimi.txt" } },
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
              b.AddSysBytes("lc_other.dll", Real64());
              b.Set("SYSFILE", "lc_other.dll", "SYSPATH|REG");
              b.AddSysBytes("lc_own.dll", Real32());
          },
          { { "ERRORE", "LC003", "SysFile\\lc_other.dll" } },
          2,
          // Both builds judge as the installer that ships, a 32-bit program.
          { "\xE8 una DLL a 64 bit: l'installatore, a 32 bit," } },
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
        ASSERT_FALSE(run.lines.empty());
        for (const std::string& line : run.lines)
            EXPECT_EQ(std::string::npos, line.find("Totale"));
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

// The mistakes that fail a run or install the wrong thing, each with the
// severity that says so.
TEST(Checker, MistakesThatFailTheInstallation)
{
    auto component = [](std::vector<std::string> imports) {
        crafted::ComponentMake make;
        make.imports = std::move(imports);
        return crafted::Component(make);
    };
    auto patchedProgram = [](size_t at, WORD value) { return crafted::Patched(Program(), at, value); };
    RunCases({
        // Another component of the delivery counts, wherever it lies; the
        // system's names count in any case.
        { "LC021 imports that nothing brings",
          [&](Builder& b) {
              b.AddSysBytes("lc_needs.dll", component({ "KERNEL32.dll", "lc_assente.dll", "msvcrt.dll" }));
              b.AddSysBytes("lc_uses.dll", component({ "kernel32.dll", "LC_DEP.DLL", "api-ms-win-core-x-l1-1-0.dll" }));
              b.AddSysBytes("Altro\\lc_dep.dll", component({ "user32.dll" }));
              b.AddSysBytes("lc_quiet.dll", component({ "lc_manca.dll", "lc_manca2.dll" }));
              b.Set("SYSFILE", "lc_quiet.dll", "SYSPATH|");
          },
          { { "ERRORE", "LC021", "SysFile\\lc_needs.dll" }, { "ERRORE", "LC021", "SysFile\\lc_quiet.dll" } },
          2,
          { "importa lc_assente.dll, che non \xE8 n\xE9 DLL di sistema", "\"NON PUO' ESSERE CARICATO\"",
            "importa lc_manca.dll, lc_manca2.dll, che non sono", "nessun programma potr\xE0 caricarlo" } },
        { "LC022 no program", [](Builder& b) { b.RemoveProgram(); },
          { { "ERRORE", "LC022", "LumoInstall.exe" } }, 2, { "manca nella cartella della consegna" } },
        { "LC022 the 64-bit test build",
          [&](Builder& b) {
              Builder::AddFile(b.Folder() + "\\LumoInstall.exe", patchedProgram(0x44, IMAGE_FILE_MACHINE_AMD64));
          },
          { { "ERRORE", "LC022", "LumoInstall.exe" } }, 2, { "\xE8 la build di prova a 64 bit" } },
        { "LC022 a text and a DLL named as the program",
          [](Builder& b) {
              Builder::AddFile(b.Folder() + "\\LumoInstall.exe", "MZ e nient'altro");
              Builder::AddFile(b.Folder() + "\\LumoSidInstall.exe", crafted::ComponentLike(component::kRegisterOk));
          },
          { { "ERRORE", "LC022", "LumoInstall.exe" }, { "ERRORE", "LC022", "LumoSidInstall.exe" } }, 2,
          { "(\xE8 danneggiato)", "(\xE8 una DLL)" } },
        { "LC023 InstallationDir that is not a full path",
          [](Builder& b) { b.Set("CHIAVI", "InstallationDir", "Pelvora\\Prova"); },
          { { "ERRORE", "LC023", "[CHIAVI] InstallationDir" } }, 2,
          { "\"Pelvora\\Prova\" non \xE8 un percorso completo di un'unit\xE0 locale", "codice 1603" } },
        { "LC023 InstallationDir from the drive root",
          [](Builder& b) { b.Set("CHIAVI", "InstallationDir", "\\Pelvora"); },
          { { "ERRORE", "LC023", "[CHIAVI] InstallationDir" } }, 2, { "\"\\Pelvora\"", "senza installare nulla" } },
        { "LC023 InstallationDir on a network share",
          [](Builder& b) { b.Set("CHIAVI", "InstallationDir", "\\\\server\\condivisa\\Prova"); },
          { { "ERRORE", "LC023", "[CHIAVI] InstallationDir" } }, 2, { "codice 1603" } },
        { "LC024 PathKey with its root key",
          [](Builder& b) { b.Set("CHIAVI", "PathKey", "HKEY_LOCAL_MACHINE\\Software\\LumoCheckTests\\" + kRun); },
          { { "ERRORE", "LC024", "[CHIAVI] PathKey" } }, 2,
          { "HKEY_LOCAL_MACHINE\\HKEY_LOCAL_MACHINE\\Software\\LumoCheckTests" } },
        { "LC024 PathKey with an abbreviated root",
          [](Builder& b) { b.Set("CHIAVI", "PathKey", "hkcu/Software/LumoCheckTests"); },
          { { "ERRORE", "LC024", "[CHIAVI] PathKey" } }, 2, { "\"hkcu\\\"" } },
        // The first of each wins: the second [SYSFILE] leaves lc_report.dll
        // without its entry, so it is registered and has no entry point.
        { "LC025 and LC026 sections and keys written twice",
          [](Builder& b) {
              b.RawIni("[DESCRIZIONI]\r\nCaption=Installazione di prova\r\nProcedura=Benvenuti.\r\n"
                       "Procedura_1=Premere Installa.\r\nInstallazioneSuccess=Installazione riuscita.\r\n"
                       "InstallazioneError=Installazione non riuscita.\r\nNumeroFiles=2\r\nNumeroSysFiles=2\r\n"
                       "caption=Un altro titolo\r\nNumeroFiles = 2\r\n[CHIAVI]\r\nPathKey=Software\\LumoCheckTests\\" +
                       kRun + "\r\nInstallationDir=C:\\Pelvora\\Prova" + kRun +
                       "\r\n[SYSFILE]\r\nlc_core.dll=SYSPATH|REG\r\n[SysFile]\r\nlc_report.dll=SYSPATH|\r\n"
                       "[Altro]\r\n[ALTRO]\r\n[PRODOTTO]\r\nNome=Prova\r\nVersione=1.0.0.0\r\n");
          },
          { { "ERRORE", "LC026", "[DESCRIZIONI] caption" },
            { "AVVISO", "LC026", "[DESCRIZIONI] NumeroFiles" },
            { "ERRORE", "LC025", "[SysFile]" },
            { "ERRORE", "LC004", "SysFile\\Sub\\lc_report.dll" } },
          2,
          { "alla riga 9 con un altro valore (la prima volta alla riga 2)",
            "alla riga 10 con lo stesso valore (la prima volta alla riga 7)",
            "compare di nuovo alla riga 16 (la prima volta alla riga 14)" } },
        { "LC027 UTF-16 without its mark",
          [](Builder& b) {
              const std::wstring wide = Wide(b.IniText());
              b.RawIni(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)));
          },
          { { "ERRORE", "LC027", "Installatore.ini" } }, 2, {}, true },
    });
}

// What a component's bytes are, told before what its version says, and the
// files made to mislead or stall a reader: each a finding of its own, each
// read within the reader's bound on the bytes it takes.
TEST(Checker, ComponentsThatAreNotWhatTheySeem)
{
    const crafted::Image sound = crafted::BuildImage(crafted::VersionData(), crafted::kRegisteringNames, 0, 1,
                                                     { "kernel32.dll" });
    std::vector<crafted::HostileFile> files = crafted::HostileFiles();
    files.push_back({ "empty", "", 0 });
    files.push_back({ "text", "[Files]\r\n", 0 });
    files.push_back({ "e_lfanew past the end", crafted::Patched(sound.bytes, 0x3C, LONG{ 0x7FFFFFF0 }), 0 });
    files.push_back({ "truncated",
                      crafted::Patched(sound.bytes, sound.section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData),
                                       static_cast<DWORD>(sound.bytes.size())),
                      0 });
    const std::map<std::string, std::string> expectedCode = {
        { "empty", "LC028" }, { "text", "LC029" }, { "e_lfanew past the end", "LC030" }, { "truncated", "LC030" },
        // Sound but for its export table, which hides DllRegisterServer from a binary search.
        { "64 MB with NumberOfNames 0xFFFFFFF0", "LC004" },
    };

    lumo_test::TempDir root("lumo-chk");
    Builder builder(root.Path());
    std::vector<Expected> expected;
    std::map<std::string, std::string> names;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = "lc_file" + std::to_string(i) + ".dll";
        names[name] = files[i].name;
        const std::string path = builder.Folder() + "\\SysFile\\" + name;
        builder.AddSysBytes(name, "");
        crafted::WriteGrown(path, files[i].bytes, files[i].size);
        const auto code = expectedCode.find(files[i].name);
        expected.push_back({ "ERRORE", code == expectedCode.end() ? "LC030" : code->second, "SysFile\\" + name });

        const PeFile image = ReadPeFile(path);
        EXPECT_LE(image.bytesRead, crafted::kMostBytesRead) << files[i].name;
        ::testing::Test::RecordProperty(files[i].name, std::to_string(image.bytesRead) + " bytes read");
        const FileVersion version = ReadFileVersion(path);
        const bool versioned = std::strncmp(files[i].name, "64 MB", 5) == 0;
        EXPECT_EQ(versioned ? 10 : 0, version.major + version.minor + version.build + version.revision)
            << files[i].name;
    }
    builder.Write();

    const auto started = std::chrono::steady_clock::now();
    const std::vector<Finding> inProcess = CheckDelivery(MakeDeliveryPlan(builder.Folder()));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    ::testing::Test::RecordProperty("whole delivery", std::to_string(elapsed.count() * 1000) + " ms");
    // Only a hang: the work itself is held to its bound above.
    EXPECT_LT(elapsed.count(), lumo_test::kHangSeconds);

    const CheckRun run = RunLumoCheck("\"" + builder.Folder() + "\"");
    ASSERT_TRUE(run.ended);
    std::vector<Expected> found;
    for (const FindingLine& line : Findings(run)) {
        found.push_back({ line.severity, line.code, line.subject });
        EXPECT_EQ(std::string::npos, line.message.find("risorsa di versione completa"))
            << names[line.subject.substr(8)] << " told to add a version resource";
    }
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, found);
    EXPECT_EQ(inProcess.size(), found.size());
    EXPECT_EQ(2u, run.exitCode);
}

// Two links back to folders being walked: LumoCheck names each, and its plan
// ends as the run does.
TEST(Checker, FolderLinksBack)
{
    lumo_test::TempDir root("lumo-chk");
    Builder builder(root.Path());
    builder.Write();
    const lumo_test::FolderLink up(builder.Folder() + "\\SysFile\\Sub\\giro", "..");
    const lumo_test::FolderLink here(builder.Folder() + "\\FilesToCopy\\qui", ".");
    const CheckRun run = RunLumoCheck("\"" + builder.Folder() + "\"");
    ASSERT_TRUE(run.ended);
    std::vector<Expected> found;
    for (const FindingLine& line : Findings(run))
        found.push_back({ line.severity, line.code, line.subject });
    std::sort(found.begin(), found.end());
    EXPECT_EQ((std::vector<Expected>{ { "ERRORE", "LC031", "FilesToCopy\\qui" },
                                      { "ERRORE", "LC031", "SysFile\\Sub\\giro" } }),
              found);
    EXPECT_EQ(2u, run.exitCode);

    const CheckRun plan = RunLumoCheck("--piano \"" + builder.Folder() + "\"");
    ASSERT_TRUE(plan.ended);
    EXPECT_EQ(2u, plan.exitCode);
    for (const char* pass : { "FilesToCopy", "SysFile" }) {
        size_t links = 0;
        for (const PlanRow& row : PlanRows(plan, pass))
            links += row.leadsBack ? 1 : 0;
        EXPECT_EQ(1u, links) << pass;
    }
    EXPECT_EQ("1603 (2 operazioni non riuscirebbero).", PlanValue(plan, "Esito previsto"));
}

// Description files made to stall a line-by-line reader: 200,000 lines of
// "[" after a byte-order mark, and 8,000 [SYSFILE] keys. The bounds only
// catch a hang: the checker's own scans read ten times as many lines, which a
// scan quadratic in the lines would take hours over; most of the whole check
// is the platform's profile reader loading the file, which the installer
// pays as well.
TEST(Checker, LargeDescriptionFilesAreReadInLinearTime)
{
    std::string keys = "[SYSFILE]\r\n";
    for (int i = 0; i < 8000; ++i)
        keys += "lc_k" + std::to_string(i) + ".dll=SYSPATH|REG\r\n";
    std::string brackets = "\xEF\xBB\xBF";
    for (int i = 0; i < 200000; ++i)
        brackets += "[\r\n";
    for (const std::string* text : { &brackets, &keys }) {
        const std::string name = text == &keys ? "8000 keys" : "200000 brackets";
        SCOPED_TRACE(name);
        std::string tenfold = *text;
        for (int i = 0; i < 9; ++i)
            tenfold.append(*text, text == &brackets ? 3 : 0, std::string::npos);
        auto started = std::chrono::steady_clock::now();
        const DescriptionFile scan(tenfold);
        const std::string first = FirstSectionName(tenfold);
        const bool utf8 = IsUtf8BeyondAscii(tenfold);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        ::testing::Test::RecordProperty(name + ", scans", std::to_string(elapsed.count() * 1000) + " ms");
        EXPECT_LT(elapsed.count(), lumo_test::kHangSeconds);
        EXPECT_FALSE(utf8);
        EXPECT_EQ(text == &keys ? "SYSFILE" : "", first);
        EXPECT_EQ(text == &keys ? 1 : 0, scan.LineOf("SYSFILE"));

        lumo_test::TempDir root("lumo-chk");
        Builder builder(root.Path());
        builder.RawIni(*text);
        builder.Write();
        started = std::chrono::steady_clock::now();
        const std::vector<Finding> findings = CheckDelivery(MakeDeliveryPlan(builder.Folder()));
        elapsed = std::chrono::steady_clock::now() - started;
        ::testing::Test::RecordProperty(name + ", whole check", std::to_string(elapsed.count() * 1000) + " ms");
        EXPECT_LT(elapsed.count(), lumo_test::kHangSeconds);
        EXPECT_FALSE(findings.empty());
    }
}

} // namespace
