#include "checker/CheckRun.h"

#include "e2e/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace lumo_check_test {

namespace {

struct OwnedHandle {
    HANDLE handle = nullptr;
    ~OwnedHandle()
    {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};

void DrainPipe(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        if (!::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) || read == 0)
            return;
        output.append(buffer, read);
    }
}

} // namespace

CheckRun RunLumoCheck(const std::string& arguments, const std::string& currentDir)
{
    CheckRun run;
    SECURITY_ATTRIBUTES inherit{ sizeof(inherit), nullptr, TRUE };
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (!::CreatePipe(&readEnd.handle, &writeEnd.handle, &inherit, 0))
        return run;
    ::SetHandleInformation(readEnd.handle, HANDLE_FLAG_INHERIT, 0);

    std::string exe = LUMO_CHECK_EXE_PATH;
    for (char& c : exe)
        c = c == '/' ? '\\' : c;
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.handle;
    startup.hStdError = writeEnd.handle;
    PROCESS_INFORMATION process{};
    run.started = lumo_test::StartProgram([&] {
        return ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &process);
    });
    if (!run.started) {
        run.startError = ::GetLastError();
        return run;
    }
    OwnedHandle processHandle{ process.hProcess };
    OwnedHandle threadHandle{ process.hThread };
    // Only the child holds the writing end now, so the pipe ends with it.
    ::CloseHandle(writeEnd.handle);
    writeEnd.handle = nullptr;

    std::string output;
    const DWORD start = ::GetTickCount();
    for (;;) {
        DrainPipe(readEnd.handle, output);
        if (::WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            DrainPipe(readEnd.handle, output);
            run.ended = true;
            break;
        }
        // The same bound as every run the end-to-end tests start: it only catches a hang.
        if (::GetTickCount() - start > lumo_e2e::kRunTimeoutMs) {
            ::TerminateProcess(process.hProcess, 99);
            break;
        }
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    run.output = output;
    run.lines = lumo_test::SplitLines(output);
    if (!run.lines.empty() && run.lines.back().empty())
        run.lines.pop_back();
    const std::string testBuild = "LumoCheck, build di prova a 64 bit: giudica come l'installatore a 32 bit che si "
                                  "consegna.";
    run.testBuildLine = !run.lines.empty() && run.lines.front() == testBuild;
    if (run.testBuildLine)
        run.lines.erase(run.lines.begin());
    // Only the build that is not shipped says so, and always first.
    EXPECT_EQ(sizeof(void*) == 8 && output.compare(0, 1, "{") != 0, run.testBuildLine) << output.substr(0, 200);
    return run;
}

std::vector<FindingLine> Findings(const CheckRun& run)
{
    std::vector<FindingLine> findings;
    for (size_t i = 0; i + 1 < run.lines.size(); ++i) {
        const std::string& line = run.lines[i];
        const size_t code = line.find(' ');
        const size_t subject = code == std::string::npos ? code : line.find(' ', code + 1);
        const size_t colon = subject == std::string::npos ? subject : line.find(": ", subject + 1);
        if (colon == std::string::npos) {
            ADD_FAILURE() << "not a finding line: " << line;
            continue;
        }
        findings.push_back({ line.substr(0, code), line.substr(code + 1, subject - code - 1),
                             line.substr(subject + 1, colon - subject - 1), line.substr(colon + 2) });
    }
    return findings;
}

