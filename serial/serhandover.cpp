#include "serhandover.h"

#include "serapplication.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// One queued call; the worker waits until Done is set by the serving thread.
struct TRequest {
    const std::function<void()> *Fn = nullptr;
    bool Done = false;
};

} // namespace

struct TSerHandOver::TImpl {
    std::mutex Mutex;
    std::condition_variable Changed; // a call was queued or ran, or Notify was called
    std::deque<TRequest *> Queue;
    std::function<void()> WakeUp;
    std::uint64_t Notifications = 0;

    // Takes the oldest queued call, or nothing.
    TRequest *Take()
    {
        std::lock_guard lock(Mutex);
        if (Queue.empty())
            return nullptr;
        TRequest *request = Queue.front();
        Queue.pop_front();
        return request;
    }

    void Finish(TRequest *Request)
    {
        std::lock_guard lock(Mutex);
        Request->Done = true;
        Changed.notify_all();
    }

    std::uint64_t NotificationCount()
    {
        std::lock_guard lock(Mutex);
        return Notifications;
    }

    // Waits until a call is queued or Notify is called after Seen was read; false on time-out.
    template <typename Clock>
    bool WaitForWork(std::uint64_t Seen, const std::chrono::time_point<Clock> *Deadline)
    {
        std::unique_lock lock(Mutex);
        const auto work = [&] { return !Queue.empty() || Notifications != Seen; };
        if (Deadline == nullptr) {
            Changed.wait(lock, work);
            return true;
        }
        return Changed.wait_until(lock, *Deadline, work);
    }
};

TSerHandOver &TSerHandOver::Main()
{
    static TSerHandOver main;
    return main;
}

TSerHandOver::TSerHandOver()
    : FImpl(std::make_unique<TImpl>())
{
}

TSerHandOver::~TSerHandOver() = default;

void TSerHandOver::SetWakeUp(std::function<void()> WakeUp)
{
    std::lock_guard lock(FImpl->Mutex);
    FImpl->WakeUp = std::move(WakeUp);
}

void TSerHandOver::Call(const std::function<void()> &Fn)
{
    TRequest request{&Fn};
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(FImpl->Mutex);
        FImpl->Queue.push_back(&request);
        wakeUp = FImpl->WakeUp;
        FImpl->Changed.notify_all();
    }
    if (wakeUp)
        wakeUp();
    std::unique_lock lock(FImpl->Mutex);
    FImpl->Changed.wait(lock, [&] { return request.Done; });
}

bool TSerHandOver::Serve()
{
    bool ran = false;
    while (TRequest *request = FImpl->Take()) {
        // A call that throws despite its contract must still release its worker.
        try {
            (*request->Fn)();
        } catch (...) {
            SerHandleException(std::current_exception());
        }
        FImpl->Finish(request);
        ran = true;
    }
    return ran;
}

void TSerHandOver::ServeUntil(const std::function<bool()> &Done)
{
    for (;;) {
        const std::uint64_t seen = FImpl->NotificationCount();
        Serve();
        if (Done())
            return;
        FImpl->WaitForWork<std::chrono::steady_clock>(seen, nullptr);
    }
}

bool TSerHandOver::ServeUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
        const std::uint64_t seen = FImpl->NotificationCount();
        Serve();
        if (Done())
            return true;
        if (!FImpl->WaitForWork(seen, &deadline)) {
            Serve();
            return Done();
        }
    }
}

void TSerHandOver::Notify()
{
    std::lock_guard lock(FImpl->Mutex);
    ++FImpl->Notifications;
    FImpl->Changed.notify_all();
}
