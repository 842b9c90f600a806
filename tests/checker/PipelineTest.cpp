// LumoCheck in a pipeline: the switches that change what fails and what is
// said, and the JSON and SARIF documents, parsed here and held against the
// text output of the same delivery.
#include "checker/CheckRun.h"

#include "CraftedImages.h"
#include "TestSupport.h"
#include "checker/Checks.h"
#include "checker/Report.h"
#include "components/Components.h"
#include "e2e/Driver.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <cstring>
#include <stdexcept>
#include <algorithm>
#include <cctype>
#include <iterator>
#include <regex>

using namespace lumo_check_test;

namespace {

// Just enough JSON: objects keep their keys in document order.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const
    {
        for (const auto& member : members)
            if (member.first == key)
                return member.second;
        throw std::runtime_error("no member " + key);
    }
    bool Has(const std::string& key) const
    {
        for (const auto& member : members)
            if (member.first == key)
                return true;
        return false;
    }
    std::vector<std::string> Keys() const
    {
        std::vector<std::string> keys;
        for (const auto& member : members)
            keys.push_back(member.first);
        return keys;
    }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : text_(text) {}

    Json Document()
    {
        Json value = Value();
        Blanks();
        if (at_ != text_.size())
            Fail("text after the document");
        return value;
    }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(at_));
    }
    void Blanks()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool Take(char c)
    {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(char c)
    {
        if (!Take(c))
            Fail("unexpected character");
    }
    std::string String()
    {
        Expect('"');
        std::string value;
        while (at_ < text_.size() && text_[at_] != '"') {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c < 0x20)
                Fail("control character in a string");
            if (c != '\\') {
                value += static_cast<char>(c);
                continue;
            }
            const char escaped = text_.at(at_++);
            const std::string simple = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (escaped == 'u') {
                const unsigned code = std::stoul(text_.substr(at_, 4), nullptr, 16);
                at_ += 4;
                value += Utf8(std::wstring(1, static_cast<wchar_t>(code)));
            } else if (simple.find(escaped) != std::string::npos) {
                value += meant[simple.find(escaped)];
            } else {
                Fail("unknown escape");
            }
        }
        Expect('"');
        return value;
    }
    Json Value()
    {
        Json value;
        Blanks();
        if (at_ >= text_.size())
            Fail("end of text");
        const char c = text_[at_];
        if (c == '{') {
            value.type = Json::Type::Object;
            ++at_;
            if (Take('}'))
                return value;
            do {
                Blanks();
                std::string key = String();
                Expect(':');
                value.members.emplace_back(std::move(key), Value());
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            value.type = Json::Type::Array;
            ++at_;
            if (Take(']'))
                return value;
            do
                value.items.push_back(Value());
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            value.type = Json::Type::String;
            value.text = String();
        } else if (text_.compare(at_, 4, "true") == 0 || text_.compare(at_, 5, "false") == 0) {
            value.type = Json::Type::Bool;
            value.boolean = text_[at_] == 't';
            at_ += value.boolean ? 4 : 5;
        } else if (text_.compare(at_, 4, "null") == 0) {
            at_ += 4;
        } else {
            size_t used = 0;
            value.type = Json::Type::Number;
            value.number = std::stod(text_.substr(at_, 32), &used);
            at_ += used;
        }
        return value;
    }

    const std::string& text_;
    size_t at_ = 0;
};

Json Parse(const CheckRun& run)
{
    return JsonParser(run.output).Document();
}

