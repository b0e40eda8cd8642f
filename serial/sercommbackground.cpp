// The component's lifecycle without waiting: the device is opened and set up, or closed, on a
// thread of its own (serdevicejobs.h), and the GUI thread only starts the event thread and
// raises the notifications.
#include "sercomm.h"

#include "exceptiontext.h"
#include "serapplication.h"
#include "serblockingcalls.h"
#include "serdevicejobs.h"
#include "serhandover.h"
#include "seropentimes.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// The closes in the background that have not ended. Shared with every close's thread, so that
// it outlives the program's static objects for as long as a close still runs.
struct TClosesUnderWay {
    std::mutex Lock;
    std::condition_variable Ended;
    int Count = 0;

    void Begin()
    {
        std::lock_guard lock(Lock);
        ++Count;
    }

    void End()
    {
        {
            std::lock_guard lock(Lock);
            --Count;
        }
        Ended.notify_all();
    }
};

std::shared_ptr<TClosesUnderWay> ClosesUnderWay()
{
    static const auto closes = std::make_shared<TClosesUnderWay>();
    return closes;
}

// Closes Device on a thread of its own, in its turn after the jobs already started on Path, then
// runs Then there; the close counts as under way until both are done. The job owns the device,
// and it alone when the event thread has ended. False when no thread could be started: the job
// is gone, and the device with it, on this thread.
bool StartClose(std::shared_ptr<TSerDevice> Device, const std::string &Path,
                std::function<void()> Then)
{
    const std::shared_ptr<TClosesUnderWay> closes = ClosesUnderWay();
    auto close = [device = std::move(Device), Then = std::move(Then), closes]() mutable {
        device.reset();
        Then();
        closes->End();
    };
    closes->Begin();
    try {
        SerRunDeviceJob(Path, std::move(close), [] { return false; });
        return true;
    } catch (...) {
        closes->End();
        return false;
    }
}

} // namespace

// What an open in the background shares between its thread and the component.
struct TSerCustomComm::TPendingOpen {
    explicit TPendingOpen(TDeviceSetup Setup)
        : Setup(std::move(Setup))
        , Clock(this->Setup.Path)
    {
    }

    const TDeviceSetup Setup;
    const TSerOpenClock Clock;
    // Set by the component on the GUI thread, read by the opening thread.
    std::atomic<bool> Abandoned = false;
    // Set by the opening thread once its turn has come and the device's open has begun.
    std::atomic<bool> Begun = false;

    std::mutex Lock; // guards the three below while the opening thread runs
    std::shared_ptr<TSerBlockingCalls> Calls;
    std::unique_ptr<TSerDevice> Device;
    std::exception_ptr Error;
};

void TSerCustomComm::BeginOpen(TSerOpenedEvent Opened)
{
    CheckClosed();
    JoinRetiredThreads();
    const auto pending = std::make_shared<TPendingOpen>(DeviceSetup());
    // The thread opens, sets up and hands the device over; an open given up meanwhile closes
    // its device on that thread (the device is declared before the lock, so it goes after it).
    const auto open = [this, pending] {
        const auto calls = std::make_shared<TSerBlockingCalls>();
        {
            std::lock_guard lock(pending->Lock);
            pending->Calls = calls;
        }
        std::unique_ptr<TSerDevice> device;
        std::exception_ptr error;
        const auto givenUp = [&pending] { return pending->Abandoned.load(); };
        try {
            pending->Begun = true;
            const TSerOpenClock::TRun timing = pending->Clock.Start();
            device = TSerDevice::Open(pending->Setup.Path, givenUp);
            // An open given up meanwhile leaves the device as it found it: no settings.
            if (device && !givenUp())
                ApplySetup(*device, pending->Setup);
        } catch (...) {
            // A device that refused its settings is closed again, here, as Open does.
            device.reset();
            error = std::current_exception();
        }
        std::lock_guard lock(pending->Lock);
        if (pending->Abandoned)
            return;
        pending->Device = std::move(device);
        pending->Error = error;
        try {
            // Only the GUI thread gives an open up, so the component is still there when it
            // finds the open not abandoned.
            TSerHandOver::Main().Post([this, pending] {
                if (!pending->Abandoned)
                    FinishOpen();
            });
        } catch (...) {
            // The GUI thread cannot be told; whoever gives the open up takes the device.
        }
    };
    // Recorded first: once the job runs, its news may reach the GUI thread at any moment.
    FPendingOpen = pending;
    FOpened = std::move(Opened);
    try {
        SerRunDeviceJob(pending->Setup.Path, open, [pending] { return pending->Abandoned.load(); });
    } catch (...) {
        FPendingOpen = nullptr;
        FOpened = {};
        throw;
    }
    SerLog([&] { return "opening " + pending->Setup.Path + " in the background"; });
}

