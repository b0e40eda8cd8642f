// The serial component on Windows when the device vanishes mid-run: the simulated unit closes
// its end of the COM port's pseudo-terminal when the second loader frame arrives, as a USB
// adapter pulled from the laptop. The loss is reported once, through the component's notification
// path, and the port then behaves as a closed one until Close.
#include "exceptiontext.h"
#include "frames.h"
#include "replyparser.h"
#include "serapplication.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::string TestPort()
{
    const char *port = std::getenv("ZARNELL_TEST_PORT");
    return port ? port : "";
}

TEST(SerCommWinVanish, TheLossIsReportedOnceAndThePortGoesQuiet)
{
    if (TestPort().empty())
        GTEST_SKIP() << "ZARNELL_TEST_PORT names no COM port";
    std::vector<std::string> reported;
    SetSerExceptionHandler(
        [&](std::exception_ptr Error) { reported.push_back(ExceptionText(Error)); });

    TSerComm comm;
    comm.SetUserBaudrate(500000);
    comm.SetStopbits(TSerStopbits::sb2);
    comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
    comm.SetDirectWrite(true);
    comm.SetDeviceName(SerPortDeviceName(TestPort()));
    TReplyLineParser parser;
    std::vector<std::string> lines;
    comm.OnRxChar = TSerCommRxCharEvent(&comm, [&](TSerCustomComm *Sender, int Count) {
        for (int i = 0; i < Count; ++i) {
            std::uint8_t byte = 0;
            if (!Sender->ReadChar(byte))
                break;
            if (auto line = parser.Feed(byte))
                lines.push_back(*line);
        }
    });
    comm.Open();
    comm.PurgeReadWrite();
    ASSERT_TRUE(comm.WriteText(std::string(1, ProbeByte)));
    ASSERT_TRUE(TSerHandOver::Main().ServeUntil([&] { return !lines.empty(); }, 10s));
    ASSERT_TRUE(comm.WriteText(std::string(1, LoaderCommandByte)));
    lines.clear();
    ASSERT_TRUE(comm.WriteText(BuildFrame(PageStartPayload())));
    ASSERT_TRUE(TSerHandOver::Main().ServeUntil([&] { return !lines.empty(); }, 10s));

    // The unit goes when the block frame arrives.
    std::array<std::uint8_t, EepromPageSize> page{};
    comm.WriteText(BuildFrame(BlockPayload(page.data(), 0)));
    ASSERT_TRUE(TSerHandOver::Main().ServeUntil([&] { return !reported.empty(); }, 10s));
    EXPECT_TRUE(reported.front().starts_with("Error retrieving statistics (")) << reported.front();

    EXPECT_FALSE(comm.WriteText(BuildFrame(BlockPayload(page.data(), 16))));
    comm.PurgeWrite();
    comm.PurgeRead();
    EXPECT_EQ(comm.InQueCount(), 0);
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(reported.size(), 1u);
    SetSerExceptionHandler(nullptr);
}

} // namespace