// A delivery with only warnings: a missing caption, a key written twice with
// the same value, a name the log cannot hold, and a component older than the
// one this machine has at its target (which the run counts as shared all the
// same). It names no publisher.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string u = std::to_string(::GetCurrentProcessId());
        const std::string own = root.Path() + "\\Presenti";
        ::CreateDirectoryA(own.c_str(), nullptr);
        lumo_crafted::ComponentMake newer;
        newer.version[0] = 3;
        lumo_test::WriteFileBytes(own + "\\lc_old.dll", lumo_crafted::Component(newer));
        lumo_crafted::ComponentMake program;
        program.dll = false;
        Put("LumoInstall.exe", lumo_crafted::Component(program));
        Put("SysFile\\lc_old.dll", lumo_crafted::Component(lumo_crafted::ComponentMake()));
        Put("FilesToCopy\\\xCE\xA9mega.txt", "omega");
        Put("Installatore.ini",
            "[DESCRIZIONI]\r\nProcedura=Benvenuti.\r\nProcedura_1=Premere Installa.\r\n"
            "InstallazioneSuccess=Riuscita.\r\nInstallazioneError=Non riuscita.\r\nNumeroFiles=1\r\n"
            "NumeroSysFiles=1\r\nNumeroFiles=1\r\n[CHIAVI]\r\nPathKey=Software\\LumoCheckTests\\" +
                u + "\r\nInstallationDir=C:\\Pelvora\\Prova" + u +
                "\r\n[PRODOTTO]\r\nNome=Prova\r\nVersione=1.0.0.0\r\n[SYSFILE]\r\nlc_old.dll=" + own + "|REG\r\n");
    }

    void Put(const std::string& relative, const std::string& bytes)
    {
        const std::string path = folder + "\\" + relative;
        for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
            ::CreateDirectoryW(Wide(path.substr(0, at)).c_str(), nullptr);
        lumo_test::WriteFileBytes(path, bytes);
    }

    CheckRun Check(const std::string& switches) const
    {
        CheckRun run = RunLumoCheck(switches + (switches.empty() ? "" : " ") + "\"" + folder + "\"");
        EXPECT_TRUE(run.started && run.ended) << switches << "; start error " << run.startError;
        return run;
    }

    static std::vector<std::string> Codes(const CheckRun& run)
    {
        std::vector<std::string> codes;
        for (const FindingLine& line : Findings(run))
            codes.push_back(line.code);
        return codes;
    }

    lumo_test::TempDir root{ "lumo-pipe" };
    std::string folder = root.Path() + "\\deliv";
};

TEST_F(PipelineTest, SwitchesDecideWhatIsSaidAndWhatFails)
{
    using Codes_ = std::vector<std::string>;
    const struct {
        const char* switches;
        Codes_ codes;
        DWORD exitCode;
    } cases[] = {
        { "", { "LC026", "LC013", "LC020", "LC002" }, 1 },
        { "--avvisi-come-errori", { "LC026", "LC013", "LC020", "LC002" }, 2 },
        { "--ignora LC013,lc026", { "LC020", "LC002" }, 1 },
        { "--solo-consegna", { "LC026", "LC013", "LC020" }, 1 },
        { "--solo-consegna --ignora=LC013,LC020,LC026 --avvisi-come-errori", {}, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.switches);
        const CheckRun run = Check(c.switches);
        EXPECT_EQ(c.codes, Codes(run));
        EXPECT_EQ(c.exitCode, run.exitCode);
        for (const FindingLine& line : Findings(run))
            EXPECT_EQ("AVVISO", line.severity);
    }

    const CheckRun help = RunLumoCheck("--help");
    EXPECT_EQ(0u, help.exitCode);
    for (const char* code : { "  0  ", "  1  ", "  2  ", "  3  ", "  4  errore interno" }) {
        bool found = false;
        for (const std::string& line : help.lines)
            found = found || line.compare(0, std::strlen(code), code) == 0;
        EXPECT_TRUE(found) << code;
    }
    const CheckRun version = RunLumoCheck("--version");
    EXPECT_EQ(0u, version.exitCode);
    ASSERT_EQ(1u, version.lines.size());
    EXPECT_EQ(0u, version.lines[0].rfind("LumoCheck 1.", 0));
    for (const char* wrong : { "--ignora LC099", "--piano --solo-consegna", "--ignora" }) {
        const CheckRun run = RunLumoCheck(std::string(wrong) + " \"" + folder + "\"");
        EXPECT_EQ(3u, run.exitCode) << wrong;
    }
}

