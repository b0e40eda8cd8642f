// The synchronous hand-over of calls from worker threads to the GUI thread.
//
// A worker thread queues a call with Call and blocks until the GUI thread has run it through
// Serve. The GUI side learns that something waits through the wake-up callback, which the
// program installs (the Qt adapter queues a Serve on the application object, so every event
// loop, modal ones included, serves it).
//
// A served call may open a modal loop: an error box for a failure of a notification. Inside
// that loop timers tick, and a tick may close the port, which waits for the worker to end. So
// that the two never wait for each other, a worker reports failures with CallInterruptible: once
// that call has started, the worker's own stop request releases the worker, while the box stays
// up until the user closes it. The event thread dispatches with Call, which opens no box, and
// reports what the dispatch raised with CallInterruptible.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

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

    // Worker side: runs Fn on the serving thread and returns when it has run. Fn should not
    // throw; what it throws all the same goes to the application's exception handler.
    void Call(std::function<void()> Fn);

    // Worker side: like Call, but once Fn has started on the serving thread, Interrupt being set
    // (followed by Notify) ends the wait at once; Fn then runs on to its end without the worker.
    // A call that has not started yet is always waited for.
    void CallInterruptible(std::function<void()> Fn, const std::atomic<bool> &Interrupt);

    // Any thread: queues Fn to run on the serving thread and returns at once; nobody waits for
    // it. For news that a thread brings when it is done, such as a device that has opened.
    void Post(std::function<void()> Fn);

    // GUI side: runs every queued call; true when at least one ran.
    bool Serve();

    // GUI side: serves calls until Done() is true. Done is tested whenever a call has run and
    // whenever Notify is called, so a worker that ends calls Notify as its last act.
    void ServeUntil(const std::function<bool()> &Done);

    // GUI side, for tests and tools without an event loop: serves calls until Done() is true
    // or the time-out passes; true when Done() became true.
    bool ServeUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout);

    // Wakes a ServeUntil so that it tests its condition again, and a CallInterruptible so that
    // it tests its interrupt.
    void Notify();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
