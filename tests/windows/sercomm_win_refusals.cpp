// The serial component on Windows on a port whose adapter reaches no more than 115200 bit/s, as
// older adapters do: the harness's pty shim refuses a higher rate as their drivers refuse it
// (ZARNELL_PTY_TOP_RATE), and Wine's SetCommState fails with the error that Windows' drivers
// give. Discovery opens in the background, so the refusal is looked at as it arrives there.
#include "frames.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serexception.h"
#include "serhandover.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

namespace {

std::string TestPort()
{
    const char *port = std::getenv("ZARNELL_TEST_PORT");
    return port ? port : "";
}

class TOpenAttempt {
public:
    // Opens the test port at Rate in the background, as discovery does, and waits for the end.
    explicit TOpenAttempt(std::int32_t Rate)
    {
        FComm.SetUserBaudrate(Rate);
        FComm.SetStopbits(TSerStopbits::sb2);
        FComm.SetMonitorEvents({TSerCommEvent::ceRxChar});
        FComm.SetDeviceName(SerPortDeviceName(TestPort()));
        FComm.BeginOpen(TSerOpenedEvent(this, &TOpenAttempt::Opened));
        FEnded = TSerHandOver::Main().ServeUntil([this] { return FDone; }, 30s);
    }

    bool Ended() const { return FEnded; }
    bool Active() const { return FComm.Active(); }
    std::exception_ptr Error() const { return FError; }

private:
    void Opened(TSerCustomComm *, std::exception_ptr Error)
    {
        FError = Error;
        FDone = true;
    }

    TSerComm FComm;
    bool FDone = false;
    bool FEnded = false;
    std::exception_ptr FError;
};

} // namespace

TEST(SerCommWinRefusals, ARateTheDriverRefusesIsNamedSoAndALowerOneOpens)
{
    if (TestPort().empty())
        GTEST_SKIP() << "ZARNELL_TEST_PORT names no COM port";

    const TOpenAttempt refused(DongleBitRate);
    ASSERT_TRUE(refused.Ended());
    EXPECT_FALSE(refused.Active());
    ASSERT_TRUE(refused.Error());
    try {
        std::rethrow_exception(refused.Error());
    } catch (const ESerCommError &e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Error writing dcb (87), ")) << e.what();
        EXPECT_EQ(e.SystemCode(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(SerOpenProblemOf(e.Step(), e.SystemCode()), TSerOpenProblem::opRateRefused);
    }

    // The same port at a rate the adapter reaches: the refusal was the rate's.
    const TOpenAttempt reached(115200);
    ASSERT_TRUE(reached.Ended());
    EXPECT_FALSE(reached.Error());
    EXPECT_TRUE(reached.Active());
}
