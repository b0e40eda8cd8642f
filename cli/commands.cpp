#include "commands.h"

#include "cautiontext.h"
#include "commandrun.h"
#include "console.h"
#include "dongleline.h"
#include "dongleprobe.h"
#include "exceptiontext.h"
#include "frames.h"
#include "progressview.h"
#include "sercomm.h"
#include "serexception.h"
#include "serports.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

using TJson = nlohmann::ordered_json;

// With --json the document alone goes to standard output, and everything said to a person
// goes to standard error. Output that nobody reads any more (a pipe closed, a terminal hung up)
// is dropped: the command goes on to its end.
class TOutput {
public:
    explicit TOutput(bool Json)
        : FJson(Json)
        , FHuman(Json ? stderr : stdout)
        , FStarted(TCliClock::now())
    {
    }

    std::FILE *Human() const { return FHuman; }

    void Say(const std::string &Text) const
    {
        std::fprintf(FHuman, "%s\n", Text.c_str());
        std::fflush(FHuman);
    }

    // Failures go to standard error, with --json or without.
    void Complain(const std::string &Text) const
    {
        std::fflush(FHuman);
        std::fprintf(stderr, "%s\n", Text.c_str());
    }

    // Ends the command: the JSON document with the outcome and the time taken.
    TExitStatus Finish(TJson Document, TExitStatus Status) const
    {
        if (FJson) {
            Document["outcome"] = OutcomeName(Status);
            Document["exit_status"] = static_cast<int>(Status);
            const std::chrono::duration<double> taken = TCliClock::now() - FStarted;
            Document["seconds"] = std::round(taken.count() * 1000) / 1000;
            std::printf("%s\n", Dumped(Document).c_str());
            std::fflush(stdout);
        }
        return Status;
    }

private:
    // A port's name is bytes on POSIX systems, not always UTF-8; the document is still written,
    // and says so.
    std::string Dumped(TJson &Document) const
    {
        try {
            return Document.dump(2);
        } catch (const TJson::type_error &) {
            Complain("A port name is not valid UTF-8: the JSON shows its bad bytes as U+FFFD");
            Document["invalid_utf8_replaced"] = true;
            return Document.dump(2, ' ', false, TJson::error_handler_t::replace);
        }
    }

    bool FJson;
    std::FILE *FHuman;
    TCliClock::time_point FStarted;
};

std::string Hex(const TSettingsBlock &Block)
{
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : Block) {
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
    }
    return text;
}

std::string Joined(const std::vector<std::string> &Ports)
{
    std::string joined;
    for (const std::string &port : Ports)
        joined += (joined.empty() ? "" : ", ") + port;
    return joined;
}

// A list of ports with an empty entry is a script's mistake (an unset variable), not a port.
std::string PortListProblem()
{
    const std::optional<std::vector<std::string>> listed = SerPortsOverride();
    if (listed && std::find(listed->begin(), listed->end(), "") != listed->end())
        return "ZARNELL_PORTS has an empty entry: \"" + std::string(std::getenv("ZARNELL_PORTS")) +
               "\"";
    return {};
}

// A command ends only once every port it opened is closed, those closed in the background too,
// so that the next command finds them free. Nothing may be left open, whatever happened to
// the port.
void CloseEveryPort(TSerCustomComm &Comm)
{
    try {
        Comm.Close();
    } catch (...) {
    }
    constexpr std::chrono::seconds bound{2};
    TSerCustomComm::AwaitClosesInBackground(TCliClock::now() + bound);
}

std::string Caution()
{
    return std::string(CautionHeading) + "\n  " + CautionOneDongle + "\n  " +
           CautionNoOtherDevices + "\n  " + CautionCancelToRemove + "\n" + ProceedHeading + "\n  " +
           ProceedApplyPower + "\n  " + ProceedPressReset + " (here: y and Enter)";
}