std::chrono::milliseconds TSerCustomComm::OpeningFor() const
{
    if (!FPendingOpen || !FPendingOpen->Begun)
        return std::chrono::milliseconds(0);
    // Opens of one device take turns, so the open under way of this path is this one.
    const std::optional<TSerOpenTime> time = SerOpenTime(FPendingOpen->Setup.Path);
    return time ? time->Took : std::chrono::milliseconds(0);
}

void TSerCustomComm::FinishOpen()
{
    const std::shared_ptr<TPendingOpen> pending = std::exchange(FPendingOpen, nullptr);
    const TSerOpenedEvent opened = std::exchange(FOpened, {});
    std::exception_ptr error;
    {
        std::lock_guard lock(pending->Lock);
        error = pending->Error;
        FDevice = std::move(pending->Device);
    }
    FDevicePath = pending->Setup.Path;
    if (!error) {
        FDeviceLost = false;
        FEventMask = pending->Setup.EventMask;
        try {
            StartThreads();
        } catch (...) {
            error = std::current_exception();
            CloseDeviceInBackground(std::exchange(FDevice, nullptr), FDevicePath);
        }
    }
    if (error) {
        SerLog([&] { return "cannot open " + FDevicePath + ": " + ExceptionText(error); });
    } else {
        LogOpened();
        DoOpen();
    }
    if (opened.Assigned())
        opened(this, error);
}

void TSerCustomComm::AbandonOpen()
{
    const std::shared_ptr<TPendingOpen> pending = std::exchange(FPendingOpen, nullptr);
    FOpened = {};
    if (!pending)
        return;
    std::unique_ptr<TSerDevice> device;
    bool cancelled = false;
    {
        std::lock_guard lock(pending->Lock);
        pending->Abandoned = true;
        // Opened already, with the news still on its way to this thread.
        device = std::move(pending->Device);
        cancelled = pending->Calls && pending->Calls->Cancel();
    }
    SerWakeDeviceJobs();
    SerLog([&] {
        return "gave up opening " + pending->Setup.Path +
               (cancelled ? " (its open was cancelled)" : "");
    });
    if (device)
        CloseDeviceInBackground(std::move(device), pending->Setup.Path);
}

void TSerCustomComm::CloseInBackground()
{
    AbandonOpen();
    if (!Active() || FClosing)
        return;
    std::shared_ptr<TSerDevice> device = DetachDevice();
    SerLog([this] { return "closing " + FDevicePath + " in the background"; });
    DoClose();
    CloseDeviceInBackground(std::move(device), FDevicePath);
}

void TSerCustomComm::CloseDeviceBy(std::shared_ptr<TSerDevice> Device, const std::string &Path,
                                   std::chrono::steady_clock::time_point Deadline)
{
    // On a thread of its own, so that a driver that holds its close up holds up that thread
    // alone. A close that outlasts the deadline goes on in the background, and counts as such.
    const auto closed = std::make_shared<TSerWaitEvent>();
    if (!StartClose(std::move(Device), Path, [closed] { closed->SetEvent(); }))
        return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    if (left.count() > 0)
        closed->WaitFor(static_cast<std::uint32_t>(left.count()));
}

void TSerCustomComm::CloseDeviceInBackground(std::shared_ptr<TSerDevice> Device,
                                             const std::string &Path)
{
    StartClose(std::move(Device), Path, [] { std::this_thread::sleep_for(CloseHold); });
}

bool TSerCustomComm::AwaitClosesInBackground(std::chrono::steady_clock::time_point Deadline)
{
    const std::shared_ptr<TClosesUnderWay> closes = ClosesUnderWay();
    std::unique_lock lock(closes->Lock);
    return closes->Ended.wait_until(lock, Deadline, [&] { return closes->Count == 0; });
}