TEST_F(PipelineTest, JsonHoldsWhatTheTextSays)
{
    const CheckRun text = Check("");
    const CheckRun json = Check("--json");
    EXPECT_EQ(1u, json.exitCode);
    Json document;
    ASSERT_NO_THROW(document = Parse(json)) << json.output;
    EXPECT_EQ((std::vector<std::string>{ "program", "version", "build", "testBuild", "folder", "mode", "findings",
                                         "errors", "warnings", "exitCode" }),
              document.Keys());
    EXPECT_EQ(sizeof(void*) == 8, document["testBuild"].boolean);
    EXPECT_EQ(sizeof(void*) == 8 ? "x86_64" : "i686", document["build"].text);
    EXPECT_EQ(folder, document["folder"].text);
    EXPECT_EQ("check", document["mode"].text);
    EXPECT_EQ(0, document["errors"].number);
    EXPECT_EQ(4, document["warnings"].number);
    EXPECT_EQ(1, document["exitCode"].number);

    // In report order, each as the text says it; the text has "?" for what
    // Windows-1252 lacks, the document the UTF-8 itself.
    const std::vector<FindingLine> lines = Findings(text);
    const std::vector<Json>& findings = document["findings"].items;
    ASSERT_EQ(lines.size(), findings.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const Json& finding = findings[i];
        SCOPED_TRACE(lines[i].code);
        std::vector<std::string> keys = { "code", "severity", "subject", "message", "file" };
        if (finding.Has("line"))
            keys.push_back("line");
        EXPECT_EQ(keys, finding.Keys());
        EXPECT_EQ(lines[i].code, finding["code"].text);
        EXPECT_EQ(lines[i].severity, finding["severity"].text);
        EXPECT_EQ(lines[i].subject, ToWindows1252(finding["subject"].text));
        EXPECT_EQ(lines[i].message, ToWindows1252(finding["message"].text));
    }
    ASSERT_EQ(4u, findings.size());
    EXPECT_EQ("Installatore.ini", findings[0]["file"].text);
    EXPECT_EQ(8, findings[0]["line"].number);
    EXPECT_FALSE(findings[1].Has("line")) << "a key that is missing has no line";
    EXPECT_EQ("FilesToCopy\\\xCE\xA9mega.txt", findings[2]["subject"].text);
    EXPECT_EQ("SysFile\\lc_old.dll", findings[3]["file"].text);
    EXPECT_FALSE(findings[3].Has("line"));

    // The plan: every step in run order, as the text plan has them.
    const CheckRun planText = Check("--piano");
    const CheckRun planJson = Check("--piano --json");
    EXPECT_EQ(0u, planJson.exitCode);
    ASSERT_NO_THROW(document = Parse(planJson)) << planJson.output;
    EXPECT_EQ("plan", document["mode"].text);
    const Json& plan = document["plan"];
    EXPECT_EQ((std::vector<std::string>{ "descriptionFound", "installFolder", "installFolderSource", "logFile",
                                         "programFiles", "systemFolder", "steps", "registry", "failures",
                                         "restart", "expectedExitCode" }),
              plan.Keys());
    EXPECT_EQ(PlanValue(planText, "File di log"), plan["logFile"].text);
    std::vector<std::string> textSteps;
    for (const char* pass : { "FilesToCopy", "SysFile" })
        for (const PlanRow& row : PlanRows(planText, pass))
            textSteps.push_back(row.source + " -> " + row.target);
    std::vector<std::string> jsonSteps;
    size_t dao = 0;
    for (const Json& step : plan["steps"].items) {
        if (step["step"].text == "daoRegistration") {
            ++dao;
            EXPECT_EQ("absent", step["registration"]["problem"].text);
            continue;
        }
        jsonSteps.push_back(ToWindows1252(step["source"].text + " -> " + step["target"].text));
    }
    EXPECT_EQ(textSteps, jsonSteps);
    EXPECT_EQ(1u, dao);
    EXPECT_EQ(0, plan["expectedExitCode"].number);

    // The registry values in the text's order and with its values: the
    // component found newer on the machine is counted for its earlier owner
    // too, and the publisher the file does not name is removed.
    std::vector<std::string> textValues;
    for (const PlanRegistryValue& value : PlanRegistry(planText))
        textValues.push_back(value.key + "\\" + value.name + (value.removed ? " -" : " = " + value.value));
    std::vector<std::string> jsonValues;
    for (const Json& value : plan["registry"].items) {
        const Json::Type type = value.Has("value") ? value["value"].type : Json::Type::Null;
        const std::string text = type == Json::Type::Null     ? " -"
                                 : type == Json::Type::Number ? " = " + std::to_string(static_cast<long long>(
                                                                           value["value"].number))
                                                              : " = " + value["value"].text;
        jsonValues.push_back(ToWindows1252(value["key"].text + "\\" + value["name"].text + text));
        EXPECT_EQ(type == Json::Type::Number ? "REG_DWORD" : "REG_SZ", value["type"].text) << value["name"].text;
    }
    EXPECT_EQ(textValues, jsonValues);
    const std::vector<Json>& registry = plan["registry"].items;
    ASSERT_EQ(13u, registry.size());
    using Keys = std::vector<std::string>;
    EXPECT_EQ((Keys{ "key", "name", "type", "action", "value", "sharedCount" }), registry[0].Keys());
    EXPECT_EQ(UpperText(root.Path() + "\\Presenti") + "\\lc_old.dll", registry[0]["name"].text);
    EXPECT_EQ(2, registry[0]["value"].number);
    const Json& count = registry[0]["sharedCount"];
    EXPECT_EQ((Keys{ "file", "fileThere", "countNow", "countedBefore" }), count.Keys());
    EXPECT_TRUE(count["fileThere"].boolean);
    EXPECT_EQ(Json::Type::Null, count["countNow"].type);
    EXPECT_TRUE(registry[3]["dayOfRun"].boolean) << registry[3]["name"].text;
    EXPECT_EQ((Keys{ "key", "name", "type", "action" }), registry[11].Keys());
    EXPECT_EQ("delete", registry[11]["action"].text);

    // Even a command line it does not understand gets its document.
    const CheckRun wrong = Check("--json --ignora LC000");
    EXPECT_EQ(3u, wrong.exitCode);
    ASSERT_NO_THROW(document = Parse(wrong)) << wrong.output;
    EXPECT_EQ(3, document["exitCode"].number);
    EXPECT_NE(std::string::npos, document["error"].text.find("LC000"));
}

