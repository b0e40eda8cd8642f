#include "serobjects.h"

#include <chrono>

void TSerWaitEvent::SetEvent()
{
    std::lock_guard lock(FMutex);
    FSignaled = true;
    FCondition.notify_all();
}

void TSerWaitEvent::ResetEvent()
{
    std::lock_guard lock(FMutex);
    FSignaled = false;
}

TSerWaitResult TSerWaitEvent::WaitFor(std::uint32_t Timeout)
{
    std::unique_lock lock(FMutex);
    const auto signaled = [this] { return FSignaled; };
    if (Timeout == Infinite) {
        FCondition.wait(lock, signaled);
        return TSerWaitResult::wrSignaled;
    }
    return FCondition.wait_for(lock, std::chrono::milliseconds(Timeout), signaled)
               ? TSerWaitResult::wrSignaled
               : TSerWaitResult::wrTimeout;
}
