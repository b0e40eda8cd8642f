// The Win32 device layer against the simulated dongle, through a COM port that the test's Wine
// prefix maps to the simulator's pseudo-terminal (tests/windows/run-with-sim.sh sets it up and
// names it in ZARNELL_TEST_PORT).
#include "commerror.h"
#include "serdevice.h"
#include "serdevicename.h"
#include "serexception.h"
#include "serports.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr auto Bound = 10s;
const std::string Answer = "IWRX\r";

std::string TestPort()
{
    const char *port = std::getenv("ZARNELL_TEST_PORT");
    return port ? port : "";
}

// The line and driver settings that the setup window's component gives the port.
std::unique_ptr<TSerDevice> OpenTestPort()
{
    auto device = TSerDevice::Open(SerDevicePath(SerPortDeviceName(TestPort())));
    TSerLineSettings line;
    line.Baudrate = 500000;
    line.DataBits = 8;
    line.Stopbits = TSerStopbits::sb2;
    line.XonLimit = 1024;
    line.XoffLimit = 1024;
    line.XonChar = 17;
    line.XoffChar = 19;
    device->WriteSettings(line);
    device->SetupBuffers(4096, 2048);
    device->SetTimeouts();
    device->SetEventMask(SerEv::RxChar);
    return device;
}

// Lists a port in the registry's serial device map for as long as it lives. The map is a
// volatile key, which "reg add" cannot create, so the test writes it itself.
class TListedPort {
public:
    explicit TListedPort(const std::string &Port)
    {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &FKey,
                            nullptr) != ERROR_SUCCESS) {
            FKey = nullptr;
            return;
        }
        if (RegSetValueExA(FKey, ValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(Port.c_str()),
                           static_cast<DWORD>(Port.size() + 1)) != ERROR_SUCCESS) {
            RegCloseKey(FKey);
            FKey = nullptr;
        }
    }
    ~TListedPort()
    {
        if (FKey == nullptr)
            return;
        RegDeleteValueA(FKey, ValueName);
        RegCloseKey(FKey);
    }
    TListedPort(const TListedPort &) = delete;
    TListedPort &operator=(const TListedPort &) = delete;

    bool Listed() const { return FKey != nullptr; }

private:
    static constexpr const char *ValueName = "\\Device\\ZarnellTest";
    HKEY FKey = nullptr;
};

class SerDeviceWin : public testing::Test {
protected:
    void SetUp() override
    {
        if (TestPort().empty())
            GTEST_SKIP() << "ZARNELL_TEST_PORT names no COM port";
        FDevice = OpenTestPort();
        // What an earlier case left in the pseudo-terminal is not this case's.
        FDevice->Purge(SerPurge::RxAbort | SerPurge::RxClear | SerPurge::TxAbort |
                       SerPurge::TxClear);
    }

    // Waits for events the way the event thread does, until Count bytes are queued.
    void AwaitQueued(std::uint32_t Count)
    {
        while (FDevice->Statistics().InQue < Count) {
            auto events = std::async(std::launch::async, [this] { return FDevice->WaitEvents(); });
            ASSERT_EQ(events.wait_for(Bound), std::future_status::ready);
            ASSERT_EQ(events.get(), SerEv::RxChar);
        }
    }

    void Probe()
    {
        ASSERT_EQ(FDevice->Write(reinterpret_cast<const std::uint8_t *>("N"), 1, 1000), 1);
    }

    std::unique_ptr<TSerDevice> FDevice;
};

TEST(SerDeviceWinPaths, DevicePathAndOpenFailures)
{
    EXPECT_EQ(SerDevicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(CommErrorOf([] { TSerDevice::Open(SerDevicePath("COM0")); }),
              "Specified device not found (\\\\.\\COM0).");
    // The program's names carry the namespace once more.
    EXPECT_EQ(CommErrorOf([] { TSerDevice::Open(SerDevicePath(SerPortDeviceName("COM0"))); }),
              "Specified device not found (\\\\.\\\\\\.\\\\COM0).");

    // A name that cannot exist: the code and the system's text, without its full stop.
    const std::string message = CommErrorOf([] { TSerDevice::Open(SerDevicePath("COM|7")); });
    EXPECT_TRUE(message.starts_with("Can't open specified device \\\\.\\COM|7 (Error 123, "))
        << message;
    EXPECT_TRUE(message.ends_with(")") && !message.ends_with(".)")) << message;
}

TEST_F(SerDeviceWin, PortIsListed)
{
    const TListedPort listed(TestPort());
    ASSERT_TRUE(listed.Listed());
    const auto names = SerSystemPortNames();
    EXPECT_NE(std::find(names.begin(), names.end(), TestPort()), names.end());
}

TEST_F(SerDeviceWin, ProbeAnswerIsAnnouncedAndRead)
{
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(FDevice->Read(buffer, 16, 1000), 0); // nothing has come: returns at once

    Probe();
    AwaitQueued(Answer.size());
    EXPECT_EQ(FDevice->Read(buffer, 2, 1000), 2);
    EXPECT_EQ(FDevice->Read(buffer + 2, 16, 1000), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 5), Answer);
    EXPECT_EQ(FDevice->Statistics().InQue, 0u);
}

TEST_F(SerDeviceWin, UnreadBytesAreAnnouncedAgainOnlyWithNewOnes)
{
    Probe();
    AwaitQueued(Answer.size());

    // Bytes that came after the first announcement are announced once more; after that the
    // unread bytes alone wake nobody.
    auto events = std::async(std::launch::async, [this] { return FDevice->WaitEvents(); });
    if (events.wait_for(300ms) == std::future_status::ready) {
        EXPECT_EQ(events.get(), SerEv::RxChar);
        events = std::async(std::launch::async, [this] { return FDevice->WaitEvents(); });
    }
    EXPECT_EQ(events.wait_for(300ms), std::future_status::timeout);
    Probe();
    ASSERT_EQ(events.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(events.get(), SerEv::RxChar);
    AwaitQueued(2 * Answer.size());
}

TEST_F(SerDeviceWin, PurgeDiscardsWhatWaits)
{
    Probe();
    AwaitQueued(Answer.size());
    FDevice->Purge(SerPurge::RxAbort | SerPurge::RxClear | SerPurge::TxAbort | SerPurge::TxClear);
    EXPECT_EQ(FDevice->Statistics().InQue, 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(FDevice->Read(&byte, 1, 1000), 0);

    // Purged bytes count as consumed: the next answer is announced again.
    Probe();
    AwaitQueued(Answer.size());
}

TEST_F(SerDeviceWin, WakeEndsPendingAndLaterWaits)
{
    auto events = std::async(std::launch::async, [this] { return FDevice->WaitEvents(); });
    EXPECT_EQ(events.wait_for(100ms), std::future_status::timeout);
    FDevice->Wake();
    ASSERT_EQ(events.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(events.get(), 0u);
    EXPECT_EQ(FDevice->WaitEvents(), 0u);

    // The port opens again at once: the ended wait left nothing behind.
    FDevice.reset();
    FDevice = OpenTestPort();
}

TEST_F(SerDeviceWin, WakeBeforeTheWaitIsNotLost)
{
    FDevice->Wake();
    Probe();
    auto events = std::async(std::launch::async, [this] { return FDevice->WaitEvents(); });
    ASSERT_EQ(events.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(events.get(), 0u);
}

} // namespace
