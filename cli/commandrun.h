// A loader run driven from the command line: the run's 20 ms tick on the command's own thread,
// and, unlike the window, an end to every wait. The run ends "Programmed", or when a frame has
// gone unacknowledged too long (the unit silent, or refusing it again and again), the dongle is
// lost, the unit answers something unexpected, the port fails or the command is interrupted.
#pragma once

#include "exitstatus.h"
#include "loaderrun.h"
#include "serveloop.h"

#include <chrono>
#include <exception>
#include <functional>
#include <string>

class TProgressView;
class TSerCustomComm;

class TCommandRun : private TLoaderRun::TDriver {
public:
    // Comm is open on the dongle, which has taken "Z", and its OnRxChar is unbound.
    TCommandRun(TSerCustomComm &Comm, TProgressView &View, std::chrono::milliseconds Silence);
    ~TCommandRun() override;
    TCommandRun(const TCommandRun &) = delete;
    TCommandRun &operator=(const TCommandRun &) = delete;

    // Runs to the end and tells how it ended; a run that did not end "Programmed" is abandoned,
    // an interrupted one once the frame being written has gone out whole. Prepared is called
    // once the run has purged the port, before its first frame.
    TExitStatus Run(const TLoaderRun::TImage &Image, const std::function<void()> &Prepared);

    // What went wrong, for the user; empty once programmed.
    const std::string &Message() const { return FMessage; }
    // The unit's page was left half written (see TLoaderRun::Unfinished).
    bool Unfinished() const { return FRun.Unfinished(); }

private:
    void StepRun(std::uint8_t Step) override;
    void ShowProgramming(double) override {}
    void SetTickRunning(bool On) override;
    void FrameSent(std::string_view Payload, const std::string &Frame) override;
    void ReplyReceived(const std::string &Line) override;
    void Programmed() override;

    void ComPortNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    TExitStatus Drive();
    TExitStatus Unacknowledged();
    TExitStatus Failure(std::exception_ptr Error);
    void WaitUntilSent() noexcept;
    void Abandon() noexcept;

    TSerCustomComm &FComm;
    TProgressView &FView;
    std::chrono::milliseconds FSilence;
    TLoaderRun FRun{*this};
    bool FTickRunning = false;
    TCliClock::time_point FNextTick;
    // The step whose frame the unit has yet to acknowledge, since when, and whether it answered
    // at all: a refusal sends the frame again but is no progress.
    std::uint8_t FAwaitedStep = 0;
    TCliClock::time_point FAwaitedSince;
    bool FRefused = false;
    bool FProgrammed = false;
    std::exception_ptr FFailure;
    std::string FMessage;
};
