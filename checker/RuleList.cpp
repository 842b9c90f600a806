// Every rule of LumoCheck as the README's table describes it, for the
// documents that list the rules beside the findings (SARIF).
#include "checker/Checks.h"

namespace {

const std::vector<Rule> kRules = {
    { "LC001",
      "a SysFile program file without a usable version (no version resource, no translation table, or 0.0.0.0)",
      "never copied, on any machine (\"NON COPIATO\")" },
    { "LC002",
      "a component whose version is not higher than that of the file at its target on this machine",
      "not copied (nor registered) here" },
    { "LC003",
      "a DLL that is not 32-bit x86 (a 64-bit DLL), in both builds",
      "copied, then cannot be loaded for registration nor used by 32-bit programs" },
    { "LC004",
      "a component to be registered (REG, or no [SYSFILE] entry) without a DllRegisterServer export that the "
      "loader's binary search finds",
      "copied; the log says \"NON E' STATO TROVATO IL PUNTO DI INGRESSO\"" },
    { "LC005",
      "Installatore.ini with a UTF-8 byte-order mark",
      "the first section's name is not recognised: all its keys are lost" },
    { "LC006",
      "Installatore.ini saved as UTF-8 (well-formed UTF-8 with characters beyond ASCII)",
      "every accented letter shows as two strange characters" },
    { "LC007",
      "a value of DESCRIZIONI, PRODOTTO, CHIAVI or SYSFILE over 255 characters",
      "cut after 255 characters" },
    { "LC008",
      "a SYSFILE value without |",
      "taken as a destination without a flag: not registered" },
    { "LC009",
      "a SYSFILE flag other than REG or nothing",
      "not registered" },
    { "LC010",
      "\\n in a folder path (SYSFILE folder, InstallationDir) or in PathKey",
      "used as written by this installer; earlier installers turned it into a line break" },
    { "LC011",
      "a SYSFILE entry naming no file in SysFile",
      "the entry has no effect (a misspelt name leaves the real file without an entry: system folder, always "
      "registered)" },
    { "LC012",
      "files of one name in different SysFile folders sharing one SYSFILE entry",
      "one target: each is copied only when newer than what it meets there, so the highest version stays (the first "
      "of equals); a later copy onto a component the run has registered sets it aside until the restart (3010), and "
      "its registration runs the earlier module's code again; otherwise the same registration for all" },
    { "LC013",
      "a missing or empty key of DESCRIZIONI or CHIAVI (Procedura and Procedura_1 are not needed beside "
      "LumoSidInstall.exe)",
      "an empty caption, welcome or completion text; no PathKey: an earlier installation is not found; no "
      "InstallationDir: without a registry folder the log goes to \\Installatore.log at the drive root" },
    { "LC014",
      "NumeroFiles or NumeroSysFiles missing or not a positive number",
      "the bar stays at its lowest position until each folder ends" },
    { "LC015",
      "NumeroFiles or NumeroSysFiles more than twice or less than half the real number of files (at any depth)",
      "the bar crawls and jumps to the end, or is full early" },
    { "LC016",
      "a target path longer than 259 characters once the shared-folder part is added (reckoned with this machine's "
      "folders)",
      "the copy fails (\"NON RIUSCITA\")" },
    { "LC017",
      "a SYSFILE folder that is not a full path (|REG, Condivisi|)",
      "the file goes below the installer's current folder or to the drive root" },
    { "LC018",
      "no Installatore.ini (or it cannot be opened)",
      "the installer only shows \"Informazioni di installazione non presenti.\"" },
    { "LC019",
      "a folder of FilesToCopy or SysFile that cannot be listed (its path with \\*.* reaches 260 characters where "
      "the delivery lies, or no permission)",
      "none of its files is copied; the log says \"LA CARTELLA: ... NON PUO' ESSERE LETTA\"" },
    { "LC020",
      "a file of FilesToCopy or SysFile whose name (or folder) holds a character that Windows-1252 cannot hold "
      "(Greek, Cyrillic, CJK, ...)",
      "installed under its own name; the log shows that character as ?" },
    { "LC021",
      "a 32-bit SysFile component importing a DLL that is neither a system DLL (below) nor the name of a file of "
      "the delivery",
      "cannot be loaded: \"NON PUO' ESSERE CARICATO\", exit code 1603, and no program can use it" },
    { "LC022",
      "no LumoInstall.exe (nor LumoSidInstall.exe) in the delivery, the x86_64 test build in its place, or a file "
      "of that name that is not a 32-bit Windows program",
      "nothing to start, or a program that cannot load the 32-bit components" },
    { "LC023",
      "[CHIAVI] InstallationDir that is not a full path on a local drive (Pelvora\\Tesmoro, \\Pelvora, "
      "\\\\server\\share)",
      "without a registry folder, the installer ends with 1603 and installs nothing" },
    { "LC024",
      "[CHIAVI] PathKey that begins with a root key (HKEY_LOCAL_MACHINE\\, HKLM\\, HKEY_CURRENT_USER\\, ...)",
      "the key is looked up below HKEY_LOCAL_MACHINE as written and never found: an earlier installation's folder "
      "is never used" },
    { "LC025",
      "a section of DESCRIZIONI, PRODOTTO, CHIAVI or SYSFILE written a second time (the line named)",
      "only the first is read: every key below the second is ignored" },
    { "LC026",
      "a key written twice in the section that is read (the line named)",
      "the first value is used, the second ignored" },
    { "LC027",
      "Installatore.ini in UTF-16 without its byte-order mark",
      "read as code-page text with a zero after every character: no section and no key is found" },
    { "LC028",
      "an empty SysFile file (0 bytes)",
      "no version: never copied" },
    { "LC029",
      "a SysFile file that is not a program file (no MZ and PE headers: a text, an archive)",
      "no version: never copied" },
    { "LC030",
      "a damaged SysFile program file: headers past its end, shorter than its headers say, a version resource whose "
      "offsets or lengths leave the resource or the file, or a file that cannot be opened",
      "no readable version: never copied; a truncated one cannot be loaded and, once copied, counts as missing" },
    { "LC031",
      "a folder of FilesToCopy or SysFile that is a link back to a folder that holds it",
      "not followed; the log says \"LA CARTELLA: ... NON PUO' ESSERE LETTA\" and the run ends with 1603" },
    { "LC032",
      "no [PRODOTTO] Versione (missing or empty); the message names a missing Nome too, with the Caption that takes "
      "its place, and says which keys to add",
      "the entry of Programs and Features has no DisplayVersion: no version is shown, and a distribution system has "
      "none to compare" },
};

} // namespace

const std::vector<Rule>& Rules()
{
    return kRules;
}

const std::vector<std::string>& RuleCodes()
{
    static const std::vector<std::string> codes = [] {
        std::vector<std::string> all;
        for (const Rule& rule : kRules)
            all.push_back(rule.code);
        return all;
    }();
    return codes;
}
