#include "commfixture.h"

#include "serapplication.h"
#include "serhandover.h"

void UseProgramSettings(TSerCustomComm &Comm, const std::string &DevicePath)
{
    Comm.SetDeviceName(DevicePath);
    Comm.SetBaudrate(TSerBaudrate::brUser);
    Comm.SetUserBaudrate(500000);
    Comm.SetStopbits(TSerStopbits::sb2);
    Comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
    Comm.SetEventPriority(TThreadPriority::tpHighest);
    Comm.SetDirectWrite(true);
}

bool ServeUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout)
{
    return TSerHandOver::Main().ServeUntil(Done, Timeout);
}

THandOverCounter::THandOverCounter()
{
    TSerHandOver::Main().SetWakeUp([this] { ++FCount; });
}

THandOverCounter::~THandOverCounter()
{
    TSerHandOver::Main().SetWakeUp(nullptr);
}

bool THandOverCounter::ServeBeyond(int Seen, std::chrono::milliseconds Timeout)
{
    // A call is queued before its wake-up runs, so one more Serve runs it once it is counted.
    if (!ServeUntil([&] { return FCount > Seen; }, Timeout))
        return false;
    TSerHandOver::Main().Serve();
    return true;
}

bool WaitUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (!ServeUntil(Done, 5ms)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

TCaughtErrors::TCaughtErrors(std::function<void()> WhileShown)
    : FWhileShown(std::move(WhileShown))
{
    SetSerExceptionHandler([this](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception &e) {
            std::lock_guard lock(FLock);
            FMessages.emplace_back(e.what());
            FThreads.push_back(std::this_thread::get_id());
        }
        if (FWhileShown)
            FWhileShown();
    });
}

TCaughtErrors::~TCaughtErrors()
{
    SetSerExceptionHandler(nullptr);
}

std::vector<std::string> TCaughtErrors::Messages() const
{
    std::lock_guard lock(FLock);
    return FMessages;
}

std::vector<std::thread::id> TCaughtErrors::Threads() const
{
    std::lock_guard lock(FLock);
    return FThreads;
}
