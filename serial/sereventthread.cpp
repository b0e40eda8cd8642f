#include "sereventthread.h"

#include "serapplication.h"
#include "sercomm.h"
#include "serhandover.h"

#include <functional>
#include <mutex>
#include <optional>

struct TSerCommEventThread::TState {
    TState(TSerCustomComm &Comm, const std::shared_ptr<TSerDevice> &Device,
           TThreadPriority Priority)
        : Comm(Comm)
        , Device(Device)
        , Priority(Priority)
    {
    }

    // Reached on the GUI thread only, and only while the GUI thread has not left the thread
    // behind: the component may be gone after that.
    TSerCustomComm &Comm;
    // For waking the thread; the thread itself holds the device.
    const std::weak_ptr<TSerDevice> Device;
    std::atomic<bool> Terminated = false;
    std::atomic<bool> Parked = false; // keeps a wait that the driver has not given back
    TSerWaitEvent Ended;
    bool Dispatching = false; // GUI thread only
    bool LeftBehind = false;  // GUI thread only: nobody waits for the thread any more

    std::mutex PriorityLock; // guards the two below: the GUI thread changes them while we run
    TThreadPriority Priority;
    std::optional<TSerThreadId> ThreadId;

    void ApplyOwnPriority()
    {
        std::lock_guard lock(PriorityLock);
        ThreadId = SerCurrentThreadId();
        SerSetThreadPriority(*ThreadId, Priority);
    }

    // A thread id is reused once its thread has gone: the GUI thread must not renice a stranger.
    void ForgetThreadId()
    {
        std::lock_guard lock(PriorityLock);
        ThreadId.reset();
    }
};

TSerCommEventThread::TSerCommEventThread(TSerCustomComm &Comm,
                                         const std::shared_ptr<TSerDevice> &Device,
                                         TThreadPriority Priority)
    : FState(std::make_shared<TState>(Comm, Device, Priority))
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
    FThread = std::thread(&TSerCommEventThread::Execute, FState, FState->Device.lock());
}

void TSerCommEventThread::Stop()
{
    // The flag first: the wake-ups that follow make the thread look at it. The device is woken
    // the first time only.
    if (!FState->Terminated.exchange(true)) {
        if (const std::shared_ptr<TSerDevice> device = FState->Device.lock())
            device->Wake();
    }
    TSerHandOver::Main().Notify();
}

void TSerCommEventThread::WaitFor()
{
    if (!FThread.joinable())
        return;
    const bool ended = TSerHandOver::Main().ServeUntil(
        [this] { return FState->Ended.WaitFor(0) == TSerWaitResult::wrSignaled; }, StopBound);
    // Windows holds a thread that ends until its requests are over, for minutes when a driver
    // ignores the cancel: a thread that keeps such a request is never joined.
    if (ended && !FState->Parked) {
        FThread.join();
        return;
    }
    FState->LeftBehind = true;
    FThread.detach();
}

bool TSerCommEventThread::Terminated() const
{
    return FState->Terminated;
}

bool TSerCommEventThread::Dispatching() const
{
    return FState->Dispatching;
}

void TSerCommEventThread::SetPriority(TThreadPriority Priority)
{
    std::lock_guard lock(FState->PriorityLock);
    FState->Priority = Priority;
    if (FState->ThreadId)
        SerSetThreadPriority(*FState->ThreadId, FState->Priority);
}

// Everything the thread uses is its own or shared: the GUI thread may stop waiting for it.
void TSerCommEventThread::Execute(std::shared_ptr<TState> State, std::shared_ptr<TSerDevice> Device)
{
    State->ApplyOwnPriority();
    while (!State->Terminated) {
        // Nothing ends the thread while the port is open: a failure of its own is shown on
        // the GUI thread like a failure of a notification, and the thread waits again.
        try {
            const std::uint32_t events = Device->WaitEvents();
            if (!State->Terminated && events != 0)
                Dispatch(State, events);
        } catch (...) {
            Report(State, {std::current_exception()});
        }
    }
    const std::function<void()> unfinished = Device->LeaveUnfinishedWait();
    // The device closes here when the component has let go of it already.
    Device.reset();
    State->ForgetThreadId();
    State->Parked = static_cast<bool>(unfinished);
    State->Ended.SetEvent();
    TSerHandOver::Main().Notify();
    // Parked: the thread that started a request must outlive it.
    if (unfinished)
        unfinished();
}

// The notifications run on the GUI thread while this thread waits; what they raise is shown
// only after they have returned, so that no error box opens inside a notification.
void TSerCommEventThread::Dispatch(const std::shared_ptr<TState> &State, std::uint32_t Events)
{
    TSerFailures failures;
    TSerHandOver::Main().Call([&] {
        if (State->LeftBehind)
            return;
        State->Dispatching = true;
        failures = State->Comm.DispatchEvents(Events);
        State->Dispatching = false;
    });
    if (!failures.empty())
        Report(State, std::move(failures));
}

// Until the user has closed the error box, this port announces nothing more; a stop request
// releases the thread at once, so that closing the port from the box's own event loop (a timer
// tick, the window's close box) never waits for the box.
void TSerCommEventThread::Report(const std::shared_ptr<TState> &State,
                                 TSerFailures Failures) noexcept
{
    try {
        TSerHandOver::Main().CallInterruptible(
            [State, failures = std::move(Failures)] {
                if (!State->LeftBehind)
                    State->Comm.ReportFailures(failures);
            },
            State->Terminated);
    } catch (...) {
        // The GUI thread cannot be reached: standard error is all that is left.
        SerPrintException(std::current_exception());
    }
}
