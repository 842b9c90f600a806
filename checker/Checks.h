// The checker's findings: each mistake of a delivery that the installer
// forgives silently, with its stable rule code and what it will do on a
// workstation.
#pragma once

#include "checker/DeliveryPlan.h"

#include <string>
#include <vector>

enum class Severity { Error, Warning };

struct Finding {
    Severity severity;
    std::string code;    // "LC001"...
    std::string subject; // the file or key concerned
    std::string message; // Italian, UTF-8
    std::string file;    // the delivery's file it is about, below the delivery folder; empty for none
    int line = 0;        // 1-based line of that file; 0 for none
};

std::vector<Finding> CheckDelivery(const DeliveryPlan& plan);

// A rule as the README's table gives it: the mistake, and what happens on
// the workstation (English, without the table's markup).
struct Rule {
    const char* code;
    const char* mistake;
    const char* consequence;
};
// Every rule, in the order of its code.
const std::vector<Rule>& Rules();
// Every rule's code, in order.
const std::vector<std::string>& RuleCodes();

// The rules whose findings depend on the checking machine (what is installed
// there, where the delivery lies, its folders) rather than on the delivery.
bool DependsOnMachine(const std::string& code);
