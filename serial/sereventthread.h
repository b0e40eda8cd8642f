// The event thread: waits for the device's events and hands each batch to the GUI thread.
#pragma once

#include "serobjects.h"
#include "serpriority.h"
#include "sertypes.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class TSerCustomComm;
class TSerDevice;

// What one dispatch of notifications raised, in order.
using TSerFailures = std::vector<std::exception_ptr>;

class TSerCommEventThread {
public:
    // The thread waits on Device, which must outlive it; Start lets it run.
    TSerCommEventThread(TSerCustomComm &Comm, TSerDevice &Device, TThreadPriority Priority);
    // Stops the thread and waits for its end (serving hand-overs meanwhile).
    ~TSerCommEventThread();
    TSerCommEventThread(const TSerCommEventThread &) = delete;
    TSerCommEventThread &operator=(const TSerCommEventThread &) = delete;

    void Start();
    // Any thread: asks the thread to end and wakes its wait, also a wait for a failure's report
    // to be closed. Never lost.
    void Stop();
    // GUI thread: serves hand-overs until the thread has ended, then joins it.
    void WaitFor();

    bool Terminated() const { return FTerminated; }
    void SetPriority(TThreadPriority Priority);

    // GUI thread: true while this thread's notifications run further up the stack. The thread
    // waits for them to return, so it must not be waited for from inside them.
    bool Dispatching() const { return FDispatching; }

private:
    void Execute();
    void Dispatch(std::uint32_t Events);
    void Report(TSerFailures Failures) noexcept;
    void ApplyOwnPriority();
    void ForgetThreadId();

    TSerCustomComm &FComm;
    TSerDevice &FDevice;
    std::atomic<bool> FTerminated = false;
    TSerWaitEvent FEnded;
    bool FDispatching = false; // GUI thread only

    std::mutex FPriorityLock; // guards the two below: the GUI thread changes them while we run
    TThreadPriority FPriority;
    std::optional<TSerThreadId> FThreadId;

    std::thread FThread;
};
