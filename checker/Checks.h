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
    std::string message; // Italian, Windows-1252
};

std::vector<Finding> CheckDelivery(const DeliveryPlan& plan);
