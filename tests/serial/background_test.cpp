// Opening and closing without waiting: the device opens on a thread of its own and is handed
// over on the serving thread; an open that is given up closes its device when its open
// returns, without a byte written; a close in the background lets the next open of the same
// device wait for it. Slow opens are real: the test process runs with the slow-ports library
// preloaded (tests/support/slowports_linux.cpp), which delays open() of the paths in
// ZARNELL_SLOW_OPEN.
#include "commfixture.h"
#include "exceptiontext.h"
#include "lineprobe.h"
#include "seropentimes.h"
#include "slowports.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// How many descriptors of this process are open on the tty at Path.
int DescriptorsOn(const std::string &Path)
{
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code unreadable;
        if (std::filesystem::read_symlink(entry.path(), unreadable) == Path)
            ++count;
    }
    return count;
}

// The end of one open in the background, as its Opened handler saw it.
struct TOpened {
    bool Called = false;
    std::exception_ptr Error;
    std::thread::id Thread;

    TSerOpenedEvent Handler()
    {
        return TSerOpenedEvent(this, [this](TSerCustomComm *, std::exception_ptr Failure) {
            Called = true;
            Error = Failure;
            Thread = std::this_thread::get_id();
        });
    }
};

} // namespace

using TSerBackground = TProgramPortTest;

TEST_F(TSerBackground, AnOpenInTheBackgroundEndsOnTheServingThreadWithAPortLikeAnyOther)
{
    std::string received;
    FComm.OnRxChar = TSerCommRxCharEvent(&FComm, [&](TSerCustomComm *Sender, int Count) {
        std::string bytes(static_cast<std::size_t>(Count), '\0');
        bytes.resize(static_cast<std::size_t>(Sender->ReadBuf(bytes.data(), Count)));
        received += bytes;
    });
    SetLineTo9600(FPty.SlaveFd());
    TOpened opened;
    FComm.BeginOpen(opened.Handler());
    EXPECT_TRUE(FComm.Opening());
    EXPECT_FALSE(FComm.Active());
    // The settings were taken when the open began; those that need a closed port refuse.
    EXPECT_EQ(CommErrorOf([&] { FComm.SetDeviceName("elsewhere"); }), SOpenPortError);
    EXPECT_EQ(CommErrorOf([&] { FComm.Open(); }), SOpenPortError);

    ASSERT_TRUE(ServeUntil([&] { return opened.Called; }));
    EXPECT_FALSE(opened.Error) << ExceptionText(opened.Error);
    EXPECT_EQ(opened.Thread, std::this_thread::get_id());
    EXPECT_FALSE(FComm.Opening());
    ASSERT_TRUE(FComm.Active());
    const TLineProbe line = ProbeLine(FPty.SlaveFd());
    EXPECT_EQ(line.Speed, 500000u);
    EXPECT_TRUE(line.TwoStopBits);

    EXPECT_TRUE(FComm.WriteChar('N'));
    EXPECT_EQ(FPty.Read(1), "N");
    FPty.Write("IWRX\r");
    EXPECT_TRUE(ServeUntil([&] { return received == "IWRX\r"; }));
    FComm.Close();
}

TEST_F(TSerBackground, AFailedOpenInTheBackgroundLeavesThePortClosedForTheNextTry)
{
    FComm.SetDeviceName("/dev/zarnell-no-such-port");
    TOpened missing;
    FComm.BeginOpen(missing.Handler());
    ASSERT_TRUE(ServeUntil([&] { return missing.Called; }));
    ASSERT_TRUE(missing.Error);
    EXPECT_EQ(ExceptionText(missing.Error),
              "Specified device not found (/dev/zarnell-no-such-port).");
    EXPECT_FALSE(FComm.Active());
    EXPECT_FALSE(FComm.Opening());

    FComm.SetDeviceName(FPty.SlavePath());
    TOpened present;
    FComm.BeginOpen(present.Handler());
    ASSERT_TRUE(ServeUntil([&] { return present.Called; }));
    EXPECT_FALSE(present.Error);
    EXPECT_TRUE(FComm.Active());
}

