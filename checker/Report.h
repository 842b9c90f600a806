// The checker's output: lines of text, or one JSON or SARIF document for pipelines,
// and its exit code.
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
    // Out of memory, or a fault of LumoCheck itself: nothing is said of the delivery.
    ExitInternal = 4,
};

// The build that ships is the 32-bit one; the 64-bit build serves the tests.
constexpr bool kTestBuild = sizeof(void*) == 8;
constexpr char kCheckerVersion[] = "1.0.0.0";

// The first line of every output of the 64-bit build.
std::string TestBuildLine();

// "ERRORE LC001 SysFile\a.dll: ..." per finding, then the count.
std::vector<std::string> FindingLines(const std::vector<Finding>& findings);
// The worst finding's code; with warningsFail a warning counts as an error.
CheckExit FindingsExit(const std::vector<Finding>& findings, bool warningsFail = false);

// What the installer would do on this machine, then the outcome it predicts.
std::vector<std::string> PlanLines(const DeliveryPlan& plan);
// ExitErrors when the plan predicts a failure (no Installatore.ini included).
CheckExit PlanExit(const DeliveryPlan& plan);

// One JSON document (UTF-8, one member or element per line, keys in a fixed
// order): the findings in report order, or the plan's steps in run order.
std::string FindingsJson(const std::string& folder, const std::vector<Finding>& findings, CheckExit exit);
std::string PlanJson(const DeliveryPlan& plan, CheckExit exit);
// The document of a run that could not look at a delivery at all.
std::string ErrorJson(const std::string& message, CheckExit exit);

// One SARIF 2.1.0 document (UTF-8, laid out as the JSON one): LumoCheck with
// every rule, and a result per finding in report order, its file relative to
// the delivery folder (uriBaseId "DELIVERY", whose file URI the run gives)
// and, where there is one, its line.
std::string FindingsSarif(const std::string& folder, const std::vector<Finding>& findings, CheckExit exit);
// The SARIF document of a run that could not look at a delivery: no results,
// and an invocation that did not succeed, with the reason.
std::string ErrorSarif(const std::string& message, CheckExit exit);

// A JSON string literal: quotes, backslashes and control characters escaped,
// every other character left as its UTF-8 bytes.
std::string JsonString(const std::string& utf8);
