// Reading, writing and purging on an open and on a closed port.
#include "commfixture.h"

#include <gtest/gtest.h>

#include <set>

TEST(SerTransfer, AClosedPortTransfersNothingAndRaisesNothing)
{
    TQuickComm comm;
    std::uint8_t ch = 'k';
    EXPECT_EQ(comm.WriteBuf("abc", 3), 0);
    EXPECT_FALSE(comm.WriteChar('N'));
    EXPECT_TRUE(comm.WriteText(""));
    EXPECT_FALSE(comm.WriteText("Z"));
    EXPECT_FALSE(comm.ReadChar(ch));
    EXPECT_EQ(ch, 'k');
    comm.PurgeReadWrite();
    EXPECT_EQ(comm.InQueCount(), 0);
    const TSerStatistics statistics = comm.GetStatistics();
    EXPECT_EQ(statistics.Errors | statistics.Status | statistics.InQue | statistics.OutQue, 0u);
}

TEST(SerTransfer, ReadsTakeWhatHasArrivedAndNeverWait)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.SetMonitorEvents({});
    comm.Open();

    std::uint8_t ch = 'k';
    EXPECT_FALSE(comm.ReadChar(ch));
    EXPECT_EQ(ch, 'k');
    pty.Write("xyz");
    ASSERT_TRUE(WaitUntil([&] { return comm.InQueCount() == 3; }));
    char buffer[10] = {};
    EXPECT_EQ(comm.ReadBuf(buffer, 10), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    EXPECT_EQ(comm.GetStatistics().Errors, 0u);

    pty.Write("old");
    ASSERT_TRUE(WaitUntil([&] { return comm.InQueCount() == 3; }));
    comm.PurgeRead();
    EXPECT_EQ(comm.InQueCount(), 0);
    EXPECT_TRUE(comm.WriteText("after purge"));
    EXPECT_EQ(pty.Read(11), "after purge");
}

TEST(SerTransfer, WritesReachTheLineUnchanged)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Open();
    comm.PurgeReadWrite();
    EXPECT_TRUE(comm.WriteChar('N'));
    EXPECT_TRUE(comm.WriteText(std::string("Z\r\n\0\xff", 5)));
    EXPECT_TRUE(comm.WriteText(""));
    EXPECT_EQ(pty.Read(6), std::string("NZ\r\n\0\xff", 6));
}

TEST(SerTransfer, AWriteThatTimesOutReturnsZeroAndNothingOfItGoesOutLater)
{
    TPtyPair pty; // its master never reads until the end
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Buffers().SetWriteTimeout(50);
    comm.Open();

    // Each block carries its own byte value, so the reader can tell which blocks came out.
    int timedOut = -1;
    for (int block = 0; block < 200 && timedOut < 0; ++block) {
        const std::string bytes(1000, static_cast<char>(1 + block));
        if (comm.WriteBuf(bytes.data(), 1000) == 0)
            timedOut = block;
    }
    ASSERT_GE(timedOut, 0) << "the pty never filled up";

    const std::string out = pty.ReadUntilQuiet(300ms);
    const std::set<char> seen(out.begin(), out.end());
    EXPECT_EQ(seen.count(static_cast<char>(1 + timedOut)), 0u);

    // Once the reader has made room the port writes again.
    EXPECT_TRUE(comm.WriteText("ok"));
    EXPECT_EQ(pty.Read(2), "ok");
}
