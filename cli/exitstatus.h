// How a command ends: its exit status, and the outcome's name in the JSON document.
#pragma once

#include <string>

enum class TExitStatus : int {
    esProgrammed = 0,      // programmed; for ports: the dongle answered
    esFailed = 1,          // any other failure of the port
    esBadUsage = 2,        // bad arguments; nothing was written to any port
    esNoDongle = 3,        // no port answered the probe in time, or the named port did not
    esSilentUnit = 4,      // the unit did not answer a frame in time
    esDongleLost = 5,      // the dongle went away during the run
    esUnexpectedReply = 6, // the unit answered something that is neither "A" nor "N"
    esInterrupted = 7,     // Ctrl-C, SIGTERM, a hang-up or a closing console, or not confirmed
    esUnitRefuses = 8,     // the unit refused a frame again and again until the silence bound
    esSeveralDongles = 9,  // more than one dongle answered; nothing was written to any unit
};

// "programmed", "no-dongle", …
const char *OutcomeName(TExitStatus Status);

// The table of statuses for --help.
std::string ExitStatusHelp();