// What SARIF 2.1.0 asks of each object a LumoCheck document holds: the
// members the standard marks as required, and the members (of those the
// standard defines) that LumoCheck writes, each with the kind of its value:
// "" a plain value, "[]kind" an array of them, "{}kind" an object of them by
// name. A property bag holds anything.
struct SarifObject {
    const char* kind;
    std::vector<std::string> required;
    std::vector<std::pair<std::string, std::string>> members;
};
const SarifObject kSarifObjects[] = {
    { "sarifLog", { "version", "runs" }, { { "$schema", "" }, { "version", "" }, { "runs", "[]run" } } },
    { "run",
      { "tool" },
      { { "tool", "tool" },
        { "invocations", "[]invocation" },
        { "originalUriBaseIds", "{}artifactLocation" },
        { "results", "[]result" } } },
    { "tool", { "driver" }, { { "driver", "toolComponent" } } },
    { "toolComponent",
      { "name" },
      { { "name", "" }, { "version", "" }, { "properties", "propertyBag" }, { "rules", "[]reportingDescriptor" } } },
    { "reportingDescriptor",
      { "id" },
      { { "id", "" }, { "shortDescription", "multiformatMessageString" },
        { "fullDescription", "multiformatMessageString" } } },
    { "multiformatMessageString", { "text" }, { { "text", "" } } },
    { "invocation",
      { "executionSuccessful" },
      { { "executionSuccessful", "" }, { "exitCode", "" }, { "toolExecutionNotifications", "[]notification" } } },
    { "notification", { "message" }, { { "level", "" }, { "message", "message" } } },
    // The standard asks for text or id; LumoCheck gives text.
    { "message", { "text" }, { { "text", "" } } },
    { "result",
      { "message" },
      { { "ruleId", "" }, { "level", "" }, { "message", "message" }, { "locations", "[]location" } } },
    { "location", {}, { { "physicalLocation", "physicalLocation" } } },
    // The standard asks for artifactLocation or address.
    { "physicalLocation",
      { "artifactLocation" },
      { { "artifactLocation", "artifactLocation" }, { "region", "region" } } },
    { "artifactLocation", {}, { { "uri", "" }, { "uriBaseId", "" } } },
    { "region", {}, { { "startLine", "" } } },
};

