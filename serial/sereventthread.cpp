#include "sereventthread.h"

#include "serapplication.h"
#include "sercomm.h"
#include "serhandover.h"

TSerCommEventThread::TSerCommEventThread(TSerCustomComm &Comm, TSerDevice &Device,
                                         TThreadPriority Priority)
    : FComm(Comm)
    , FDevice(Device)
    , FPriority(Priority)
{
}

TSerCommEventThread::~TSerCommEventThread()
{
    if (FThread.joinable()) {
        Stop();
        WaitFor();
    }
}

void TSerCommEventThread::Start()
{
    FThread = std::thread(&TSerCommEventThread::Execute, this);
}

void TSerCommEventThread::Stop()
{
    // The flag first: the wake-ups that follow make the thread look at it. The device is woken
    // the first time only: a thread that Close left to end by itself outlives its device.
    if (!FTerminated.exchange(true))
        FDevice.Wake();
    TSerHandOver::Main().Notify();
}

void TSerCommEventThread::WaitFor()
{
    TSerHandOver::Main().ServeUntil(
        [this] { return FEnded.WaitFor(0) == TSerWaitResult::wrSignaled; });
    FThread.join();
}

void TSerCommEventThread::SetPriority(TThreadPriority Priority)
{
    std::lock_guard lock(FPriorityLock);
    FPriority = Priority;
    if (FThreadId)
        SerSetThreadPriority(*FThreadId, FPriority);
}

void TSerCommEventThread::ApplyOwnPriority()
{
    std::lock_guard lock(FPriorityLock);
    FThreadId = SerCurrentThreadId();
    SerSetThreadPriority(*FThreadId, FPriority);
}

// A thread id is reused once its thread has gone: the GUI thread must not renice a stranger.
void TSerCommEventThread::ForgetThreadId()
{
    std::lock_guard lock(FPriorityLock);
    FThreadId.reset();
}

void TSerCommEventThread::Execute()
{
    ApplyOwnPriority();
    while (!FTerminated) {
        // Nothing ends the thread while the port is open: a failure of its own is shown on
        // the GUI thread like a failure of a notification, and the thread waits again.
        try {
            const std::uint32_t events = FDevice.WaitEvents();
            if (!FTerminated && events != 0)
                Dispatch(events);
        } catch (...) {
            Report({std::current_exception()});
        }
    }
    ForgetThreadId();
    FEnded.SetEvent();
    TSerHandOver::Main().Notify();
}

// The notifications run on the GUI thread while this thread waits; what they raise is shown
// only after they have returned, so that no error box opens inside a notification.
void TSerCommEventThread::Dispatch(std::uint32_t Events)
{
    TSerFailures failures;
    TSerHandOver::Main().Call([&] {
        FDispatching = true;
        failures = FComm.DispatchEvents(Events);
        FDispatching = false;
    });
    if (!failures.empty())
        Report(std::move(failures));
}

// Until the user has closed the error box, this port announces nothing more; a stop request
// releases the thread at once, so that closing the port from the box's own event loop (a timer
// tick, the window's close box) never waits for the box.
void TSerCommEventThread::Report(TSerFailures Failures) noexcept
{
    try {
        TSerHandOver::Main().CallInterruptible(
            [comm = &FComm, failures = std::move(Failures)] { comm->ReportFailures(failures); },
            FTerminated);
    } catch (...) {
        // The GUI thread cannot be reached: standard error is all that is left.
        SerPrintException(std::current_exception());
    }
}
