// The serial component on Windows, end to end: TSerComm on the Win32 layer finds the simulated
// dongle with the probe and takes a whole loader run through it, every reply arriving through
// OnRxChar notifications that this thread serves, as the GUI thread does in the program.
#include "frames.h"
#include "replyparser.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <array>
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

// The component as the setup window configures it, collecting reply lines.
class TSetupPort {
public:
    TSetupPort()
    {
        FComm.SetUserBaudrate(500000);
        FComm.SetStopbits(TSerStopbits::sb2);
        FComm.SetMonitorEvents({TSerCommEvent::ceRxChar});
        FComm.SetEventPriority(TThreadPriority::tpHighest);
        FComm.SetDirectWrite(true);
        FComm.OnRxChar = TSerCommRxCharEvent(this, &TSetupPort::RxChar);
        FComm.SetDeviceName(SerPortDeviceName(TestPort()));
    }

    TSerComm &Comm() { return FComm; }

    // Sends Bytes and serves notifications until a reply line has come.
    std::string Exchange(const std::string &Bytes)
    {
        FLines.clear();
        EXPECT_TRUE(FComm.WriteText(Bytes));
        EXPECT_TRUE(TSerHandOver::Main().ServeUntil([this] { return !FLines.empty(); }, 10s));
        return FLines.empty() ? std::string() : FLines.front();
    }

private:
    void RxChar(TSerCustomComm *, int Count)
    {
        for (int i = 0; i < Count; ++i) {
            std::uint8_t byte = 0;
            if (!FComm.ReadChar(byte))
                break;
            if (auto line = FParser.Feed(byte))
                FLines.push_back(*line);
        }
    }

    TSerComm FComm;
    TReplyLineParser FParser;
    std::vector<std::string> FLines;
};

TEST(SerCommWinEndToEnd, ProbeThenLoaderRun)
{
    if (TestPort().empty())
        GTEST_SKIP() << "ZARNELL_TEST_PORT names no COM port";
    TSetupPort port;
    port.Comm().Open();
    port.Comm().PurgeReadWrite();
    EXPECT_EQ(port.Exchange(std::string(1, ProbeByte)), ProbeAnswer);
    EXPECT_TRUE(port.Comm().WriteText(std::string(1, LoaderCommandByte)));

    std::array<std::uint8_t, EepromPageSize> page{};
    for (int i = 0; i < EepromPageSize; ++i)
        page[i] = static_cast<std::uint8_t>(i + 1);
    const std::vector<std::string> payloads = {
        PageStartPayload(), BlockPayload(page.data(), 0), BlockPayload(page.data(), BlockDataSize),
        PageAddressPayload(0, EepromPageSize), FinishPayload()};
    for (const std::string &payload : payloads) {
        const std::string reply = port.Exchange(BuildFrame(payload));
        EXPECT_TRUE(reply.starts_with(AcknowledgeByte)) << payload.substr(0, 2) << ": " << reply;
    }

    const auto closing = std::chrono::steady_clock::now();
    port.Comm().Close();
    EXPECT_GE(std::chrono::steady_clock::now() - closing, 300ms);
    EXPECT_FALSE(port.Comm().Active());
}

} // namespace
