// zarnell-unit-sim: a simulated dongle and Zarnell unit on a pseudo-terminal. Prints the path
// of the port to open on its first line, then serves until SIGINT or SIGTERM; SIGUSR1 writes
// the report without stopping. With --ready-file it creates a file once the dongle has taken
// "Z", the moment the program enables Download, so a script driving the program can wait for it.
#include "unitreport.h"
#include "unitsimpty.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

struct TCommand {
    TUnitSimOptions Options;
    std::vector<std::string> RefuseKinds;
    int DelayMs = 0;
    int FrameDelayMs = 0;
    int SplitPauseMs = 0;
    std::string ReportFile;
    std::string ReadyFile;
    std::string ShowEepromFile;
};

TFrameKind ParseFrameKind(const std::string &Name)
{
    for (TFrameKind kind :
         {TFrameKind::PageStart, TFrameKind::Block, TFrameKind::PageAddress, TFrameKind::Finish})
        if (FrameKindName(kind) == Name)
            return kind;
    throw CLI::ValidationError("--refuse-kind", "unknown frame kind " + Name);
}

// "SB" refuses the first block frame, "SB:3" the first three.
void AddRefusedKind(TUnitSimOptions &Options, const std::string &Text)
{
    const auto colon = Text.find(':');
    int count = 1;
    if (colon != std::string::npos) {
        try {
            count = std::stoi(Text.substr(colon + 1));
        } catch (const std::exception &) {
            throw CLI::ValidationError("--refuse-kind", "bad count in " + Text);
        }
        if (count < 1)
            throw CLI::ValidationError("--refuse-kind", "count must be at least 1 in " + Text);
    }
    Options.RefuseKinds[ParseFrameKind(Text.substr(0, colon))] += count;
}

void AddOptions(CLI::App &App, TCommand &Command)
{
    TUnitSimOptions &options = Command.Options;
    App.add_option("--eeprom-size", options.EepromSize, "Bytes of EEPROM, initially 0xFF")
        ->capture_default_str()
        ->check(CLI::Range(64, 65536));
    App.add_flag("--silent-dongle", options.SilentDongle, "Never answer the probe");
    App.add_flag("--silent-unit", options.SilentUnit, "Answer no loader frame");
    App.add_option("--refuse-frame", options.RefuseFrames,
                   "Refuse frame N of every run (from 1; repeatable)")
        ->check(CLI::PositiveNumber);
    App.add_option("--refuse-kind", Command.RefuseKinds,
                   "Refuse the first frames of a kind: SN, SB, SE or SZ, optionally :COUNT");
    App.add_option("--unexpected-before", options.UnexpectedBeforeFrames,
                   "Send an unexpected line \"X\" before the answer to frame N (repeatable)")
        ->check(CLI::PositiveNumber);
    App.add_option("--empty-line-before", options.EmptyLineBeforeFrames,
                   "Send an empty line before the answer to frame N (repeatable)")
        ->check(CLI::PositiveNumber);
    App.add_option("--frame-delay", Command.FrameDelayMs,
                   "Answer every frame this much later again, as a unit writing its EEPROM (ms)")
        ->check(CLI::NonNegativeNumber);
    App.add_option("--probe-answer", Command.Options.ProbeAnswer,
                   "Answer the probe with this line instead of IWRX");
    App.add_option("--delay", Command.DelayMs, "Answer every probe and frame this late (ms)")
        ->check(CLI::Range(0, 60000));
    App.add_option("--split", Command.SplitPauseMs,
                   "Send answers in pieces with this pause between them (ms)")
        ->check(CLI::Range(0, 60000));
    App.add_option("--split-size", options.SplitPieceSize, "Bytes per piece of a split answer")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    App.add_flag("--escaped", options.EscapeAnswers, "Escape every byte of every answer line");
    App.add_option("--stop-after", options.StopAnsweringAfterFrame,
                   "Stop answering for good after frame K of a run")
        ->check(CLI::PositiveNumber);
    App.add_option("--unplug-after", options.UnplugAfterFrame,
                   "Disappear (close the port) when frame K of a run arrives")
        ->check(CLI::PositiveNumber);
    App.add_option("--report", Command.ReportFile,
                   "Write a JSON report to FILE at exit and on SIGUSR1");
    App.add_option("--ready-file", Command.ReadyFile,
                   "Create FILE once the dongle has taken \"Z\" (the program enables Download)");
    App.add_option("--show-eeprom", Command.ShowEepromFile,
                   "Print the EEPROM image of a report written by --report, then exit")
        ->check(CLI::ExistingFile);
}

