#include "commandrun.h"

#include "console.h"
#include "exceptiontext.h"
#include "progressview.h"
#include "sercomm.h"
#include "serexception.h"

TCommandRun::TCommandRun(TSerCustomComm &Comm, TProgressView &View,
                         std::chrono::milliseconds Silence)
    : FComm(Comm)
    , FView(View)
    , FSilence(Silence)
{
}

TCommandRun::~TCommandRun()
{
    FComm.OnNotifyException = {};
}

TExitStatus TCommandRun::Run(const TLoaderRun::TImage &Image, const std::function<void()> &Prepared)
{
    FComm.OnNotifyException = TSerCommExceptionEvent(this, &TCommandRun::ComPortNotifyException);
    TExitStatus status = TExitStatus::esFailed;
    try {
        FAwaitedSince = TCliClock::now();
        FRun.Start(FComm, Image);
        Prepared();
        status = Drive();
    } catch (...) {
        status = Failure(std::current_exception());
    }
    // Closing the port discards what it has not sent yet: the unit should read the last frame
    // whole, and after an interrupt the frame that was being written.
    if (status == TExitStatus::esProgrammed || status == TExitStatus::esInterrupted)
        WaitUntilSent();
    if (status != TExitStatus::esProgrammed)
        Abandon();
    FView.Finish();
    return status;
}

// The tick and the silence are looked at between slices of serving the port's notifications.
TExitStatus TCommandRun::Drive()
{
    for (;;) {
        if (FProgrammed)
            return TExitStatus::esProgrammed;
        if (FFailure)
            return Failure(FFailure);
        if (Interrupted()) {
            FMessage = "Interrupted";
            return TExitStatus::esInterrupted;
        }
        const TCliClock::time_point now = TCliClock::now();
        if (now - FAwaitedSince >= FSilence)
            return Unacknowledged();
        if (FTickRunning && now >= FNextTick) {
            FNextTick = now + TLoaderRun::TickInterval;
            FRun.Tick();
            continue;
        }
        const TCliClock::time_point wake =
            FTickRunning ? std::min(FNextTick, FAwaitedSince + FSilence) : FAwaitedSince + FSilence;
        ServeUntil([this] { return FProgrammed || FFailure; }, wake);
    }
}

TExitStatus TCommandRun::Unacknowledged()
{
    if (!FRefused) {
        FMessage = "No answer from unit";
        return TExitStatus::esSilentUnit;
    }
    FMessage =
        std::string("The unit keeps refusing the ") + TLoaderRun::StepName(FAwaitedStep) + " frame";
    return TExitStatus::esUnitRefuses;
}

TExitStatus TCommandRun::Failure(std::exception_ptr Error)
{
    FMessage = ExceptionText(Error);
    if (IsDeviceLost(Error)) {
        FMessage = "Dongle disconnected: " + FMessage;
        return TExitStatus::esDongleLost;
    }
    try {
        std::rethrow_exception(Error);
    } catch (const EUnexpectedReply &) {
        return TExitStatus::esUnexpectedReply;
    } catch (...) {
        return TExitStatus::esFailed;
    }
}

// Bounded, as every wait of a command; a port that fails now is closed all the same.
void TCommandRun::WaitUntilSent() noexcept
{
    constexpr std::chrono::milliseconds bound{1000};
    try {
        ServeUntil([this] { return FComm.GetStatistics().OutQue == 0; }, TCliClock::now() + bound);
    } catch (...) {
    }
}

// Nothing more is sent; a port that fails to purge now is closed all the same.
void TCommandRun::Abandon() noexcept
{
    FTickRunning = false;
    try {
        FRun.Abandon();
    } catch (...) {
    }
}

void TCommandRun::StepRun(std::uint8_t Step)
{
    FView.StepRun(Step);
}

void TCommandRun::SetTickRunning(bool On)
{
    // The first tick comes one interval after the run starts, as in the window.
    if (On && !FTickRunning)
        FNextTick = TCliClock::now() + TLoaderRun::TickInterval;
    FTickRunning = On;
}

// The frame of a new step starts the clock; the same frame sent again after a refusal does not.
void TCommandRun::FrameSent(std::string_view, const std::string &)
{
    if (FRun.Step() == FAwaitedStep)
        return;
    FAwaitedStep = FRun.Step();
    FAwaitedSince = TCliClock::now();
    FRefused = false;
}

// The unit is there, but only an acknowledgement, whose step sends a frame of its own, moves the
// run on: until then every line is a refusal (an unexpected one ends the run anyway).
void TCommandRun::ReplyReceived(const std::string &)
{
    FRefused = true;
}

void TCommandRun::Programmed()
{
    FProgrammed = true;
    FView.Programmed();
}

void TCommandRun::ComPortNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    if (!FFailure)
        FFailure = Error;
}
