// Received bytes announced on the serving thread, and the event thread's start and stop.
#include "commfixture.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(SerNotify, ArrivingBytesAreAnnouncedOnTheServingThread)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TRxRecorder rx{comm};
    rx.Bind();
    comm.Open();

    pty.Write("IWRX\r");
    ASSERT_TRUE(ServeUntil([&] { return rx.Received.size() == 5; }));
    EXPECT_EQ(rx.Received, "IWRX\r");
    EXPECT_EQ(rx.Thread, std::this_thread::get_id());
    int total = 0;
    for (int count : rx.Counts)
        total += count;
    EXPECT_EQ(total, 5); // a burst may come in one or several notifications, never more bytes
}

TEST(SerNotify, UnreadBytesAreAnnouncedAgainOnlyWithTheNextArrival)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TRxRecorder rx{comm, 0};
    rx.Bind();
    comm.Open();

    pty.Write("abc");
    ASSERT_TRUE(ServeUntil([&] { return !rx.Counts.empty() && rx.Counts.back() == 3; }));
    const std::size_t notified = rx.Counts.size();
    EXPECT_FALSE(ServeUntil([&] { return rx.Counts.size() > notified; }, 300ms));

    rx.Take = -1;
    pty.Write("de");
    ASSERT_TRUE(ServeUntil([&] { return rx.Received.size() == 5; }));
    EXPECT_EQ(rx.Counts.back(), 5);
    EXPECT_EQ(rx.Received, "abcde");
}

TEST(SerNotify, AHandlerThatClearsItselfHearsNothingMore)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    int calls = 0;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *Sender, int) {
        ++calls;
        Sender->OnRxChar = {};
    });
    comm.Open();

    pty.Write("x");
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    pty.Write("y");
    ASSERT_TRUE(WaitUntil([&] { return comm.InQueCount() == 2; }));
    EXPECT_FALSE(ServeUntil([&] { return calls > 1; }, 200ms));
    EXPECT_EQ(calls, 1);
}

TEST(SerNotify, AHandlerExceptionIsReportedAndItsBytesStayCounted)
{
    TCaughtErrors errors;
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    std::vector<int> counts;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *, int Count) {
        counts.push_back(Count);
        if (counts.size() == 1)
            throw std::runtime_error("Unexpected Response ");
    });
    comm.Open();

    pty.Write("12");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"Unexpected Response "});
    pty.Write("3");
    ASSERT_TRUE(ServeUntil([&] { return counts.size() == 2 && counts.back() == 3; }));
}

TEST(SerNotify, WithoutMonitoredEventsNothingIsAnnounced)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.SetMonitorEvents({});
    int calls = 0;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *, int) { ++calls; });
    comm.Open();
    pty.Write("abc");
    EXPECT_FALSE(ServeUntil([&] { return calls > 0; }, 200ms));
    EXPECT_TRUE(WaitUntil([&] { return comm.InQueCount() == 3; }));
}

TEST(SerNotify, ANotificationOnItsWayRunsInsideCloseWithTheDeviceOpen)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    std::atomic<bool> queued = false;
    TSerHandOver::Main().SetWakeUp([&] { queued = true; });
    std::string received;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *Sender, int Count) {
        std::string bytes(static_cast<std::size_t>(Count), '\0');
        bytes.resize(static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count)));
        received += bytes;
    });
    comm.Open();

    pty.Write("late");
    // Wait without serving until the event thread has queued its hand-over.
    for (int i = 0; i < 500 && !queued; ++i)
        poll(nullptr, 0, 10);
    TSerHandOver::Main().SetWakeUp(nullptr);
    ASSERT_TRUE(queued);
    comm.Close();
    EXPECT_EQ(received.substr(0, 4), "late");
    EXPECT_FALSE(comm.Active());
}

TEST(SerNotify, AThousandOpenCloseCyclesUnderTrafficLoseNoStop)
{
    TPtyPair pty;
    std::atomic<bool> stop = false;
    std::thread traffic([&] {
        while (!stop) {
            pollfd room{pty.MasterFd(), POLLOUT, 0};
            if (poll(&room, 1, 20) > 0) {
                // Room comes and goes as the port opens and closes; a refused write is fine.
                [[maybe_unused]] const ssize_t put = write(pty.MasterFd(), "0123456789", 10);
            }
        }
    });

    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    std::size_t received = 0;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *Sender, int Count) {
        std::string bytes(static_cast<std::size_t>(Count), '\0');
        received += static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count));
    });
    for (int cycle = 0; cycle < 1000; ++cycle) {
        comm.Open();
        if (cycle % 10 == 0)
            ServeUntil([&] { return received > 0; }, 1ms);
        comm.Close();
    }
    stop = true;
    traffic.join();
    EXPECT_EQ(comm.Holds, 1000);
    EXPECT_GT(received, 0u); // the traffic did reach the handler
    EXPECT_FALSE(comm.Active());
}
