// Reading, writing and purging on an open and on a closed port.
#include "commfixture.h"

#include <gtest/gtest.h>

#include <set>

// The tests of this file that share the program's port set-up.
using TSerTransfer = TProgramPortTest;

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

TEST_F(TSerTransfer, ReadsTakeWhatHasArrivedAndNeverWait)
{
    FComm.SetMonitorEvents({});
    FComm.Open();

    std::uint8_t ch = 'k';
    EXPECT_FALSE(FComm.ReadChar(ch));
    EXPECT_EQ(ch, 'k');
    FPty.Write("xyz");
    ASSERT_TRUE(WaitUntil([&] { return FComm.InQueCount() == 3; }));
    char buffer[10] = {};
    EXPECT_EQ(FComm.ReadBuf(buffer, 10), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    EXPECT_EQ(FComm.GetStatistics().Errors, 0u);

    FPty.Write("old");
    ASSERT_TRUE(WaitUntil([&] { return FComm.InQueCount() == 3; }));
    FComm.PurgeRead();
    EXPECT_EQ(FComm.InQueCount(), 0);
    EXPECT_TRUE(FComm.WriteText("after purge"));
    EXPECT_EQ(FPty.Read(11), "after purge");
}

TEST_F(TSerTransfer, WritesReachTheLineUnchanged)
{
    FComm.Open();
    FComm.PurgeReadWrite();
    EXPECT_TRUE(FComm.WriteChar('N'));
    EXPECT_TRUE(FComm.WriteText(std::string("Z\r\n\0\xff", 5)));
    EXPECT_TRUE(FComm.WriteText(""));
    EXPECT_EQ(FPty.Read(6), std::string("NZ\r\n\0\xff", 6));
}

TEST_F(TSerTransfer, AWriteThatTimesOutReturnsZeroAndNothingOfItGoesOutLater)
{
    // The pty's master never reads until the end.
    FComm.Buffers().SetWriteTimeout(50);
    FComm.Open();

    // Each block carries its own byte value, so the reader can tell which blocks came out.
    int timedOut = -1;
    for (int block = 0; block < 200 && timedOut < 0; ++block) {
        const std::string bytes(1000, static_cast<char>(1 + block));
        if (FComm.WriteBuf(bytes.data(), 1000) == 0)
            timedOut = block;
    }
    ASSERT_GE(timedOut, 0) << "the pty never filled up";

    const std::string out = FPty.ReadUntilQuiet(300ms);
    const std::set<char> seen(out.begin(), out.end());
    EXPECT_EQ(seen.count(static_cast<char>(1 + timedOut)), 0u);

    // Once the reader has made room the port writes again.
    EXPECT_TRUE(FComm.WriteText("ok"));
    EXPECT_EQ(FPty.Read(2), "ok");
}
