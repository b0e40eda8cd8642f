// Received bytes announced on the serving thread, and the event thread's start and stop.
#include "commfixture.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// Records each OnRxChar: its Count and thread; reads Take bytes of it (all when negative).
struct TRxRecorder {
    TRxRecorder(TSerCustomComm &Comm, int Take = -1)
        : Comm(Comm)
        , Take(Take)
    {
    }

    TSerCustomComm &Comm;
    int Take;
    std::vector<int> Counts;
    std::string Received;
    std::thread::id Thread;

    void Bind()
    {
        Comm.OnRxChar = TSerCommRxCharEvent(this, [this](TSerCustomComm *, int Count) {
            Counts.push_back(Count);
            Thread = std::this_thread::get_id();
            const int take = Take < 0 ? Count : std::min(Take, Count);
            for (int i = 0; i < take; ++i) {
                std::uint8_t ch = 0;
                if (Comm.ReadChar(ch))
                    Received += static_cast<char>(ch);
            }
        });
    }
};

} // namespace

// The tests of this file that share the program's port set-up.
using TSerNotify = TProgramPortTest;

TEST_F(TSerNotify, ArrivingBytesAreAnnouncedOnTheServingThread)
{
    TRxRecorder rx{FComm};
    rx.Bind();
    FComm.Open();

    FPty.Write("IWRX\r");
    ASSERT_TRUE(ServeUntil([&] { return rx.Received.size() == 5; }));
    EXPECT_EQ(rx.Received, "IWRX\r");
    EXPECT_EQ(rx.Thread, std::this_thread::get_id());
    int total = 0;
    for (int count : rx.Counts)
        total += count;
    EXPECT_EQ(total, 5); // a burst may come in one or several notifications, never more bytes
}

TEST_F(TSerNotify, UnreadBytesAreAnnouncedAgainOnlyWithTheNextArrival)
{
    TRxRecorder rx{FComm, 0};
    rx.Bind();
    FComm.Open();

    FPty.Write("abc");
    ASSERT_TRUE(ServeUntil([&] { return !rx.Counts.empty() && rx.Counts.back() == 3; }));
    const std::size_t notified = rx.Counts.size();
    EXPECT_FALSE(ServeUntil([&] { return rx.Counts.size() > notified; }, 300ms));

    rx.Take = -1;
    FPty.Write("de");
    ASSERT_TRUE(ServeUntil([&] { return rx.Received.size() == 5; }));
    EXPECT_EQ(rx.Counts.back(), 5);
    EXPECT_EQ(rx.Received, "abcde");
    // One event thread hands the notifications over in order, so an announcement of the unread
    // bytes, however late, would have come before this one.
    EXPECT_EQ(rx.Counts.size(), notified + 1);
}

TEST_F(TSerNotify, AHandlerThatClearsItselfHearsNothingMore)
{
    THandOverCounter handOvers;
    int calls = 0;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *Sender, int) {
        ++calls;
        Sender->OnRxChar = {};
    });
    FComm.Open();

    FPty.Write("x");
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    const int handedOver = handOvers.Count();
    FPty.Write("y");
    ASSERT_TRUE(WaitUntil([&] { return FComm.InQueCount() == 2; }));
    EXPECT_FALSE(ServeUntil([&] { return calls > 1; }, 200ms));
    // The notification of "y" is handed over and served all the same, to nobody.
    ASSERT_TRUE(handOvers.ServeBeyond(handedOver));
    EXPECT_EQ(calls, 1);
    FComm.Close(); // the event thread ends before the counter goes
}

TEST_F(TSerNotify, AHandlerExceptionIsReportedAndItsBytesStayCounted)
{
    TCaughtErrors errors;
    std::vector<int> counts;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *, int Count) {
        counts.push_back(Count);
        if (counts.size() == 1)
            throw std::runtime_error("Unexpected Response ");
    });
    FComm.Open();

    FPty.Write("12");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"Unexpected Response "});
    FPty.Write("3");
    ASSERT_TRUE(ServeUntil([&] { return counts.size() == 2 && counts.back() == 3; }));
}

TEST_F(TSerNotify, WithoutMonitoredEventsNothingIsAnnounced)
{
    THandOverCounter handOvers;
    FComm.SetMonitorEvents({});
    int calls = 0;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *, int) { ++calls; });
    FComm.Open();
    FPty.Write("abc");
    EXPECT_FALSE(ServeUntil([&] { return calls > 0; }, 200ms));
    EXPECT_TRUE(WaitUntil([&] { return FComm.InQueCount() == 3; }));
    // Close ends any event thread, serving what it still hands over: nothing can come after it.
    FComm.Close();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(handOvers.Count(), 0);
}

TEST_F(TSerNotify, ANotificationOnItsWayRunsInsideCloseWithTheDeviceOpen)
{
    std::mutex lock;
    std::condition_variable wokenUp;
    bool queued = false;
    TSerHandOver::Main().SetWakeUp([&] {
        std::lock_guard guard(lock);
        queued = true;
        wokenUp.notify_all();
    });
    std::string received;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *Sender, int Count) {
        std::string bytes(static_cast<std::size_t>(Count), '\0');
        bytes.resize(static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count)));
        received += bytes;
    });
    FComm.Open();

    FPty.Write("late");
    // Wait without serving until the event thread has queued its hand-over.
    {
        std::unique_lock guard(lock);
        wokenUp.wait_for(guard, 5s, [&] { return queued; });
    }
    TSerHandOver::Main().SetWakeUp(nullptr);
    ASSERT_TRUE(queued);
    FComm.Close();
    EXPECT_EQ(received.substr(0, 4), "late");
    EXPECT_FALSE(FComm.Active());
}

TEST_F(TSerNotify, AThousandOpenCloseCyclesUnderTrafficLoseNoStop)
{
    std::atomic<bool> stop = false;
    std::thread traffic([&] {
        while (!stop) {
            pollfd room{FPty.MasterFd(), POLLOUT, 0};
            if (poll(&room, 1, 20) > 0) {
                // Room comes and goes as the port opens and closes; a refused write is fine.
                [[maybe_unused]] const ssize_t put = write(FPty.MasterFd(), "0123456789", 10);
            }
        }
    });

    std::size_t received = 0;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *Sender, int Count) {
        std::string bytes(static_cast<std::size_t>(Count), '\0');
        received += static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count));
    });
    for (int cycle = 0; cycle < 1000; ++cycle) {
        FComm.Open();
        if (cycle % 10 == 0)
            ServeUntil([&] { return received > 0; }, 1ms);
        FComm.Close();
    }
    stop = true;
    traffic.join();
    EXPECT_EQ(FComm.Holds, 1000);
    EXPECT_GT(received, 0u); // the traffic did reach the handler
    EXPECT_FALSE(FComm.Active());
}
