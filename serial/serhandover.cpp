#include "serhandover.h"

#include "serapplication.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// One queued call. The queue and the serving thread share it with the worker, so that a worker
// that was released early leaves nothing behind that the serving thread still needs.
struct TRequest {
    std::function<void()> Fn;
    bool Started = false;
    bool Done = false;
};

using TRequestPtr = std::shared_ptr<TRequest>;

} // namespace

struct TSerHandOver::TImpl {
    std::mutex Mutex;
    std::condition_variable Changed; // a call was queued, started or ran, or Notify was called
    std::deque<TRequestPtr> Queue;
    std::function<void()> WakeUp;
    std::uint64_t Notifications = 0;

    // Takes the oldest queued call and marks it started, or gives nothing.
    TRequestPtr Take()
    {
        std::lock_guard lock(Mutex);
        if (Queue.empty())
            return nullptr;
        TRequestPtr request = std::move(Queue.front());
        Queue.pop_front();
        request->Started = true;
        Changed.notify_all();
        return request;
    }

    void Finish(TRequest &Request)
    {
        std::lock_guard lock(Mutex);
        Request.Done = true;
        Changed.notify_all();
    }

    std::uint64_t NotificationCount()
    {
        std::lock_guard lock(Mutex);
        return Notifications;
    }

    // Queues Request and tells the serving side; a wake-up that fails takes the call back
    // unless it has started already, and then it is waited for.
    void Enqueue(const TRequestPtr &Request)
    {
        std::function<void()> wakeUp;
        {
            std::lock_guard lock(Mutex);
            Queue.push_back(Request);
            wakeUp = WakeUp;
            Changed.notify_all();
        }
        if (!wakeUp)
            return;
        try {
            wakeUp();
        } catch (...) {
            std::unique_lock lock(Mutex);
            const auto queued = std::find(Queue.begin(), Queue.end(), Request);
            if (queued != Queue.end())
                Queue.erase(queued);
            else
                Changed.wait(lock, [&] { return Request->Done; });
            throw;
        }
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

void TSerHandOver::Call(std::function<void()> Fn)
{
    const auto request = std::make_shared<TRequest>(TRequest{std::move(Fn)});
    FImpl->Enqueue(request);
    std::unique_lock lock(FImpl->Mutex);
    FImpl->Changed.wait(lock, [&] { return request->Done; });
}

void TSerHandOver::CallInterruptible(std::function<void()> Fn, const std::atomic<bool> &Interrupt)
{
    const auto request = std::make_shared<TRequest>(TRequest{std::move(Fn)});
    FImpl->Enqueue(request);
    std::unique_lock lock(FImpl->Mutex);
    FImpl->Changed.wait(lock, [&] { return request->Done || (request->Started && Interrupt); });
}

void TSerHandOver::Post(std::function<void()> Fn)
{
    FImpl->Enqueue(std::make_shared<TRequest>(TRequest{std::move(Fn)}));
}

bool TSerHandOver::Serve()
{
    bool ran = false;
    while (const TRequestPtr request = FImpl->Take()) {
        // A call that throws despite its contract must still release its worker.
        try {
            request->Fn();
        } catch (...) {
            SerHandleException(std::current_exception());
        }
        FImpl->Finish(*request);
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