// Written beside the target and renamed over it, so a reader never sees half a report.
void WriteReport(const std::string &File, const nlohmann::json &Report)
{
    const std::string temporary = File + ".part";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << Report.dump(2) << '\n';
        if (!out.flush())
            throw std::runtime_error("Cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), File.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot rename " + temporary);
}

int ShowEeprom(const std::string &File)
{
    std::ifstream in(File);
    const nlohmann::json report = nlohmann::json::parse(in);
    std::cout << EepromDump(report);
    return 0;
}

// Watches the simulator on a thread of its own and creates the file once the unit's boot loader
// listens. A file that cannot be created ends the simulator with SIGTERM, so that nobody waits
// for it in vain.
class TReadyFile {
public:
    TReadyFile(const TUnitSimPty &Sim, std::string File)
        : FThread([this, &Sim, file = std::move(File)](std::stop_token Stop) {
            if (Sim.WaitFor([&] { return Sim.LoaderListening(); }, Stop))
                Create(file);
        })
    {
    }

    bool Failed() const { return FFailed; }

private:
    void Create(const std::string &File)
    {
        const int fd = ::open(File.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0 && ::close(fd) == 0)
            return;
        std::cerr << "zarnell-unit-sim: cannot create " << File << ": " << std::strerror(errno)
                  << '\n';
        FFailed = true;
        ::kill(::getpid(), SIGTERM);
    }

    std::atomic<bool> FFailed = false;
    std::jthread FThread; // last: it runs with the fields above in place
};

// The signals are blocked in every thread and taken here with sigwait: no handler runs, so
// the report is written by ordinary code.
sigset_t ServedSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    return signals;
}

int Serve(const TCommand &Command)
{
    const sigset_t signals = ServedSignals();
    const int error = pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (error != 0)
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");

    TUnitSimPty sim(Command.Options); // its thread inherits the blocked signals
    std::cout << sim.SlavePath() << std::endl;
    std::optional<TReadyFile> readyFile; // ends before Sim, and so does its thread
    if (!Command.ReadyFile.empty())
        readyFile.emplace(sim, Command.ReadyFile);

    for (;;) {
        int signal = 0;
        const int waitError = sigwait(&signals, &signal);
        if (waitError != 0)
            throw std::system_error(waitError, std::generic_category(), "sigwait");
        if (!Command.ReportFile.empty())
            WriteReport(Command.ReportFile, UnitReportJson(sim));
        if (signal != SIGUSR1)
            break;
    }
    sim.Stop();
    if (!sim.Failure().empty()) {
        std::cerr << "zarnell-unit-sim: " << sim.Failure() << '\n';
        return 1;
    }
    return readyFile && readyFile->Failed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("A simulated Zarnell dongle and unit on a pseudo-terminal", "zarnell-unit-sim");
    TCommand command;
    AddOptions(app, command);
    try {
        app.parse(argc, argv);
        for (const std::string &kind : command.RefuseKinds)
            AddRefusedKind(command.Options, kind);
    } catch (const CLI::ParseError &error) {
        return app.exit(error);
    }
    command.Options.AnswerDelay = std::chrono::milliseconds(command.DelayMs);
    command.Options.FrameAnswerDelay = std::chrono::milliseconds(command.FrameDelayMs);
    command.Options.SplitPause = std::chrono::milliseconds(command.SplitPauseMs);

    try {
        if (!command.ShowEepromFile.empty())
            return ShowEeprom(command.ShowEepromFile);
        return Serve(command);
    } catch (const std::exception &error) {
        std::cerr << "zarnell-unit-sim: " << error.what() << '\n';
        return 1;
    }
}
