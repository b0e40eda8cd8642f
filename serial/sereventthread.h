// The event thread: waits for the device's events and hands each batch to the GUI thread.
#pragma once

#include "serobjects.h"
#include "serpriority.h"
#include "sertypes.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

class TSerCustomComm;
class TSerDevice;

// What one dispatch of notifications raised, in order.
using TSerFailures = std::vector<std::exception_ptr>;

class TSerCommEventThread {
public:
    // How long the GUI thread waits for the thread to end once it has been stopped.
    static constexpr std::chrono::milliseconds StopBound{200};

    // The thread waits on Device and keeps it until it has ended; Start lets it run.
    TSerCommEventThread(TSerCustomComm &Comm, const std::shared_ptr<TSerDevice> &Device,
                        TThreadPriority Priority);
    // Stops the thread and waits for it as WaitFor does.
    ~TSerCommEventThread();
    TSerCommEventThread(const TSerCommEventThread &) = delete;
    TSerCommEventThread &operator=(const TSerCommEventThread &) = delete;

    void Start();
    // Any thread: asks the thread to end and wakes its wait, also a wait for a failure's report
    // to be closed. Never lost.
    void Stop();
    // GUI thread: serves hand-overs until the thread has ended, for StopBound at most, and joins
    // it. A thread that is still running then, or that keeps a wait which its driver did not give
    // back, is never joined: it ends by itself, with what it uses, and the calls that it hands
    // over from then on do nothing.
    void WaitFor();

    bool Terminated() const;
    void SetPriority(TThreadPriority Priority);

    // GUI thread: true while this thread's notifications run further up the stack. The thread
    // waits for them to return, so it must not be waited for from inside them.
    bool Dispatching() const;

private:
    struct TState;
    static void Execute(std::shared_ptr<TState> State, std::shared_ptr<TSerDevice> Device);
    static void Dispatch(const std::shared_ptr<TState> &State, std::uint32_t Events);
    static void Report(const std::shared_ptr<TState> &State, TSerFailures Failures) noexcept;

    // Shared with the running thread, which may outlive this object.
    std::shared_ptr<TState> FState;
    std::thread FThread;
};