// The device is opened exclusively, so an open that overtook the close before it would be
// refused as in use.
TEST_F(TSerBackground, ClosingInTheBackgroundLetsTheNextOpenOfTheSameDeviceWait)
{
    FComm.Open();
    for (int cycle = 0; cycle < 5; ++cycle) {
        FComm.CloseInBackground();
        EXPECT_FALSE(FComm.Active());
        EXPECT_EQ(FComm.Holds, 0) << "the pause after closing held the calling thread";
        TOpened opened;
        FComm.BeginOpen(opened.Handler());
        ASSERT_TRUE(ServeUntil([&] { return opened.Called; }));
        EXPECT_FALSE(opened.Error) << cycle << ": " << ExceptionText(opened.Error);
    }
    EXPECT_TRUE(FComm.WriteChar('N'));
    EXPECT_EQ(FPty.Read(1), "N");
}

TEST_F(TSerBackground, AnOpenGivenUpClosesItsDeviceWhenItReturnsWithoutWritingToIt)
{
    const std::vector<TSlowPort> ports = SlowPorts();
    if (ports.empty())
        GTEST_SKIP() << "the slow-ports library is not preloaded";
    const TSlowPort &slow = ports.front();
    const TSlowPortLink link(slow, FPty.SlavePath());

    // Given up three ways: by name, by Close and by the component's end. None waits.
    for (int way = 0; way < 3; ++way) {
        std::optional<TQuickComm> comm(std::in_place);
        UseProgramSettings(*comm, slow.Path);
        TOpened opened;
        comm->BeginOpen(opened.Handler());
        const auto start = std::chrono::steady_clock::now();
        if (way == 0)
            comm->AbandonOpen();
        else if (way == 1)
            comm->Close();
        else
            comm.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, slow.Delay) << way;
        if (comm) {
            EXPECT_FALSE(comm->Opening());
            EXPECT_FALSE(comm->Active());
        }

        // The next open of the device waits for the one given up, and a device left open would
        // hold its exclusive lock: the next open would be refused.
        TQuickComm next;
        UseProgramSettings(next, slow.Path);
        TOpened reopened;
        next.BeginOpen(reopened.Handler());
        ASSERT_TRUE(ServeUntil([&] { return reopened.Called; }, 4 * slow.Delay + 5s)) << way;
        EXPECT_FALSE(reopened.Error) << way << ": " << ExceptionText(reopened.Error);
        EXPECT_FALSE(opened.Called) << way;
        next.Close();
    }
    EXPECT_EQ(FPty.ReadUntilQuiet(100ms), "");
}

// Another program opens the port, sets its line and sends while an open of ours that was given
// up still waits in the system; when that open returns, the port stays as the other program has
// it: its line settings, its exclusive flag, and what it sent that nobody has read yet.
TEST_F(TSerBackground, AnOpenGivenUpLeavesAPortThatAnotherProgramOpenedMeanwhileAsItWas)
{
    const std::vector<TSlowPort> ports = SlowPorts();
    if (ports.size() < 2)
        GTEST_SKIP() << "the slow-ports library is not preloaded";
    const TSlowPort &slow = ports.back();
    const TSlowPortLink link(slow, FPty.SlavePath());
    const auto underWay = [&] {
        const std::optional<TSerOpenTime> time = SerOpenTime(slow.Path);
        return time && !time->Returned;
    };
    TQuickComm comm;
    UseProgramSettings(comm, slow.Path);
    TOpened opened;
    comm.BeginOpen(opened.Handler());
    ASSERT_TRUE(WaitUntil(underWay));

    const int other = open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    SetLineTo9600(other);
    ASSERT_EQ(write(other, "kept", 4), 4);
    const int descriptors = DescriptorsOn(FPty.SlavePath());
    comm.AbandonOpen();
    // Returned, and its descriptor closed again.
    ASSERT_TRUE(
        WaitUntil([&] { return !underWay() && DescriptorsOn(FPty.SlavePath()) <= descriptors; },
                  4 * slow.Delay + 5s));

    EXPECT_EQ(ProbeLine(other).Speed, 9600u);
    int exclusive = -1;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(FPty.Read(4, 1s), "kept");
    EXPECT_FALSE(opened.Called);
    close(other);
}