// A URI of RFC 3986 characters only, every "%" starting an escape.
bool IsUriText(const std::string& uri)
{
    auto hex = [&](size_t i) { return i < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i])); };
    for (size_t i = 0; i < uri.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(uri[i]);
        const bool plain = c < 0x80 && (std::isalnum(c) || std::strchr("-._~:/?#[]@!$&'()*+,;=", c) != nullptr);
        if (c == '%' ? !hex(i + 1) || !hex(i + 2) : !plain)
            return false;
    }
    return !uri.empty();
}

// Checks an object of the document as its kind, and every object below it;
// where is its path in the document.
void CheckSarif(const Json& value, const std::string& kind, const std::string& where)
{
    SCOPED_TRACE(where);
    if (kind.compare(0, 2, "[]") == 0 || kind.compare(0, 2, "{}") == 0) {
        const bool array = kind[0] == '[';
        ASSERT_EQ(array ? Json::Type::Array : Json::Type::Object, value.type);
        for (size_t i = 0; i < (array ? value.items.size() : value.members.size()); ++i)
            CheckSarif(array ? value.items[i] : value.members[i].second, kind.substr(2),
                       where + (array ? "[" + std::to_string(i) + "]" : "." + value.members[i].first));
        return;
    }
    ASSERT_EQ(Json::Type::Object, value.type);
    if (kind == "propertyBag")
        return;
    const SarifObject* object = nullptr;
    for (const SarifObject& known : kSarifObjects)
        object = kind == known.kind ? &known : object;
    ASSERT_NE(nullptr, object) << kind;
    for (const std::string& required : object->required)
        EXPECT_TRUE(value.Has(required)) << kind << " without " << required;
    for (const auto& member : value.members) {
        auto known = std::find_if(object->members.begin(), object->members.end(),
                                  [&](const auto& m) { return m.first == member.first; });
        if (known == object->members.end()) {
            ADD_FAILURE() << kind << " has no member " << member.first;
        } else if (!known->second.empty()) {
            CheckSarif(member.second, known->second, where + "." + member.first);
        }
    }
    // What the standard asks of the values.
    if (kind == "sarifLog") {
        EXPECT_EQ("2.1.0", value["version"].text);
    } else if (kind == "run") {
        // Each relative location names a base that the run gives as the
        // absolute URI of a folder, ending in "/".
        const Json none;
        const Json& bases = value.Has("originalUriBaseIds") ? value["originalUriBaseIds"] : none;
        for (const auto& base : bases.members)
            EXPECT_TRUE(std::regex_match(base.second["uri"].text, std::regex("file://.*/"))) << base.first;
        for (const Json& result : value.Has("results") ? value["results"].items : std::vector<Json>()) {
            for (const Json& location : result["locations"].items)
                EXPECT_TRUE(bases.Has(location["physicalLocation"]["artifactLocation"]["uriBaseId"].text));
        }
    } else if (kind == "invocation") {
        EXPECT_EQ(Json::Type::Bool, value["executionSuccessful"].type);
    } else if (kind == "result" || kind == "notification") {
        EXPECT_TRUE(std::regex_match(value["level"].text, std::regex("none|note|warning|error")));
    } else if (kind == "artifactLocation") {
        EXPECT_TRUE(value.Has("uri") && IsUriText(value["uri"].text));
        EXPECT_TRUE(!value.Has("uriBaseId") || value["uri"].text[0] != '/') << "a location relative to its base";
    } else if (kind == "region") {
        EXPECT_TRUE(value["startLine"].type == Json::Type::Number && value["startLine"].number >= 1);
    }
    for (const char* text : { "text", "id", "name", "ruleId", "version", "uri", "uriBaseId" })
        EXPECT_TRUE(!value.Has(text) || value[text].type == Json::Type::String) << text;
}

