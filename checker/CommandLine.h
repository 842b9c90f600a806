// LumoCheck's command line: the switches a packager or a pipeline gives.
#pragma once

#include <set>
#include <string>
#include <vector>

struct CheckOptions {
    bool plan = false;          // --piano
    bool json = false;          // --json
    bool sarif = false;         // --sarif
    bool warningsFail = false;  // --avvisi-come-errori
    bool onlyDelivery = false;  // --solo-consegna
    bool help = false;          // --help, -h, /?
    bool version = false;       // --version
    std::set<std::string> ignored; // --ignora LC013,LC015
    std::string folder;         // empty: the current folder
    // Why the command line is not understood; empty when it is.
    std::string error;
};

// The arguments after the program's name, as UTF-8.
CheckOptions ParseCommandLine(const std::vector<std::string>& arguments);

// The usage, with the exit codes.
std::vector<std::string> UsageLines();
