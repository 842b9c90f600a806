// LumoCheck.exe [--piano] [folder]: checks a delivery folder before it ships,
// or shows what the installer would do with it on this machine.
#include "checker/ConsoleOut.h"
#include "checker/Report.h"
#include "framework/Text.h"

#include <string>

// The arguments come as UTF-16, so that a folder of any name can be given.
int wmain(int argc, wchar_t** argv)
{
    ConsoleOut out;
    bool showPlan = false;
    std::string argument;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = Utf8(argv[i]);
        if (EqualIgnoringCase(arg, "--piano")) {
            showPlan = true;
        } else if (arg.empty() || arg[0] == '-' || haveFolder) {
            out.Line("Uso: LumoCheck.exe [--piano] [cartella della consegna]");
            return ExitUnreadable;
        } else {
            argument = arg;
            haveFolder = true;
        }
    }

    const std::string folder = DeliveryFolderPath(haveFolder ? argument : ".");
    if (folder.empty() || !CanListFolder(folder)) {
        out.Line("La cartella " + (haveFolder ? argument : folder) + " non esiste o non si può leggere.");
        return ExitUnreadable;
    }

    const DeliveryPlan plan = MakeDeliveryPlan(folder);
    if (showPlan) {
        for (const std::string& line : PlanLines(plan))
            out.Line(line);
        return plan.descriptionOpens ? ExitClean : ExitErrors;
    }
    const std::vector<Finding> findings = CheckDelivery(plan);
    for (const std::string& line : FindingLines(findings))
        out.Line(line);
    return FindingsExit(findings);
}
