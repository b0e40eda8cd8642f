// Opening and closing: the errors of Open, the notifications, the pause after Close.
#include "commfixture.h"
#include "serdevicename.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The line settings of the pty's slave as they stand, read from the master's side.
termios SlaveSettings(const TPtyPair &Pty)
{
    termios settings{};
    EXPECT_EQ(tcgetattr(Pty.MasterFd(), &settings), 0);
    return settings;
}

} // namespace

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

    // Another program holding the lock keeps us out as well, and its tty stays as it was:
    // nobody else is kept out of it on our account.
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(CommErrorOf([&] { second.Open(); }), busy);
    int exclusive = -1;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    // One that marks the tty as its own keeps us out too (root gets through the mark, and then
    // refuses): what that program has sent and nobody has read yet is not discarded.
    ASSERT_EQ(flock(other, LOCK_UN), 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    ASSERT_EQ(write(other, "kept", 4), 4);
    EXPECT_EQ(CommErrorOf([&] { second.Open(); }), "Can't open specified device " +
                                                       pty.SlavePath() +
                                                       " (Error 16, Device or resource busy)");
    EXPECT_EQ(pty.Read(4, 1s), "kept");
    ASSERT_EQ(ioctl(other, TIOCNXCL), 0);
    close(other);
    second.Open();
    EXPECT_TRUE(second.Active());
}

// Serial terminals mark a tty as theirs with a lock file in /var/lock that holds their process
// id, as text or, from older programs, in four bytes. A live owner's tty is not even opened; a
// lock left by a process that has ended is not one, and neither is anything in the lock file's
// place that is not a plain file: anyone may write the lock folder.
TEST(SerOpen, ATtyThatALiveProcessHasLockedIsLeftAsItWas)
{
    TPtyPair pty;
    const std::string lockFile = "/var/lock/LCK.." + pty.SlavePath().substr(5).replace(3, 1, "_");
    struct TLockFile {
        std::string Path;
        ~TLockFile() { std::remove(Path.c_str()); }
    } lock{lockFile}, elsewhere{lockFile + ".elsewhere"};
    std::ofstream(elsewhere.Path) << "1\n";
    const auto binary = [](std::int32_t Pid) {
        return std::string(reinterpret_cast<const char *>(&Pid), sizeof Pid);
    };
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    enum TLockKind { lkFile, lkFifo, lkLink };
    const struct {
        TLockKind Kind;
        std::string Owner;
        bool Opens;
    } cases[] = {{lkFile, "1\n", false},
                 {lkFile, "         1 minicom root\n", false},
                 {lkFile, "  2147483647\n", true},
                 {lkFile, "garbage\n", true},
                 {lkFile, binary(1), false},
                 {lkFile, binary(INT32_MAX), true},
                 {lkFifo, "", true},
                 {lkLink, "", true}};
    for (const auto &c : cases) {
        std::remove(lockFile.c_str());
        if (c.Kind == lkFifo)
            ASSERT_EQ(mkfifo(lockFile.c_str(), 0600), 0);
        else if (c.Kind == lkLink)
            ASSERT_EQ(symlink(elsewhere.Path.c_str(), lockFile.c_str()), 0);
        else
            std::ofstream(lockFile, std::ios::binary) << c.Owner;
        const termios before = SlaveSettings(pty);
        if (c.Opens) {
            comm.Open();
            EXPECT_TRUE(comm.Active()) << c.Owner;
            comm.Close();
        } else {
            EXPECT_EQ(CommErrorOf([&] { comm.Open(); }),
                      "Can't open specified device " + pty.SlavePath() +
                          " (Error 16, Device or resource busy: locked by process 1 in " +
                          lockFile + ")");
            const termios after = SlaveSettings(pty);
            EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after)) << "reconfigured";
        }
    }
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
