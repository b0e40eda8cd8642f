// The commands of zarnell-cli. Each returns the process's exit status.
#pragma once

#include "exitstatus.h"

#include <string>

struct TPortsOptions {
    bool Json = false;
};

struct TProgramOptions {
    int ZnId = 0;
    int Value = 0;
    std::string Port; // empty: search every port
    bool Yes = false;
    bool Json = false;
    double SearchTimeout = 30; // seconds
    double SilenceTimeout = 10;
};

// Every port in the order the setup window walks them, each with the outcome of one probe.
TExitStatus RunPorts(const TPortsOptions &Options);

// Finds the dongle, asks for confirmation and writes the settings block into the unit.
TExitStatus RunProgram(const TProgramOptions &Options);
