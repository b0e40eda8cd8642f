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

// The tests of this file that share the program's port set-up.
using TSerFailing = TProgramPortTest;

TEST_F(TSerFailing, AFailureIsShownAfterItsNotificationAndClosingFromTheBoxNeverWaits)
{
    TReader reader(FComm);
    reader.Fail = true;
    bool handlerRan = true;
    bool closedInside = false;
    // The box's event loop runs a discovery tick, which closes the port: before, the tick
    // waited for the event thread, which waited for the box.
    TCaughtErrors errors([&] {
        handlerRan = !reader.Running && !reader.Counts.empty();
        FComm.Close();
        closedInside = !FComm.Active();
    });
    FComm.Open();

    FPty.Write("X\r");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"Unexpected Response X\r"});
    EXPECT_EQ(errors.Threads().front(), std::this_thread::get_id());
    EXPECT_TRUE(handlerRan) << "the box opened inside the notification";
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(FComm.Holds, 1);
}

TEST_F(TSerFailing, WhileTheBoxIsUpThePortAnnouncesNothingAndAfterItEverything)
{
    TReader reader(FComm);
    reader.Fail = true;
    std::size_t callsWhileShown = 0;
    TCaughtErrors errors([&] {
        reader.Fail = false;
        FPty.Write("more");
        // The box's loop serves whatever comes; the bytes arrive, their notification does not.
        WaitUntil([&] { return FComm.InQueCount() == 4; });
        TSerHandOver::Main().Serve();
        callsWhileShown = reader.Counts.size();
    });
    FComm.Open();

    FPty.Write("X\r");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "X\rmore"; }));
    EXPECT_EQ(callsWhileShown, 1u);
    EXPECT_EQ(reader.Counts.back(), 4);
    EXPECT_EQ(errors.Messages().size(), 1u);
}

TEST_F(TSerFailing, ABoundFailureHandlerTakesTheFailuresInsteadOfTheBox)
{
    TCaughtErrors errors;
    TReader reader(FComm);
    reader.Fail = true;
    std::vector<std::string> taken;
    FComm.OnNotifyException =
        TSerCommExceptionEvent(&FComm, [&](TSerCustomComm *Sender, std::exception_ptr Error) {
            EXPECT_EQ(Sender, &FComm);
            try {
                std::rethrow_exception(Error);
            } catch (const std::exception &e) {
                taken.emplace_back(e.what());
            }
        });
    FComm.Open();

    FPty.Write("Y\r");
    ASSERT_TRUE(ServeUntil([&] { return !taken.empty(); }));
    EXPECT_EQ(taken, std::vector<std::string>{"Unexpected Response Y\r"});
    EXPECT_TRUE(errors.Messages().empty());
}

TEST_F(TSerFailing, AHandlerThatClosesItsOwnPortDoesNotWaitForItself)
{
    int calls = 0;
    // A handler may not close its port; one that does so all the same (from a modal loop of its
    // own, say) must not hang the program.
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *Sender, int) {
        ++calls;
        Sender->Close();
    });
    FComm.Open();
    FPty.Write("a");
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    EXPECT_FALSE(FComm.Active());

    // The port opens again with a thread of its own, and the stopped thread is joined.
    FComm.Open();
    FPty.Write("b");
    ASSERT_TRUE(ServeUntil([&] { return calls == 2; }));
    EXPECT_FALSE(FComm.Active());
    EXPECT_EQ(FComm.Holds, 2);
}

TEST_F(TSerFailing, AVanishedDeviceIsReportedOnceAndIsThenLikeAClosedPort)
{
    TCaughtErrors errors;
    TReader reader(FComm);
    FComm.Open();
    FPty.Write("a");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "a"; }));

    FPty.CloseMaster();
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(),
              std::vector<std::string>{"Error retrieving statistics (5), Input/output error"});

    // Nothing raises again for the same loss: writes send nothing, purges and queries are empty.
    EXPECT_EQ(CommErrorOf([&] {
                  EXPECT_FALSE(FComm.WriteChar('N'));
                  FComm.PurgeWrite();
                  FComm.PurgeRead();
                  EXPECT_EQ(FComm.InQueCount(), 0);
              }),
              "");
    EXPECT_TRUE(FComm.Active());
    FComm.Close();
    EXPECT_FALSE(FComm.Active());
    EXPECT_EQ(errors.Messages().size(), 1u);
}

TEST_F(TSerFailing, TheFirstOperationToFindTheLossRaisesItAndNoOtherDoes)
{
    FComm.SetMonitorEvents({}); // no event thread that could find the loss first
    FComm.Open();
    FPty.CloseMaster();
    EXPECT_FALSE(FComm.DeviceLost());
    try {
        FComm.WriteChar('N');
        ADD_FAILURE() << "the write to a vanished device raised nothing";
    } catch (const ESerDeviceLost &Lost) {
        EXPECT_STREQ(Lost.what(), "Write error (5), Input/output error");
    }
    EXPECT_TRUE(FComm.DeviceLost());
    EXPECT_EQ(CommErrorOf([&] { FComm.PurgeReadWrite(); }), "");
    EXPECT_FALSE(FComm.WriteChar('N'));

    // Opened afresh, the next device is reported again when it goes.
    TPtyPair next;
    FComm.Close();
    EXPECT_FALSE(FComm.DeviceLost());
    FComm.SetDeviceName(next.SlavePath());
    FComm.Open();
    next.CloseMaster();
    EXPECT_EQ(CommErrorOf([&] { FComm.PurgeReadWrite(); }),
              "Error clearing buffers (5), Input/output error");
}

TEST_F(TSerFailing, AFailureOfTheEventThreadIsShownOnTheServingThreadAndTheThreadGoesOn)
{
    TCaughtErrors errors;
    std::atomic<int> wakeUps = 0;
    // The first hand-over of the event thread fails where the thread itself calls out.
    const TWakeUp wakeUp([&] {
        if (wakeUps++ == 0)
            throw std::runtime_error("the GUI thread cannot be woken");
    });
    TReader reader(FComm);
    FComm.Open();

    FPty.Write("ab");
    ASSERT_TRUE(ServeUntil([&] { return !errors.Messages().empty(); }));
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"the GUI thread cannot be woken"});
    EXPECT_EQ(errors.Threads().front(), std::this_thread::get_id());

    // The port still notifies, of the bytes left over too.
    FPty.Write("c");
    ASSERT_TRUE(ServeUntil([&] { return reader.Received == "abc"; }));
    FComm.Close();
}
