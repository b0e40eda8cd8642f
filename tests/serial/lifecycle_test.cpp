// Opening and closing: the errors of Open, the notifications, the pause after Close.
#include "commfixture.h"
#include "serdevicename.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The tests of this file that share the program's port set-up.
using TSerOpenPort = TProgramPortTest;

TEST(SerOpen, AMissingDeviceIsNamedInTheMessage)
{
    TQuickComm comm;
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }), "Specified device not found (/dev/COM0).");
    comm.SetDeviceName("ttyZarnellMissing%d");
    comm.SetPortNum(7);
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }),
              "Specified device not found (/dev/ttyZarnellMissing7).");
    comm.SetDeviceName("zarnell-100%%-missing");
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }),
              "Specified device not found (/dev/zarnell-100%-missing).");
    EXPECT_FALSE(comm.Active());
}

TEST(SerOpen, ANameThatDoesNotFitOneNumberFailsBeforeAnyDevice)
{
    TQuickComm comm;
    comm.SetDeviceName("COM%s");
    try {
        comm.Open();
        FAIL() << "Open succeeded";
    } catch (const ESerCommError &) {
        FAIL() << "the formatter's own error was expected";
    } catch (const std::runtime_error &) {
    }
    EXPECT_FALSE(comm.Active());
}

TEST(SerOpen, ThePrefixedNameOfTheSetupWindowOpens)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, SerPortDeviceName(pty.SlavePath()));
    comm.Open();
    EXPECT_EQ(comm.GetDevicePath(), pty.SlavePath());
    EXPECT_TRUE(comm.Active());
}

TEST(SerOpen, ABusyDeviceIsRefusedUntilItsHolderLetsGo)
{
    TPtyPair pty;
    const std::string busy = "Can't open specified device " + pty.SlavePath() +
                             " (Error 11, Resource temporarily unavailable)";
    TQuickComm holder;
    UseProgramSettings(holder, pty.SlavePath());
    holder.Open();

    TQuickComm second;
    UseProgramSettings(second, pty.SlavePath());
    EXPECT_EQ(CommErrorOf([&] { second.Open(); }), busy);
    EXPECT_FALSE(second.Active());
    holder.Close();
    second.Open();
    second.Close();

    // Another program holding the lock keeps us out as well.
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(CommErrorOf([&] { second.Open(); }), busy);
    close(other);
    second.Open();
    EXPECT_TRUE(second.Active());
}

TEST_F(TSerOpenPort, OpenAndCloseRaiseTheirNotificationsOnce)
{
    int opened = 0;
    int closed = 0;
    FComm.OnOpen = TNotifyEvent(&FComm, [&](TSerCustomComm *Sender) {
        EXPECT_EQ(Sender, &FComm);
        EXPECT_TRUE(FComm.Active());
        ++opened;
    });
    FComm.OnClose = TNotifyEvent(&FComm, [&](TSerCustomComm *) {
        EXPECT_FALSE(FComm.Active());
        ++closed;
    });
    FComm.Open();
    FComm.Close();
    FComm.Close(); // closed already: nothing, no pause
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(FComm.Holds, 1);
}

TEST_F(TSerOpenPort, HandlerExceptionsOfOpenAreReportedAndOfCloseRaised)
{
    TCaughtErrors errors;
    FComm.OnOpen =
        TNotifyEvent(&FComm, [](TSerCustomComm *) { throw std::runtime_error("open handler"); });
    FComm.OnClose =
        TNotifyEvent(&FComm, [](TSerCustomComm *) { throw std::runtime_error("close handler"); });
    FComm.Open();
    EXPECT_TRUE(FComm.Active());
    EXPECT_EQ(errors.Messages(), std::vector<std::string>{"open handler"});
    EXPECT_THROW(FComm.Close(), std::runtime_error);
    EXPECT_FALSE(FComm.Active());
    EXPECT_EQ(FComm.Holds, 0);
}

TEST(SerOpen, CloseHoldsTheCallerForThreeHundredMilliseconds)
{
    TPtyPair pty;
    TSerComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Open();
    const auto start = std::chrono::steady_clock::now();
    comm.Close();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

TEST(SerOpen, DestroyingAnOpenPortClosesItWithoutOnClose)
{
    TPtyPair pty;
    bool closed = false;
    {
        TQuickComm comm;
        UseProgramSettings(comm, pty.SlavePath());
        comm.OnClose = TNotifyEvent(&comm, [&](TSerCustomComm *) { closed = true; });
        comm.Open();
    }
    EXPECT_FALSE(closed);
    TQuickComm again; // the device was let go
    UseProgramSettings(again, pty.SlavePath());
    again.Open();
    EXPECT_TRUE(again.Active());
}
