// The hand-over to the serving thread and the synchronisation wrappers it rests on.
#include "commfixture.h"
#include "serhandover.h"
#include "serobjects.h"
#include "serpriority.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sys/resource.h>
#include <thread>

TEST(SerHandOver, ACallReturnsOnlyAfterTheServingThreadRanIt)
{
    TSerHandOver handOver;
    std::thread::id ranOn;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        handOver.Call([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
        handOver.Notify();
    });
    EXPECT_TRUE(handOver.ServeUntil([&] { return returned.load(); }, 5s));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(handOver.ServeUntil([] { return false; }, 20ms));
    EXPECT_FALSE(handOver.Serve());
}

TEST(SerHandOver, AnInterruptibleCallReleasesItsWorkerOnceItRuns)
{
    TSerHandOver handOver;
    std::atomic<bool> interrupt = false;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        handOver.CallInterruptible([] {}, interrupt); // not interrupted: waited for
        handOver.CallInterruptible(
            [&] {
                // Still running on the serving thread (an error box, say) when the worker
                // is told to stop: the worker goes, the call runs on.
                interrupt = true;
                handOver.Notify();
                EXPECT_TRUE(handOver.ServeUntil([&] { return returned.load(); }, 5s));
            },
            interrupt);
        returned = true;
        handOver.Notify();
    });
    EXPECT_TRUE(handOver.ServeUntil([&] { return returned.load(); }, 5s));
    worker.join();
}

TEST(SerObjects, TheWaitEventIsManualResetAndTellsItsOutcome)
{
    TSerWaitEvent event;
    EXPECT_EQ(event.WaitFor(10), TSerWaitResult::wrTimeout);
    std::thread setter([&] { event.SetEvent(); });
    EXPECT_EQ(event.WaitFor(TSerWaitEvent::Infinite), TSerWaitResult::wrSignaled);
    setter.join();
    EXPECT_EQ(event.WaitFor(0), TSerWaitResult::wrSignaled); // stays signalled
    event.ResetEvent();
    EXPECT_EQ(event.WaitFor(0), TSerWaitResult::wrTimeout);
    EXPECT_EQ(static_cast<int>(TSerWaitResult::wrError), 3);

    TSerCriticalSection lock;
    lock.Enter();
    lock.Enter(); // the holder may enter again
    lock.Leave();
    lock.Leave();
}

TEST(SerPriority, AThreadIsGivenThePriorityOfItsName)
{
    int nice = 0;
    bool applied = false;
    std::thread thread([&] {
        const TSerThreadId self = SerCurrentThreadId();
        applied = SerSetThreadPriority(self, TThreadPriority::tpLower);
        errno = 0;
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    });
    thread.join();
    ASSERT_TRUE(applied); // lowering a priority needs no privilege
    EXPECT_EQ(nice, 5);
}
