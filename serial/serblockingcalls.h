// One thread's blocking system calls, as another thread may cancel them where the platform lets
// it. Windows ends a CreateFile that waits for its driver when the driver allows it
// (CancelSynchronousIo). On POSIX systems only a signal ends a blocking open() of a tty early,
// and a component must not take a signal away from the program, so there the call runs on to
// its end.
#pragma once

#include <memory>

class TSerBlockingCalls {
public:
    // Those of the calling thread.
    TSerBlockingCalls();
    ~TSerBlockingCalls();
    TSerBlockingCalls(const TSerBlockingCalls &) = delete;
    TSerBlockingCalls &operator=(const TSerBlockingCalls &) = delete;

    // Any thread: cancels the call that the thread is blocked in, if any and if it can be; true
    // when one was cancelled.
    bool Cancel();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
