// The event thread: waits for the device's events and hands each batch to the GUI thread.
#pragma once

#include "serobjects.h"
#include "serpriority.h"
#include "sertypes.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

class TSerCustomComm;
class TSerDevice;

class TSerCommEventThread {
public:
    // The thread waits on Device, which must outlive it; Start lets it run.
    TSerCommEventThread(TSerCustomComm &Comm, TSerDevice &Device, TThreadPriority Priority);
    // Stops the thread and waits for its end (serving hand-overs meanwhile).
    ~TSerCommEventThread();
    TSerCommEventThread(const TSerCommEventThread &) = delete;
    TSerCommEventThread &operator=(const TSerCommEventThread &) = delete;

    void Start();
    // Any thread: asks the thread to end and wakes its wait. Never lost.
    void Stop();
    // GUI thread: serves hand-overs until the thread has ended, then joins it.
    void WaitFor();

    bool Terminated() const { return FTerminated; }
    void SetPriority(TThreadPriority Priority);

private:
    void Execute();
    void ApplyOwnPriority();
    void ForgetThreadId();

    TSerCustomComm &FComm;
    TSerDevice &FDevice;
    std::atomic<bool> FTerminated = false;
    TSerWaitEvent FEnded;

    std::mutex FPriorityLock; // guards the two below: the GUI thread changes them while we run
    TThreadPriority FPriority;
    std::optional<TSerThreadId> FThreadId;

    std::thread FThread;
};
