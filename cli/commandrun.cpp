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
        FLastHeard = TCliClock::now();
        FRun.Start(FComm, Image);
        Prepared();
        status = Drive();
    } catch (...) {
        status = Failure(std::current_exception());
    }
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
        if (now - FLastHeard >= FSilence) {
            FMessage = "No answer from unit";
            return TExitStatus::esSilentUnit;
        }
        if (FTickRunning && now >= FNextTick) {
            FNextTick = now + TLoaderRun::TickInterval;
            FRun.Tick();
            continue;
        }
        const TCliClock::time_point wake =
            FTickRunning ? std::min(FNextTick, FLastHeard + FSilence) : FLastHeard + FSilence;
        ServeUntil([this] { return FProgrammed || FFailure; }, wake);
    }
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

void TCommandRun::FrameSent(std::string_view, const std::string &)
{
    FLastHeard = TCliClock::now();
}

void TCommandRun::ReplyReceived(const std::string &)
{
    FLastHeard = TCliClock::now();
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
