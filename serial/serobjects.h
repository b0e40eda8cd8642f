// The component's synchronisation wrappers: a manual-reset event and a re-entrant lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The outcomes of TSerWaitEvent::WaitFor, in the order of their values.
enum class TSerWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A manual-reset event: once set it stays signalled until it is reset.
class TSerWaitEvent {
public:
    static constexpr std::uint32_t Infinite = 0xFFFFFFFF; // the platform's INFINITE

    void SetEvent();
    void ResetEvent();
    // Waits at most Timeout milliseconds (Infinite: no limit) for the event to be signalled.
    TSerWaitResult WaitFor(std::uint32_t Timeout);
    // The error code of the last failed wait; the standard primitives never fail, so it stays 0.
    std::uint32_t LastError() const { return FLastError; }

private:
    std::mutex FMutex;
    std::condition_variable FCondition;
    bool FSignaled = false;
    std::uint32_t FLastError = 0;
};

// A lock that the thread holding it may enter again; it is free when every Enter was left.
class TSerCriticalSection {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }

    // For std::lock_guard and friends.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex FMutex;
};