// The caution and the question go to the terminal, where the person is, whatever standard
// output is redirected to; so does what is about to be written, when the person has not seen it.
bool Confirmed(std::FILE *Terminal, const std::string &Unseen)
{
    if (!Unseen.empty())
        std::fprintf(Terminal, "%s\n", Unseen.c_str());
    std::fprintf(Terminal, "%s\nProceed? [y/N] ", Caution().c_str());
    std::fflush(Terminal);
    std::string answer;
    if (!std::getline(std::cin, answer) || Interrupted()) {
        std::fputc('\n', Terminal);
        std::fflush(Terminal);
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::chrono::milliseconds Milliseconds(double Seconds)
{
    return std::chrono::ceil<std::chrono::milliseconds>(std::chrono::duration<double>(Seconds));
}

std::string EepromNote(bool Unfinished)
{
    return Unfinished ? "The unit's EEPROM was left unfinished: reset the unit and program it "
                        "again."
                      : "Nothing was written into the unit's EEPROM.";
}

// How the part of a command that uses the ports ended.
struct TPortsOutcome {
    TExitStatus Status = TExitStatus::esFailed;
    std::string Message; // for the user, unless programmed
    std::string Port;    // the dongle's, once found
    std::vector<std::string> Dongles;
    bool Unfinished = false;
};

// A failure of the command, for the user; its status says which.
class ECommandFailure : public std::runtime_error {
public:
    ECommandFailure(TExitStatus Status, const std::string &Message)
        : std::runtime_error(Message)
        , FStatus(Status)
    {
    }
    TExitStatus Status() const { return FStatus; }

private:
    TExitStatus FStatus;
};

// The one port named with --port, left open on the dongle; its open may take as long as a
// search would.
std::string ProbeNamedPort(TDongleProbe &Probe, const TProgramOptions &Options, const TOutput &Out)
{
    const std::chrono::milliseconds bound = Milliseconds(Options.SearchTimeout);
    if (Probe.Probe(Options.Port, TCliClock::now() + bound, bound))
        return Options.Port;
    if (Interrupted())
        return {};
    Out.Say(Probe.Outcome(Options.Port));
    throw ECommandFailure(TExitStatus::esNoDongle, "No dongle on " + Options.Port);
}

// The search over every port, which leaves the dongle's open: one dongle, and only one, answers
// in a pass that probed them all.
std::string SearchDongle(TDongleProbe &Probe, const TProgramOptions &Options, const TOutput &Out,
                         TPortsOutcome &Outcome)
{
    Out.Say("Searching for the dongle");
    const TCliClock::time_point deadline = TCliClock::now() + Milliseconds(Options.SearchTimeout);
    Outcome.Dongles = Probe.Search(deadline);
    if (Interrupted())
        return {};
    if (Outcome.Dongles.size() > 1)
        throw ECommandFailure(TExitStatus::esSeveralDongles,
                              "More than one dongle answered: " + Joined(Outcome.Dongles) +
                                  ". Nothing was written; unplug all but one, or choose one "
                                  "with --port");
    const bool inTime = Probe.PassComplete() && TCliClock::now() < deadline;
    if (!Outcome.Dongles.empty() && inTime && Probe.Hold(Outcome.Dongles.front(), deadline))
        return Outcome.Dongles.front();
    for (const std::string &tried : Probe.PassPorts())
        Out.Say("  " + Probe.Outcome(tried));
    if (!Outcome.Dongles.empty() && !inTime)
        throw ECommandFailure(TExitStatus::esNoDongle,
                              "The dongle answered on " + Outcome.Dongles.front() +
                                  ", but --search-timeout passed before every port was probed "
                                  "for a second dongle. Nothing was written; give more time, "
                                  "or choose the port with --port");
    throw ECommandFailure(TExitStatus::esNoDongle, "No dongle found");
}

// Finds the dongle, asks, and runs the loader; the port is left for the caller to close.
void ProgramUnit(TSerCustomComm &Comm, const TProgramOptions &Options, const TSettingsBlock &Block,
                 std::FILE *Question, const TOutput &Out, TPortsOutcome &Outcome)
{
    {
        TDongleProbe probe(Comm);
        Outcome.Port = Options.Port.empty() ? SearchDongle(probe, Options, Out, Outcome)
                                            : ProbeNamedPort(probe, Options, Out);
    }
    if (Interrupted())
        throw ECommandFailure(TExitStatus::esInterrupted, "Interrupted");
    const std::string what = "Dongle on " + Outcome.Port + "\nWriting ZN ID " +
                             std::to_string(Options.ZnId) + " and value " +
                             std::to_string(Options.Value) + ": " + Hex(Block);
    Out.Say(what);
    if (!Question)
        Out.Say(Caution());
    else if (!Confirmed(Question, IsTerminal(Out.Human()) ? "" : what))
        throw ECommandFailure(TExitStatus::esInterrupted, "Not confirmed");
    TProgressView view(Out.Human(), IsTerminal(Out.Human()));
    TCommandRun run(Comm, view, Milliseconds(Options.SilenceTimeout));
    // The line goes over to the boot loader, as the window does once the dongle has answered;
    // here only after the run's purge, which would discard a "Z" that the line has not passed
    // on yet (a person at the window takes longer than that anyway).
    Outcome.Status = run.Run(Block, [&Comm] { Comm.WriteChar(LoaderCommandByte); });
    Outcome.Unfinished = run.Unfinished();
    Outcome.Message = run.Message();
}

TPortsOutcome UsePorts(TSerCustomComm &Comm, const TProgramOptions &Options,
                       const TSettingsBlock &Block, std::FILE *Question, const TOutput &Out)
{
    TPortsOutcome outcome;
    try {
        ProgramUnit(Comm, Options, Block, Question, Out, outcome);
    } catch (const ECommandFailure &e) {
        outcome.Status = e.Status();
        outcome.Message = e.what();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        outcome.Status = IsDeviceLost(error) ? TExitStatus::esDongleLost : TExitStatus::esFailed;
        outcome.Message = ExceptionText(error);
    }
    return outcome;
}

} // namespace

TExitStatus RunPorts(const TPortsOptions &Options)
{
    const TOutput out(Options.Json);
    TJson document{{"command", "ports"},
                   {"ports", TJson::array()},
                   {"dongle", nullptr},
                   {"dongles", TJson::array()}};
    if (const std::string problem = PortListProblem(); !problem.empty()) {
        out.Complain(problem);
        return out.Finish(std::move(document), TExitStatus::esBadUsage);
    }
    TSerComm comm;
    UseDongleLine(comm);
    const std::vector<std::string> ports = SerPortNames();
    std::vector<std::string> dongles;
    {
        TDongleProbe probe(comm);
        for (const std::string &port : ports) {
            if (Interrupted())
                break;
            const bool dongle = probe.Probe(port, TCliClock::time_point::max());
            if (dongle)
                dongles.push_back(port);
            const std::string outcome = probe.Outcome(port);
            out.Say(outcome);
            document["ports"].push_back(
                {{"port", port}, {"outcome", probe.Words(port)}, {"dongle", dongle}});
        }
    }
    CloseEveryPort(comm);
    if (ports.empty())
        out.Say("No serial ports");
    if (dongles.size() > 1)
        out.Say("More than one dongle answered: zarnell-cli program needs --port to choose one");
    if (Interrupted()) {
        out.Say("Interrupted; every port is closed");
        return out.Finish(std::move(document), TExitStatus::esInterrupted);
    }
    if (dongles.empty())
        return out.Finish(std::move(document), TExitStatus::esNoDongle);
    document["dongle"] = dongles.front();
    document["dongles"] = dongles;
    return out.Finish(std::move(document), TExitStatus::esProgrammed);
}

TExitStatus RunProgram(const TProgramOptions &Options)
{
    const TOutput out(Options.Json);
    const TSettingsBlock block = MakeSettingsBlock(Options.Value, Options.ZnId);
    TJson document{{"command", "program"},   {"port", nullptr},     {"zn_id", Options.ZnId},
                   {"value", Options.Value}, {"block", Hex(block)}, {"eeprom_unfinished", false}};
    const auto fail = [&](TExitStatus Status, const std::string &Message) {
        out.Complain(Message);
        document["message"] = Message;
        return out.Finish(document, Status);
    };

    // Refused before any port is touched.
    std::FILE *question = Options.Yes ? nullptr : QuestionStream();
    if (!Options.Yes && (!IsTerminal(stdin) || !question))
        return fail(TExitStatus::esBadUsage,
                    "No terminal to confirm on: give --yes to program without asking");
    if (const std::string problem = PortListProblem(); !problem.empty())
        return fail(TExitStatus::esBadUsage, problem);
    if (!Options.Port.empty()) {
        const std::vector<std::string> ports = SerPortNames();
        if (std::find(ports.begin(), ports.end(), Options.Port) == ports.end())
            return fail(TExitStatus::esBadUsage,
                        "No such port: " + Options.Port + " (zarnell-cli ports lists them)");
    }

    TSerComm comm;
    UseDongleLine(comm);
    const TPortsOutcome outcome = UsePorts(comm, Options, block, question, out);
    CloseEveryPort(comm);
    if (!outcome.Port.empty())
        document["port"] = outcome.Port;
    if (outcome.Dongles.size() > 1)
        document["dongles"] = outcome.Dongles;
    document["eeprom_unfinished"] = outcome.Unfinished;
    switch (outcome.Status) {
    case TExitStatus::esProgrammed:
        document["message"] = "Programmed";
        return out.Finish(document, outcome.Status);
    case TExitStatus::esNoDongle:
    case TExitStatus::esSeveralDongles:
        return fail(outcome.Status, outcome.Message);
    default:
        return fail(outcome.Status,
                    outcome.Message + "; the port is closed. " + EepromNote(outcome.Unfinished));
    }
}
