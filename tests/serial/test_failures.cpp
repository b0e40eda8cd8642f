// What the component does when notifications fail, when the device vanishes and when the event
// thread itself fails: shown on the serving thread after the notification, never waiting for
// each other, and a vanished device reported once.
#include "commfixture.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

// A notification handler that reads what it is told of and counts its calls and bytes.
struct TReader {
    explicit TReader(TSerCustomComm &Comm)
        : Comm(Comm)
    {
        Comm.OnRxChar = TSerCommRxCharEvent(this, [this](TSerCustomComm *Sender, int Count) {
            Running = true;
            Counts.push_back(Count);
            std::string bytes(static_cast<std::size_t>(Count), '\0');
            bytes.resize(static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count)));
            Received += bytes;
            Running = false;
            if (Fail)
                throw std::runtime_error("Unexpected Response " + bytes);
        });
    }

    TSerCustomComm &Comm;
    bool Fail = false;
    bool Running = false;
    std::vector<int> Counts;
    std::string Received;
};

// The wake-up of the serving thread for the length of a test.
class TWakeUp {
public:
    explicit TWakeUp(std::function<void()> WakeUp)
    {
        TSerHandOver::Main().SetWakeUp(std::move(WakeUp));
    }
    ~TWakeUp() { TSerHandOver::Main().SetWakeUp(nullptr); }
    TWakeUp(const TWakeUp &) = delete;
    TWakeUp &operator=(const TWakeUp &) = delete;
};

} // namespace

TEST(SerFailures, AFailureIsShownAfterItsNotificationAndClosingFromTheBoxNeverWaits)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TReader reader(comm);
    reader.Fail = true;
    bool handlerRan = true;
    bool closedInside = false;
    // The box's event loop runs a discovery tick, which closes the port: before, the tick
    // waited for the event thread, which waited for the box.
    TCaughtErrors errors([&] {
        handlerRan = !reader.Running && !reader.Counts.empty();
        comm.Close();
        closedInside = !comm.Active();
    });
    comm.Open();

    pty.Write("X\r");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"Unexpected Response X\r"});
    EXPECT_EQ(errors.Threads().front(), std::this_thread::get_id());
    EXPECT_TRUE(handlerRan) << "the box opened inside the notification";
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(comm.Holds, 1);
}

TEST(SerFailures, WhileTheBoxIsUpThePortAnnouncesNothingAndAfterItEverything)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TReader reader(comm);
    reader.Fail = true;
    std::size_t callsWhileShown = 0;
    TCaughtErrors errors([&] {
        reader.Fail = false;
        pty.Write("more");
        // The box's loop serves whatever comes; the bytes arrive, their notification does not.
        WaitUntil([&] { return comm.InQueCount() == 4; });
        TSerHandOver::Main().Serve();
        callsWhileShown = reader.Counts.size();
    });
    comm.Open();

    pty.Write("X\r");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "X\rmore"; }));
    EXPECT_EQ(callsWhileShown, 1u);
    EXPECT_EQ(reader.Counts.back(), 4);
    EXPECT_EQ(errors.Messages().size(), 1u);
}

TEST(SerFailures, ABoundFailureHandlerTakesTheFailuresInsteadOfTheBox)
{
    TCaughtErrors errors;
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TReader reader(comm);
    reader.Fail = true;
    std::vector<std::string> taken;
    comm.OnNotifyException =
        TSerCommExceptionEvent(&comm, [&](TSerCustomComm *Sender, std::exception_ptr Error) {
            EXPECT_EQ(Sender, &comm);
            try {
                std::rethrow_exception(Error);
            } catch (const std::exception &e) {
                taken.emplace_back(e.what());
            }
        });
    comm.Open();

    pty.Write("Y\r");
    ASSERT_TRUE(ServeUntil([&] { return !taken.empty(); }));
    EXPECT_EQ(taken, std::vector<std::string>{"Unexpected Response Y\r"});
    EXPECT_TRUE(errors.Messages().empty());
}

TEST(SerFailures, AHandlerThatClosesItsOwnPortDoesNotWaitForItself)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    int calls = 0;
    // A handler may not close its port; one that does so all the same (from a modal loop of its
    // own, say) must not hang the program.
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *Sender, int) {
        ++calls;
        Sender->Close();
    });
    comm.Open();
    pty.Write("a");
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    EXPECT_FALSE(comm.Active());

    // The port opens again with a thread of its own, and the stopped thread is joined.
    comm.Open();
    pty.Write("b");
    ASSERT_TRUE(ServeUntil([&] { return calls == 2; }));
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(comm.Holds, 2);
}

TEST(SerFailures, AVanishedDeviceIsReportedOnceAndIsThenLikeAClosedPort)
{
    TCaughtErrors errors;
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TReader reader(comm);
    comm.Open();
    pty.Write("a");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "a"; }));

    pty.CloseMaster();
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(),
              std::vector<std::string>{"Error retrieving statistics (5), Input/output error"});

    // Nothing raises again for the same loss: writes send nothing, purges and queries are empty.
    EXPECT_EQ(CommErrorOf([&] {
                  EXPECT_FALSE(comm.WriteChar('N'));
                  comm.PurgeWrite();
                  comm.PurgeRead();
                  EXPECT_EQ(comm.InQueCount(), 0);
              }),
              "");
    EXPECT_TRUE(comm.Active());
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(errors.Messages().size(), 1u);
}

TEST(SerFailures, TheFirstOperationToFindTheLossRaisesItAndNoOtherDoes)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.SetMonitorEvents({}); // no event thread that could find the loss first
    comm.Open();
    pty.CloseMaster();
    EXPECT_EQ(CommErrorOf([&] { comm.WriteChar('N'); }), "Write error (5), Input/output error");
    EXPECT_EQ(CommErrorOf([&] { comm.PurgeReadWrite(); }), "");
    EXPECT_FALSE(comm.WriteChar('N'));

    // Opened afresh, the next device is reported again when it goes.
    TPtyPair next;
    comm.Close();
    comm.SetDeviceName(next.SlavePath());
    comm.Open();
    next.CloseMaster();
    EXPECT_EQ(CommErrorOf([&] { comm.PurgeReadWrite(); }),
              "Error clearing buffers (5), Input/output error");
}

TEST(SerFailures, AFailureOfTheEventThreadIsShownOnTheServingThreadAndTheThreadGoesOn)
{
    TCaughtErrors errors;
    std::atomic<int> wakeUps = 0;
    // The first hand-over of the event thread fails where the thread itself calls out.
    const TWakeUp wakeUp([&] {
        if (wakeUps++ == 0)
            throw std::runtime_error("the GUI thread cannot be woken");
    });
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    TReader reader(comm);
    comm.Open();

    pty.Write("ab");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"the GUI thread cannot be woken"});
    EXPECT_EQ(errors.Threads().front(), std::this_thread::get_id());

    // The port still notifies, of the bytes left over too.
    pty.Write("c");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "abc"; }));
    comm.Close();
}
