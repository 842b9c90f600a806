// LumoCheck.exe [opzioni] [cartella]: checks a delivery folder before it
// ships, or shows what the installer would do with it on this machine.
#include "checker/CommandLine.h"
#include "checker/ConsoleOut.h"
#include "checker/Report.h"
#include "framework/Text.h"

#include <exception>
#include <new>
#include <string>

namespace {

// A fault of LumoCheck itself must not pass for a verdict on the delivery:
// whatever ends it says so, with its own exit code.
void WriteInternalError(const char* what)
{
    const std::string line = std::string("LumoCheck: errore interno (") + what +
                             "): nulla \xE8 detto della consegna.\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LONG WINAPI OnFault(EXCEPTION_POINTERS*)
{
    WriteInternalError("eccezione");
    ::ExitProcess(ExitInternal);
}

void OnTerminate()
{
    WriteInternalError("eccezione non gestita");
    ::ExitProcess(ExitInternal);
}

int Check(ConsoleOut& out, const CheckOptions& options)
{
    // The one document a pipeline asked for; asked for both, it gets the
    // text, which says why.
    const bool json = options.json && !options.sarif;
    const bool sarif = options.sarif && !options.json;
    auto errorDocument = [&](const std::string& message) {
        out.Utf8(json ? ErrorJson(message, ExitUnreadable) : ErrorSarif(message, ExitUnreadable));
        return ExitUnreadable;
    };
    if ((json || sarif) && !options.error.empty())
        return errorDocument(options.error);
    if (kTestBuild && !json && !sarif)
        out.Line(TestBuildLine());
    if (!options.error.empty()) {
        out.Line(options.error);
        out.Line(UsageLines().front());
        return ExitUnreadable;
    }
    if (options.help) {
        for (const std::string& line : UsageLines())
            out.Line(line);
        return ExitClean;
    }
    if (options.version) {
        out.Line(std::string("LumoCheck ") + kCheckerVersion + (kTestBuild ? ", build di prova a 64 bit" : ""));
        return ExitClean;
    }

    const bool haveFolder = !options.folder.empty();
    const std::string folder = DeliveryFolderPath(haveFolder ? options.folder : ".");
    if (folder.empty() || !CanListFolder(folder)) {
        const std::string message =
            "La cartella " + (haveFolder ? options.folder : folder) + " non esiste o non si può leggere.";
        if (json || sarif)
            return errorDocument(message);
        out.Line(message);
        return ExitUnreadable;
    }

    const DeliveryPlan plan = MakeDeliveryPlan(folder);
    if (options.plan) {
        const CheckExit exit = PlanExit(plan);
        if (json) {
            out.Utf8(PlanJson(plan, exit));
        } else {
            for (const std::string& line : PlanLines(plan))
                out.Line(line);
        }
        return exit;
    }
    std::vector<Finding> findings;
    for (Finding& finding : CheckDelivery(plan)) {
        if (options.ignored.count(finding.code) == 0 && !(options.onlyDelivery && DependsOnMachine(finding.code)))
            findings.push_back(std::move(finding));
    }
    const CheckExit exit = FindingsExit(findings, options.warningsFail);
    if (json) {
        out.Utf8(FindingsJson(folder, findings, exit));
    } else if (sarif) {
        out.Utf8(FindingsSarif(folder, findings, exit));
    } else {
        for (const std::string& line : FindingLines(findings))
            out.Line(line);
    }
    return exit;
}

} // namespace

// The arguments come as UTF-16, so that a folder of any name can be given.
int wmain(int argc, wchar_t** argv)
{
    ::SetUnhandledExceptionFilter(OnFault);
    std::set_terminate(OnTerminate);
    try {
        ConsoleOut out;
        std::vector<std::string> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.push_back(Utf8(argv[i]));
        return Check(out, ParseCommandLine(arguments));
    } catch (const std::bad_alloc&) {
        WriteInternalError("memoria esaurita");
    } catch (...) {
        WriteInternalError("eccezione");
    }
    return ExitInternal;
}
