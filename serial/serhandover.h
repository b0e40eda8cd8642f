// The synchronous hand-over of calls from worker threads to the GUI thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A worker thread queues a call with Call and blocks until the GUI thread has run it through
// Serve. The GUI side learns that something waits through the wake-up callback, which the
// program installs (the Qt adapter queues a Serve on the application object, so every event
// loop, modal ones included, serves it).
class TSerHandOver {
public:
    // The queue of the program's GUI thread.
    static TSerHandOver &Main();

    TSerHandOver();
    ~TSerHandOver();
    TSerHandOver(const TSerHandOver &) = delete;
    TSerHandOver &operator=(const TSerHandOver &) = delete;

    // Installed by the program; called from the worker thread whenever a call is queued.
    void SetWakeUp(std::function<void()> WakeUp);

    // Worker side: runs Fn on the serving thread and returns when it has run. Fn must not
    // throw; the caller guards it.
    void Call(const std::function<void()> &Fn);

    // GUI side: runs every queued call; true when at least one ran.
    bool Serve();

    // GUI side: serves calls until Done() is true. Done is tested whenever a call has run and
    // whenever Notify is called, so a worker that ends calls Notify as its last act.
    void ServeUntil(const std::function<bool()> &Done);

    // GUI side, for tests and tools without an event loop: serves calls until Done() is true
    // or the time-out passes; true when Done() became true.
    bool ServeUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout);

    // Wakes a ServeUntil so that it tests its condition again.
    void Notify();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