std::vector<PlanRow> PlanRows(const CheckRun& run, const std::string& sourceFolder)
{
    std::vector<PlanRow> rows;
    const std::string lead = "  " + sourceFolder + "\\";
    for (const std::string& line : run.lines) {
        if (line.compare(0, lead.size(), lead) != 0)
            continue;
        const size_t arrow = line.find(" -> ");
        const std::string folderLead = ": la cartella ";
        const std::string folderTail = " non pu\xF2 essere letta, i suoi file non saranno copiati";
        const std::string linkTail = " (\xE8 un collegamento a una cartella che la contiene)";
        const size_t folder = line.find(folderLead);
        const bool leadsBack = line.size() > linkTail.size() &&
                               line.compare(line.size() - linkTail.size(), linkTail.size(), linkTail) == 0;
        const std::string body = leadsBack ? line.substr(0, line.size() - linkTail.size()) : line;
        if (arrow == std::string::npos && folder != std::string::npos && body.size() > folderTail.size() &&
            body.compare(body.size() - folderTail.size(), folderTail.size(), folderTail) == 0) {
            PlanRow row;
            row.source = body.substr(2, folder - 2);
            const size_t start = folder + folderLead.size();
            row.unlistable = body.substr(start, body.size() - folderTail.size() - start);
            row.leadsBack = leadsBack;
            rows.push_back(row);
            continue;
        }
        if (arrow == std::string::npos) {
            ADD_FAILURE() << "plan line without a target: " << line;
            continue;
        }
        PlanRow row;
        row.source = line.substr(2, arrow - 2);
        const std::string rest = line.substr(arrow + 4);
        size_t at = rest.find("; ");
        row.target = rest.substr(0, at);
        while (at != std::string::npos) {
            const size_t next = rest.find("; ", at + 2);
            row.fields.push_back(rest.substr(at + 2, next == std::string::npos ? next : next - at - 2));
            at = next;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<PlanRegistryValue> PlanRegistry(const CheckRun& run)
{
    std::vector<PlanRegistryValue> values;
    const std::string header =
        "Registro di sistema, scritto alla fine dell'installazione in HKEY_LOCAL_MACHINE (vista a 32 bit):";
    const auto start = std::find(run.lines.begin(), run.lines.end(), header);
    if (start == run.lines.end()) {
        ADD_FAILURE() << "no registry section in the plan";
        return values;
    }
    std::string key;
    for (auto line = start + 1; line != run.lines.end() && line->compare(0, 2, "  ") == 0; ++line) {
        if (line->compare(0, 4, "    ") != 0) {
            key = line->substr(2);
            continue;
        }
        PlanRegistryValue value;
        value.key = key;
        const std::string body = line->substr(4);
        const std::string removed = ": non scritto, e tolto se c'\xE8 (";
        const size_t equals = body.find(" = ");
        if (equals == std::string::npos) {
            const size_t at = body.find(removed);
            value.removed = at != std::string::npos;
            EXPECT_TRUE(value.removed) << "a registry line of no known form: " << *line;
            value.name = body.substr(0, at);
        } else {
            value.name = body.substr(0, equals);
            value.value = body.substr(equals + 3);
            // A one-word value may have a note; a longer one is taken whole.
            const size_t open = value.value.find(" (");
            if (open != std::string::npos && value.value.find(' ') == open && value.value.back() == ')') {
                value.note = value.value.substr(open + 2, value.value.size() - open - 3);
                value.value.resize(open);
            }
        }
        values.push_back(value);
    }
    return values;
}

std::string PlanValue(const CheckRun& run, const std::string& label)
{
    const std::string lead = label + ": ";
    for (const std::string& line : run.lines) {
        if (line.compare(0, lead.size(), lead) == 0)
            return line.substr(lead.size());
    }
    return std::string();
}

namespace {

std::wstring LongForm(const std::string& path)
{
    const std::string full = "\\\\?\\" + path;
    return std::wstring(full.begin(), full.end());
}

// Makes a chain of folders below base whose full path is exactly length
// characters long (through the long-path form, which has no MAX_PATH limit),
// and returns the chain's path relative to base.
std::string MakeDeepFolder(const std::string& base, size_t length)
{
    std::string relative;
    while (base.size() + 1 + relative.size() < length) {
        const size_t room = length - base.size() - 1 - relative.size() - (relative.empty() ? 0 : 1);
        // Never leave a single character, which a separator alone would take.
        const size_t size = room <= 100 ? room : (room == 101 ? 99 : 100);
        const std::string name(size, static_cast<char>('a' + relative.size() % 26));
        relative += (relative.empty() ? "" : "\\") + name;
        if (!::CreateDirectoryW(LongForm(base + "\\" + relative).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create " + base + "\\" + relative);
    }
    return relative;
}

} // namespace

std::string MakeUnlistableFolder(const std::string& base)
{
    const std::string outer = MakeDeepFolder(base, 240);
    return outer + "\\" + MakeDeepFolder(base + "\\" + outer, kUnlistableLength);
}

void RemoveDeepFolder(const std::string& base, const std::string& relative)
{
    for (std::string inner = relative; !inner.empty();) {
        ::RemoveDirectoryW(LongForm(base + "\\" + inner).c_str());
        const size_t slash = inner.rfind('\\');
        inner = slash == std::string::npos ? std::string() : inner.substr(0, slash);
    }
}

ShortRoot::ShortRoot()
{
    // Of a fixed length, so that the tests can reckon their path lengths.
    char name[16];
    const unsigned long tag = ::GetTickCount() ^ ::GetCurrentProcessId();
    std::snprintf(name, sizeof(name), "C:\\lc%08lx", tag);
    path_ = name;
    if (!::CreateDirectoryA(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create " + path_);
}

ShortRoot::~ShortRoot()
{
    lumo_test::RemoveTree(path_);
}

} // namespace lumo_check_test
