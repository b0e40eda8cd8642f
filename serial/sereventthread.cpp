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
    // The flag first: the wake-up that follows makes the thread look at it.
    FTerminated = true;
    FDevice.Wake();
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
    try {
        ApplyOwnPriority();
        while (!FTerminated) {
            const std::uint32_t events = FDevice.WaitEvents();
            if (FTerminated)
                break;
            if (events != 0)
                TSerHandOver::Main().Call([this, events] { FComm.DispatchEvents(events); });
        }
    } catch (...) {
        SerHandleException(std::current_exception());
    }
    ForgetThreadId();
    FEnded.SetEvent();
    TSerHandOver::Main().Notify();
}
