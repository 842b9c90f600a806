// The checker's output as lines of text (Windows-1252), and its exit code.
#pragma once

#include "checker/Checks.h"
#include "checker/DeliveryPlan.h"

#include <string>
#include <vector>

// Exit codes of LumoCheck.exe.
enum CheckExit : int {
    ExitClean = 0,
    ExitWarnings = 1,
    ExitErrors = 2,
    ExitUnreadable = 3,
};

// "ERRORE LC001 SysFile\a.dll: ..." per finding, then the count.
std::vector<std::string> FindingLines(const std::vector<Finding>& findings);
CheckExit FindingsExit(const std::vector<Finding>& findings);

// What the installer would do on this machine.
std::vector<std::string> PlanLines(const DeliveryPlan& plan);