// The rule table of the README, each rule's code with its mistake and what
// happens on the workstation, without the table's markup.
std::map<std::string, std::pair<std::string, std::string>> ReadmeRules()
{
    std::map<std::string, std::pair<std::string, std::string>> rules;
    std::string text = lumo_test::ReadFileBytes(LUMO_README_PATH);
    for (size_t at = text.find("\n| LC"); at != std::string::npos; at = text.find("\n| LC", at + 1)) {
        std::vector<std::string> cells(1);
        for (size_t i = at + 3; i < text.size() && text[i] != '\n'; ++i) {
            if (text[i] == '\\' && text[i + 1] == '|')
                cells.back() += text[++i];
            else if (text[i] == '|')
                cells.emplace_back();
            else if (text[i] != '`')
                cells.back() += text[i];
        }
        rules[TrimText(cells[0])] = { TrimText(cells[2]), TrimText(cells[3]) };
    }
    return rules;
}

// The document of a delivery with findings, and of the same delivery
// mended: each finding where it is, the document SARIF 2.1.0 asks for.
TEST_F(PipelineTest, SarifNamesEachFindingWhereItIs)
{
    const std::string ini = lumo_test::ReadFileBytes(folder + "\\Installatore.ini");
    Put("Installatore.ini", ini + "[DESCRIZIONI]\r\n");
    Put("SysFile\\vuoto 1.dll", "");
    const CheckRun text = Check("");
    const CheckRun sarif = Check("--sarif");
    EXPECT_EQ(2u, sarif.exitCode);
    EXPECT_EQ(text.exitCode, sarif.exitCode);
    Json document;
    ASSERT_NO_THROW(document = Parse(sarif)) << sarif.output;
    CheckSarif(document, "sarifLog", "log");
    ASSERT_EQ(1u, document["runs"].items.size());
    const Json& run = document["runs"].items[0];

    const Json& driver = run["tool"]["driver"];
    EXPECT_EQ("LumoCheck", driver["name"].text);
    EXPECT_EQ(kCheckerVersion, driver["version"].text);
    EXPECT_EQ(sizeof(void*) == 8, driver["properties"]["testBuild"].boolean);
    const auto readme = ReadmeRules();
    std::vector<std::string> ids;
    for (const Json& rule : driver["rules"].items) {
        ids.push_back(rule["id"].text);
        const auto row = readme.find(rule["id"].text);
        ASSERT_NE(readme.end(), row) << rule["id"].text;
        EXPECT_EQ(row->second.first, rule["shortDescription"]["text"].text);
        EXPECT_EQ(row->second.first + ". On the workstation: " + row->second.second + ".",
                  rule["fullDescription"]["text"].text);
    }
    EXPECT_EQ(RuleCodes(), ids);
    EXPECT_EQ(RuleCodes().size(), readme.size());

    std::string base = "file:///" + folder + "/";
    std::replace(base.begin(), base.end(), '\\', '/');
    EXPECT_EQ(base, run["originalUriBaseIds"]["DELIVERY"]["uri"].text);
    const Json& invocation = run["invocations"].items.at(0);
    EXPECT_TRUE(invocation["executionSuccessful"].boolean);
    EXPECT_EQ(2, invocation["exitCode"].number);

    // In report order, each with the text's message; a name beyond ASCII or
    // with a blank percent-encoded, a line only where the finding has one.
    const struct {
        const char* ruleId;
        const char* level;
        const char* uri;
        int line;
    } expected[] = {
        { "LC026", "warning", "Installatore.ini", 8 },
        { "LC025", "error", "Installatore.ini", 17 },
        { "LC013", "warning", "Installatore.ini", 0 },
        { "LC020", "warning", "FilesToCopy/%CE%A9mega.txt", 0 },
        { "LC002", "warning", "SysFile/lc_old.dll", 0 },
        { "LC028", "error", "SysFile/vuoto%201.dll", 0 },
    };
    const std::vector<FindingLine> lines = Findings(text);
    const std::vector<Json>& results = run["results"].items;
    ASSERT_EQ(lines.size(), results.size());
    ASSERT_EQ(std::size(expected), results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        const Json& result = results[i];
        SCOPED_TRACE(lines[i].code);
        EXPECT_EQ(lines[i].code, result["ruleId"].text);
        EXPECT_EQ(lines[i].subject + ": " + lines[i].message, ToWindows1252(result["message"]["text"].text));
        const auto row = std::find_if(std::begin(expected), std::end(expected),
                                      [&](const auto& e) { return result["ruleId"].text == e.ruleId; });
        ASSERT_NE(std::end(expected), row);
        EXPECT_EQ(row->level, result["level"].text);
        ASSERT_EQ(1u, result["locations"].items.size());
        const Json& physical = result["locations"].items[0]["physicalLocation"];
        EXPECT_EQ(row->uri, physical["artifactLocation"]["uri"].text);
        EXPECT_EQ("DELIVERY", physical["artifactLocation"]["uriBaseId"].text);
        EXPECT_EQ(row->line != 0, physical.Has("region"));
        if (row->line != 0) {
            EXPECT_EQ(row->line, physical["region"]["startLine"].number);
        }
    }

    // Mended: a caption, NumeroFiles once, an ASCII name, no empty file, and
    // no newer component at the target.
    std::string mended = ini;
    const std::string twice = "NumeroSysFiles=1\r\nNumeroFiles=1\r\n";
    mended.replace(mended.find(twice), twice.size(), "NumeroSysFiles=1\r\nCaption=Prova\r\n");
    Put("Installatore.ini", mended);
    ASSERT_TRUE(::DeleteFileW(Wide(folder + "\\FilesToCopy\\\xCE\xA9mega.txt").c_str()));
    Put("FilesToCopy\\Omega.txt", "omega");
    ASSERT_TRUE(::DeleteFileA((folder + "\\SysFile\\vuoto 1.dll").c_str()));
    ASSERT_TRUE(::DeleteFileA((root.Path() + "\\Presenti\\lc_old.dll").c_str()));
    const CheckRun clean = Check("--sarif");
    EXPECT_EQ(0u, clean.exitCode);
    ASSERT_NO_THROW(document = Parse(clean)) << clean.output;
    CheckSarif(document, "sarifLog", "log");
    EXPECT_EQ(Json::Type::Array, document["runs"].items.at(0)["results"].type);
    EXPECT_TRUE(document["runs"].items.at(0)["results"].items.empty()) << clean.output;

    // A run that looks at no delivery has no results: its invocation did not
    // succeed, and says why. --json and --sarif together get the text.
    for (const char* wrong : { "--sarif --piano", "--sarif --ignora LC000", "--sarif \"Z:\\nessuna\\cartella\"" }) {
        SCOPED_TRACE(wrong);
        const CheckRun run = RunLumoCheck(wrong);
        EXPECT_EQ(3u, run.exitCode);
        ASSERT_NO_THROW(document = Parse(run)) << run.output;
        CheckSarif(document, "sarifLog", "log");
        const Json& failed = document["runs"].items.at(0);
        EXPECT_FALSE(failed.Has("results"));
        EXPECT_FALSE(failed["invocations"].items.at(0)["executionSuccessful"].boolean);
        EXPECT_EQ(3, failed["invocations"].items.at(0)["exitCode"].number);
    }
    const CheckRun both = Check("--json --sarif");
    EXPECT_EQ(3u, both.exitCode);
    ASSERT_FALSE(both.lines.empty());
    EXPECT_EQ("--json e --sarif si escludono a vicenda: indicarne uno solo.", both.lines[0]);
}

} // namespace
