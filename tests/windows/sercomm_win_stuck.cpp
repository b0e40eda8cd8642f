// The serial component on Windows when a driver misbehaves, on COM port pairs
// (tests/windows/run-with-pairs.sh). This program stands in for such drivers with its own
// device-layer calls (sercancel_win.h): one that neither ends nor cancels a request, as some USB
// adapters' drivers do once the adapter has been pulled out; one that ends a write just as its
// cancel arrives; one that refuses the line settings with a code that live drivers give too.
#include "commerror.h"
#include "ptypair.h"
#include "sercancel_win.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serexception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// What the driver does: as honest as Windows' own, unless a test says otherwise.
struct TDriver {
    std::atomic<bool> IgnoreCancel = false;
    std::atomic<bool> IgnoreMaskEnd = false; // a pending event wait outlives the empty mask
    std::atomic<DWORD> SettingsRefusal = ERROR_SUCCESS;
    std::function<void()> WhileCancelling;
    std::atomic<int> Cancels = 0;
    std::atomic<int> PendingWaits = 0;
} Driver;

// Makes the driver honest again at the end of a test.
struct THonestAgain {
    ~THonestAgain()
    {
        Driver.IgnoreCancel = Driver.IgnoreMaskEnd = false;
        Driver.SettingsRefusal = ERROR_SUCCESS;
        Driver.WhileCancelling = nullptr;
    }
};

} // namespace

BOOL SerCancelRequest(HANDLE Device, OVERLAPPED *Request)
{
    ++Driver.Cancels;
    if (Driver.WhileCancelling)
        Driver.WhileCancelling();
    return Driver.IgnoreCancel || CancelIoEx(Device, Request);
}

BOOL SerEndEventWait(HANDLE Device)
{
    return Driver.IgnoreMaskEnd || SetCommMask(Device, 0);
}

BOOL SerStartEventWait(HANDLE Device, DWORD *Events, OVERLAPPED *Request)
{
    const BOOL done = WaitCommEvent(Device, Events, Request);
    Driver.PendingWaits += !done && GetLastError() == ERROR_IO_PENDING;
    return done;
}

BOOL SerSetLineSettings(HANDLE Device, DCB *Settings)
{
    SetLastError(Driver.SettingsRefusal);
    return Driver.SettingsRefusal == ERROR_SUCCESS && SetCommState(Device, Settings);
}

namespace {

using namespace std::chrono;

TEST(SerCommWinStuck, AWriteWhoseCancelIsIgnoredLosesTheDeviceOnceAndInBoundedTime)
{
    const THonestAgain honest;
    Driver.IgnoreCancel = true;
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

// The program's port on Pair, without the pause after Close.
class TPort : public TSerComm {
public:
    explicit TPort(const TPtyPair &Pair)
    {
        SetUserBaudrate(500000);
        SetMonitorEvents({TSerCommEvent::ceRxChar});
        SetDeviceName(SerPortDeviceName(Pair.SlavePath()));
    }

protected:
    void HoldAfterClose() override {}
};

// The event thread's wait outlives the empty mask and its cancel. Neither the window's close (in
// the background) nor one that waits (the command line's, the component's end) waits for the
// thread, which keeps the wait and the port until the driver gives the wait back: here when a
// byte arrives; the port opens again then.
TEST(SerCommWinStuck, AnEventWaitThatOutlivesItsCancelHoldsUpNoClose)
{
    TPtyPair pair;
    for (const bool background : {true, false}) {
        const THonestAgain honest;
        TPort port(pair);
        const int waits = Driver.PendingWaits;
        port.Open();
        for (int i = 0; i < 1000 && Driver.PendingWaits == waits; ++i)
            Sleep(10);
        Driver.IgnoreMaskEnd = Driver.IgnoreCancel = true;
        const int cancels = Driver.Cancels;
        const auto closing = steady_clock::now();
        background ? port.CloseInBackground() : port.Close();
        EXPECT_LT(steady_clock::now() - closing, 300ms) << background;
        EXPECT_GT(Driver.Cancels, cancels) << "the thread did not end its own wait";

        Driver.IgnoreMaskEnd = Driver.IgnoreCancel = false;
        pair.Write("x");
        TPort again(pair);
        for (int i = 0; i < 1000 && !CommErrorOf([&] { again.Open(); }).empty(); ++i)
            Sleep(10);
        EXPECT_TRUE(again.Active()) << background;
        again.PurgeRead();
    }
}

// Live drivers fail a request with a generic code now and then (a refused setting, around USB
// suspend and resume): with the device answering its status query, that is an ordinary error.
// A removal code is the loss of the device at once.
TEST(SerCommWinStuck, OnlyARemovalCodeOrAFailedStatusQueryLosesTheDevice)
{
    const THonestAgain honest;
    TPtyPair pair;
    for (const DWORD code : {ERROR_GEN_FAILURE, ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED}) {
        const bool removed = code == ERROR_DEVICE_REMOVED;
        TPort port(pair);
        port.Open();
        Driver.SettingsRefusal = code;
        EXPECT_TRUE(CommErrorOf([&] {
                        port.SetStopbits(TSerStopbits::sb2);
                    }).starts_with("Error writing dcb (" + std::to_string(code) + "), "));
        Driver.SettingsRefusal = ERROR_SUCCESS;
        EXPECT_EQ(port.DeviceLost(), removed) << code;
        EXPECT_EQ(port.WriteChar('N'), !removed) << code;
    }
    EXPECT_EQ(pair.Read(2, 1s), "NN");
}

// The write has timed out; as its cancel arrives, the far end takes the bytes at last and the
// write ends. It took them all, and says so, so that the caller does not send them again.
TEST(SerCommWinStuck, AWriteThatEndsAsItsCancelArrivesKeepsItsCount)
{
    const THonestAgain honest;
    TPtyPair pair;
    TPort port(pair);
    port.Buffers().SetWriteTimeout(100);
    port.Open();
    const std::string flood(1 << 20, 'N');
    std::string received;
    Driver.WhileCancelling = [&] { received = pair.Read(flood.size(), 30s); };
    EXPECT_TRUE(port.WriteText(flood));
    EXPECT_EQ(received.size(), flood.size());
}

} // namespace
