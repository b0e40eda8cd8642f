#include "unitsimpty.h"

#include "unitsimline.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using TLock = std::unique_lock<std::mutex>;

} // namespace

struct TUnitSimPty::TImpl {
    explicit TImpl(TUnitSimOptions Options)
        : Line(TUnitSimLine::Open())
        , Sim(std::move(Options))
    {
    }

    void Serve();
    void ServeOnce(std::string &Pending);
    void WritePending(std::string &Pending);
    void CloseDevice();
    void Changed();
    // Tests Condition now and at every change of state until it holds, or until
    // WaitForChange(lock, changes seen) gives false; then tests it a last time.
    template <typename Wait>
    bool TestAtEveryChange(const std::function<bool()> &Condition, Wait &&WaitForChange);

    std::unique_ptr<TUnitSimLine> Line;
    std::thread Thread;

    mutable std::mutex Mutex;
    mutable std::condition_variable StateChanged;
    unsigned long long Changes = 0;
    TUnitSim Sim;
    TUnitTime Start = TUnitClock::now();
    std::vector<TUnitReply> Replies;
    bool DeviceClosed = false;
    bool StopRequested = false;
    bool UnplugRequested = false;
    std::string Failure;
};

void TUnitSimPty::TImpl::Serve()
{
    try {
        std::string pending; // answer bytes the line has not taken yet
        for (;;) {
            {
                std::lock_guard lock(Mutex);
                if (StopRequested)
                    return;
            }
            ServeOnce(pending);
        }
    } catch (const std::exception &error) {
        std::lock_guard lock(Mutex);
        Failure = error.what();
        Changed();
    }
}

// One wait for bytes, a wake-up, room on the line or the next answer's due time, and what
// follows.
void TUnitSimPty::TImpl::ServeOnce(std::string &Pending)
{
    TUnitTime nextDue;
    {
        std::lock_guard lock(Mutex);
        nextDue = Sim.NextDue();
    }
    const std::string received = Line->Wait(nextDue, !Pending.empty());

    std::lock_guard lock(Mutex);
    if (!received.empty())
        Sim.Receive(received);
    // What fell due before the device went goes out first; answers that would have come after
    // are dropped, as a real device would lose them.
    const std::string due = Sim.TakeDue();
    if (Line->IsOpen()) {
        Pending += due;
        WritePending(Pending);
    }
    // A line that hung up by itself is a device gone as well.
    if (UnplugRequested || Sim.Unplugged() || !Line->IsOpen()) {
        UnplugRequested = false;
        CloseDevice();
        Pending.clear();
    }
    Changed();
}

// Called with Mutex held.
void TUnitSimPty::TImpl::WritePending(std::string &Pending)
{
    while (!Pending.empty()) {
        const std::size_t written = Line->Write(Pending);
        if (written == 0)
            return; // the program is not reading; the next wait tells when there is room
        Replies.push_back({TUnitClock::now(), Pending.substr(0, written)});
        Pending.erase(0, written);
    }
}

// Called with Mutex held.
void TUnitSimPty::TImpl::CloseDevice()
{
    if (DeviceClosed)
        return;
    Line->Close();
    DeviceClosed = true;
}

// Called with Mutex held.
void TUnitSimPty::TImpl::Changed()
{
    ++Changes;
    StateChanged.notify_all();
}

TUnitSimPty::TUnitSimPty(TUnitSimOptions Options)
    : FImpl(std::make_unique<TImpl>(std::move(Options)))
{
    FImpl->Thread = std::thread([this] { FImpl->Serve(); });
}

TUnitSimPty::~TUnitSimPty()
{
    Stop();
}

const std::string &TUnitSimPty::SlavePath() const
{
    return FImpl->Line->ProgramPort();
}

std::vector<std::uint8_t> TUnitSimPty::Eeprom() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Sim.Eeprom();
}

std::vector<TUnitFrame> TUnitSimPty::Frames() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Sim.Frames();
}

std::vector<TUnitReply> TUnitSimPty::Replies() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Replies;
}

int TUnitSimPty::ProbeCount() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Sim.ProbeCount();
}

bool TUnitSimPty::LoaderListening() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Sim.LoaderListening();
}

bool TUnitSimPty::Unplugged() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->DeviceClosed;
}

std::string TUnitSimPty::Failure() const
{
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Failure;
}

// Condition is tested without the lock, since it may call the accessors; a change in between
// is not missed, as the wait compares the count of changes seen before the test.
template <typename Wait>
bool TUnitSimPty::TImpl::TestAtEveryChange(const std::function<bool()> &Condition,
                                           Wait &&WaitForChange)
{
    std::unique_lock lock(Mutex);
    for (;;) {
        const auto seen = Changes;
        lock.unlock();
        if (Condition())
            return true;
        lock.lock();
        if (!WaitForChange(lock, seen)) {
            lock.unlock();
            return Condition();
        }
    }
}

bool TUnitSimPty::WaitFor(const std::function<bool()> &Condition,
                          std::chrono::milliseconds Timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    return FImpl->TestAtEveryChange(Condition, [&](TLock &Lock, unsigned long long Seen) {
        return FImpl->StateChanged.wait_until(Lock, deadline,
                                              [&] { return FImpl->Changes != Seen; });
    });
}

bool TUnitSimPty::WaitFor(const std::function<bool()> &Condition, std::stop_token Stop) const
{
    // Notifying under the lock: a request cannot slip in between the waiter's test and its wait.
    const std::stop_callback wake(Stop, [this] {
        std::lock_guard lock(FImpl->Mutex);
        FImpl->StateChanged.notify_all();
    });
    return FImpl->TestAtEveryChange(Condition, [&](TLock &Lock, unsigned long long Seen) {
        FImpl->StateChanged.wait(Lock,
                                 [&] { return FImpl->Changes != Seen || Stop.stop_requested(); });
        return !Stop.stop_requested();
    });
}

bool TUnitSimPty::WaitForFrames(std::size_t Count, std::chrono::milliseconds Timeout) const
{
    return WaitFor([&] { return Frames().size() >= Count; }, Timeout);
}

void TUnitSimPty::Unplug()
{
    std::unique_lock lock(FImpl->Mutex);
    if (!FImpl->Thread.joinable()) {
        FImpl->CloseDevice();
        return;
    }
    FImpl->UnplugRequested = true;
    FImpl->Line->Wake();
    FImpl->StateChanged.wait(lock, [&] { return FImpl->DeviceClosed || !FImpl->Failure.empty(); });
}

TUnitRecord TUnitSimPty::Record() const
{
    std::lock_guard lock(FImpl->Mutex);
    return {FImpl->Start,        FImpl->Sim.Frames(),     FImpl->Replies,
            FImpl->Sim.Eeprom(), FImpl->Sim.ProbeCount(), FImpl->DeviceClosed};
}

void TUnitSimPty::Stop()
{
    if (!FImpl->Thread.joinable())
        return;
    {
        std::lock_guard lock(FImpl->Mutex);
        FImpl->StopRequested = true;
        FImpl->Line->Wake();
    }
    FImpl->Thread.join();
    FImpl->Line->Close();
}
