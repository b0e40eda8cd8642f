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
#include <iostream>
#include <string>

namespace {

using TJson = nlohmann::ordered_json;

// With --json the document alone goes to standard output, and everything said to a person
// goes to standard error.
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
            std::printf("%s\n", Document.dump(2).c_str());
            std::fflush(stdout);
        }
        return Status;
    }

private:
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

// "COM3: no answer to the probe" without its port.
std::string WordsOf(const std::string &Outcome, const std::string &Port)
{
    const std::string prefix = Port + ": ";
    return Outcome.starts_with(prefix) ? Outcome.substr(prefix.size()) : Outcome;
}

// Nothing may be left open when the command ends, whatever happened to the port.
void ClosePort(TSerCustomComm &Comm)
{
    try {
        Comm.Close();
    } catch (...) {
    }
}

// Closing the port discards what it has not sent yet: the unit should read the last frame. The
// unit is programmed by then, so a port that fails now changes nothing of the outcome.
void WaitUntilSent(TSerCustomComm &Comm)
{
    constexpr std::chrono::milliseconds bound{1000};
    try {
        ServeUntil([&Comm] { return Comm.GetStatistics().OutQue == 0; }, TCliClock::now() + bound);
    } catch (...) {
    }
}

std::string Caution()
{
    return std::string(CautionHeading) + "\n  " + CautionOneDongle + "\n  " +
           CautionNoOtherDevices + "\n  " + CautionCancelToRemove + "\n" + ProceedHeading + "\n  " +
           ProceedApplyPower + "\n  " + ProceedPressReset + " (here: y and Enter)";
}

bool Confirmed(const TOutput &Out)
{
    std::fprintf(Out.Human(), "Proceed? [y/N] ");
    std::fflush(Out.Human());
    std::string answer;
    if (!std::getline(std::cin, answer) || Interrupted()) {
        std::fputc('\n', Out.Human());
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::chrono::milliseconds Milliseconds(double Seconds)
{
    return std::chrono::ceil<std::chrono::milliseconds>(std::chrono::duration<double>(Seconds));
}

// The dongle's port, left open, or "" when it was not found (the outcomes are told then).
std::string FindDongle(TSerCustomComm &Comm, const TProgramOptions &Options, const TOutput &Out)
{
    TDongleProbe probe(Comm);
    if (!Options.Port.empty()) {
        if (probe.Probe(Options.Port))
            return Options.Port;
        Out.Say(probe.Outcome(Options.Port));
        return {};
    }
    Out.Say("Searching for the dongle");
    const std::string port = probe.Search(TCliClock::now() + Milliseconds(Options.SearchTimeout));
    if (port.empty() && !Interrupted()) {
        for (const std::string &tried : probe.PassPorts())
            Out.Say("  " + probe.Outcome(tried));
    }
    return port;
}

std::string EepromNote(bool Unfinished)
{
    return Unfinished ? "The unit's EEPROM was left unfinished: reset the unit and program it "
                        "again."
                      : "Nothing was written into the unit's EEPROM.";
}

} // namespace

TExitStatus RunPorts(const TPortsOptions &Options)
{
    const TOutput out(Options.Json);
    TJson document{{"command", "ports"}, {"ports", TJson::array()}, {"dongle", nullptr}};
    CatchInterrupts();
    TSerComm comm;
    UseDongleLine(comm);
    const std::vector<std::string> ports = SerPortNames();
    std::string dongle;
    {
        TDongleProbe probe(comm);
        for (const std::string &port : ports) {
            if (Interrupted())
                break;
            if (probe.Probe(port) && dongle.empty())
                dongle = port;
            const std::string outcome = probe.Outcome(port);
            out.Say(outcome);
            document["ports"].push_back({{"port", port}, {"outcome", WordsOf(outcome, port)}});
        }
    }
    ClosePort(comm);
    if (ports.empty())
        out.Say("No serial ports");
    if (Interrupted()) {
        out.Say("Interrupted; every port is closed");
        return out.Finish(std::move(document), TExitStatus::esInterrupted);
    }
    if (dongle.empty())
        return out.Finish(std::move(document), TExitStatus::esNoDongle);
    document["dongle"] = dongle;
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
    if (!Options.Yes && !IsTerminal(stdin))
        return fail(TExitStatus::esBadUsage,
                    "No terminal to confirm on: give --yes to program without asking");
    if (!Options.Port.empty()) {
        const std::vector<std::string> ports = SerPortNames();
        if (std::find(ports.begin(), ports.end(), Options.Port) == ports.end())
            return fail(TExitStatus::esBadUsage,
                        "No such port: " + Options.Port + " (zarnell-cli ports lists them)");
    }

    CatchInterrupts();
    TSerComm comm;
    UseDongleLine(comm);
    TExitStatus status = TExitStatus::esFailed;
    std::string message;
    bool unfinished = false;
    try {
        const std::string port = FindDongle(comm, Options, out);
        if (Interrupted()) {
            ClosePort(comm);
            return fail(TExitStatus::esInterrupted,
                        "Interrupted; the port is closed. " + EepromNote(false));
        }
        if (port.empty()) {
            ClosePort(comm);
            return fail(TExitStatus::esNoDongle,
                        Options.Port.empty() ? "No dongle found" : "No dongle on " + Options.Port);
        }
        document["port"] = port;
        out.Say("Dongle on " + port);
        out.Say("Writing ZN ID " + std::to_string(Options.ZnId) + " and value " +
                std::to_string(Options.Value) + ": " + Hex(block));
        out.Say(Caution());
        if (!Options.Yes && !Confirmed(out)) {
            ClosePort(comm);
            return fail(TExitStatus::esInterrupted,
                        "Not confirmed; the port is closed. " + EepromNote(false));
        }
        TProgressView view(out.Human(), IsTerminal(out.Human()));
        TCommandRun run(comm, view, Milliseconds(Options.SilenceTimeout));
        // The line goes over to the boot loader, as the window does once the dongle has
        // answered; here only after the run's purge, which would discard a "Z" that the line
        // has not passed on yet (a person at the window takes longer than that anyway).
        status = run.Run(block, [&comm] { comm.WriteChar(LoaderCommandByte); });
        unfinished = run.Unfinished();
        if (status == TExitStatus::esProgrammed)
            WaitUntilSent(comm);
        else
            message = run.Message() + "; the port is closed. " + EepromNote(unfinished);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        status = IsDeviceLost(error) ? TExitStatus::esDongleLost : TExitStatus::esFailed;
        message = ExceptionText(error) + "; the port is closed. " + EepromNote(unfinished);
    }
    ClosePort(comm);
    document["eeprom_unfinished"] = unfinished;
    if (status == TExitStatus::esProgrammed) {
        document["message"] = "Programmed";
        return out.Finish(document, status);
    }
    return fail(status, message);
}
