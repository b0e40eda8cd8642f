#include "exitstatus.h"

#include <array>

namespace {

struct TStatusText {
    TExitStatus Status;
    const char *Name;
    const char *Help;
};

constexpr std::array StatusTexts{
    TStatusText{TExitStatus::esProgrammed, "programmed", "programmed (ports: the dongle answered)"},
    TStatusText{TExitStatus::esFailed, "failed", "the port failed otherwise"},
    TStatusText{TExitStatus::esBadUsage, "bad-usage", "bad usage; nothing was written to any port"},
    TStatusText{TExitStatus::esNoDongle, "no-dongle",
                "no dongle found (within --search-timeout, or on --port)"},
    TStatusText{TExitStatus::esSilentUnit, "silent-unit",
                "the unit did not answer (within --silence-timeout)"},
    TStatusText{TExitStatus::esDongleLost, "dongle-lost", "the dongle was lost during the run"},
    TStatusText{TExitStatus::esUnexpectedReply, "unexpected-reply",
                "the unit gave an unexpected reply"},
    TStatusText{TExitStatus::esInterrupted, "interrupted",
                "interrupted (Ctrl-C, SIGTERM, Ctrl-Break, a hang-up, the console closed) or not "
                "confirmed"},
    TStatusText{TExitStatus::esUnitRefuses, "unit-refuses",
                "the unit kept refusing a frame (for --silence-timeout)"},
    TStatusText{TExitStatus::esSeveralDongles, "several-dongles",
                "more than one dongle answered; nothing was written (choose one with --port)"},
};

} // namespace

const char *OutcomeName(TExitStatus Status)
{
    for (const TStatusText &text : StatusTexts) {
        if (text.Status == Status)
            return text.Name;
    }
    return "failed";
}

std::string ExitStatusHelp()
{
    std::string help = "Exit status:\n";
    for (const TStatusText &text : StatusTexts) {
        help += "  " + std::to_string(static_cast<int>(text.Status)) + "  " + text.Help + '\n';
    }
    return help;
}
