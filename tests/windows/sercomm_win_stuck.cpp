// The serial component on Windows when a driver neither completes nor cancels a write, as some
// USB adapters' drivers do once the adapter has been pulled out mid-write. This program stands in
// for such a driver: its own SerCancelTransfer ignores the cancel, and the write stays pending
// because nobody reads the far end of the COM port pair (tests/windows/run-with-pairs.sh).
#include "ptypair.h"
#include "sercancel_win.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serexception.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

BOOL SerCancelTransfer(HANDLE, OVERLAPPED *)
{
    return TRUE;
}

namespace {

using namespace std::chrono;

TEST(SerCommWinStuck, AWriteWhoseCancelIsIgnoredLosesTheDeviceOnceAndInBoundedTime)
{
    TPtyPair pair;
    TSerComm comm;
    comm.SetUserBaudrate(500000);
    comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
    comm.SetDirectWrite(true);
    comm.SetDeviceName(SerPortDeviceName(pair.SlavePath()));
    comm.Open();

    // Far more than the two pseudo-terminals and the relay between them hold.
    const std::string flood(1 << 20, 'N');
    const auto started = steady_clock::now();
    EXPECT_THROW(comm.WriteText(flood), ESerDeviceLost);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - started);
    std::printf("the write whose cancel was ignored gave up after %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_LT(took, milliseconds(5000));
    EXPECT_TRUE(comm.DeviceLost());

    // Reported once: the port behaves as a closed one until it is closed, which is quick.
    EXPECT_FALSE(comm.WriteChar('N'));
    const auto closing = steady_clock::now();
    comm.CloseInBackground();
    EXPECT_LT(steady_clock::now() - closing, milliseconds(500));
    EXPECT_FALSE(comm.Active());
}

} // namespace
