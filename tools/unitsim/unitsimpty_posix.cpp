#include "unitsimpty.h"

#include "serfd_posix.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void RaiseSystemError(const char *What)
{
    throw std::system_error(errno, std::generic_category(), What);
}

void Check(int Result, const char *What)
{
    if (Result < 0)
        RaiseSystemError(What);
}

void AddFdFlags(int Fd, int Flags)
{
    const int current = ::fcntl(Fd, F_GETFL);
    Check(current, "fcntl(F_GETFL)");
    Check(::fcntl(Fd, F_SETFL, current | Flags), "fcntl(F_SETFL)");
}

void CloseOnExec(int Fd)
{
    Check(::fcntl(Fd, F_SETFD, FD_CLOEXEC), "fcntl(F_SETFD)");
}

// The slave passes bytes unchanged: no echo, no CR/LF translation, no line editing.
void MakeRaw(int Fd)
{
    termios settings{};
    Check(::tcgetattr(Fd, &settings), "tcgetattr");
    ::cfmakeraw(&settings);
    Check(::tcsetattr(Fd, TCSANOW, &settings), "tcsetattr");
}

std::string TerminalName(int Fd)
{
    char name[PATH_MAX];
    const int error = ::ttyname_r(Fd, name, sizeof name);
    if (error != 0)
        throw std::system_error(error, std::generic_category(), "ttyname_r");
    return name;
}

int PollTimeout(TUnitTime Due)
{
    if (Due == TUnitTime::max())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Due - TUnitClock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

using TLock = std::unique_lock<std::mutex>;

} // namespace

struct TUnitSimPty::TImpl {
    explicit TImpl(TUnitSimOptions Options)
        : Sim(std::move(Options))
    {
    }

    void Open();
    void Serve();
    void ServeOnce(std::string &Pending);
    void ReadFromMaster();
    void WritePending(std::string &Pending);
    void CloseDevice();
    void Wake();
    void DrainWake();
    void Changed();
    // Tests Condition now and at every change of state until it holds, or until
    // WaitForChange(lock, changes seen) gives false; then tests it a last time.
    template <typename Wait>
    bool TestAtEveryChange(const std::function<bool()> &Condition, Wait &&WaitForChange);

    TFd Master;
    TFd Slave; // kept open so the master sees no hang-up while the program reopens the port
    TFd WakeRead;
    TFd WakeWrite;
    std::string SlavePath;
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

void TUnitSimPty::TImpl::Open()
{
    int masterFd = -1;
    int slaveFd = -1;
    Check(::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr), "openpty");
    Master.Reset(masterFd);
    Slave.Reset(slaveFd);
    CloseOnExec(masterFd);
    CloseOnExec(slaveFd);
    AddFdFlags(masterFd, O_NONBLOCK);
    MakeRaw(slaveFd);
    SlavePath = TerminalName(slaveFd);

    int pipe[2];
    Check(::pipe(pipe), "pipe");
    WakeRead.Reset(pipe[0]);
    WakeWrite.Reset(pipe[1]);
    for (int fd : pipe) {
        CloseOnExec(fd);
        AddFdFlags(fd, O_NONBLOCK);
    }
}

void TUnitSimPty::TImpl::Serve()
{
    try {
        std::string pending; // answer bytes the master has not taken yet
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
        ++Changes;
        StateChanged.notify_all();
    }
}

// One wait for the master, the wake-up pipe or the next answer's due time, and what follows.
void TUnitSimPty::TImpl::ServeOnce(std::string &Pending)
{
    TUnitTime nextDue;
    {
        std::lock_guard lock(Mutex);
        nextDue = Sim.NextDue();
    }
    pollfd fds[2] = {{WakeRead.Get(), POLLIN, 0}, {Master.Get(), POLLIN, 0}};
    if (!Pending.empty())
        fds[1].events |= POLLOUT;
    const nfds_t count = Master.IsOpen() ? 2 : 1;
    if (::poll(fds, count, PollTimeout(nextDue)) < 0) {
        if (errno == EINTR)
            return;
        RaiseSystemError("poll");
    }
    if (fds[0].revents != 0)
        DrainWake();
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        ReadFromMaster();

    std::lock_guard lock(Mutex);
    // What fell due before the device went goes out first; answers that would have come after
    // are dropped, as a real device would lose them.
    const std::string due = Sim.TakeDue();
    if (Master.IsOpen()) {
        Pending += due;
        WritePending(Pending);
    }
    if (UnplugRequested || Sim.Unplugged()) {
        UnplugRequested = false;
        CloseDevice();
        Pending.clear();
    }
    Changed();
}

void TUnitSimPty::TImpl::ReadFromMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(Master.Get(), buffer, sizeof buffer);
        if (got > 0) {
            std::lock_guard lock(Mutex);
            Sim.Receive(std::string_view(buffer, static_cast<std::size_t>(got)));
            Changed();
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got < 0 && errno == EIO) {
            // Every slave descriptor is gone; cannot happen while we hold one, but a hang-up
            // must not turn into a busy loop.
            std::lock_guard lock(Mutex);
            CloseDevice();
            return;
        }
        if (got == 0)
            return;
        RaiseSystemError("read from the pseudo-terminal");
    }
}

// Called with Mutex held.
void TUnitSimPty::TImpl::WritePending(std::string &Pending)
{
    while (!Pending.empty()) {
        const ssize_t put = ::write(Master.Get(), Pending.data(), Pending.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the program is not reading; POLLOUT tells when there is room again
        if (put < 0)
            RaiseSystemError("write to the pseudo-terminal");
        const auto written = static_cast<std::size_t>(put);
        Replies.push_back({TUnitClock::now(), Pending.substr(0, written)});
        Pending.erase(0, written);
    }
}

// Called with Mutex held.
void TUnitSimPty::TImpl::CloseDevice()
{
    if (DeviceClosed)
        return;
    Master.Close();
    Slave.Close();
    DeviceClosed = true;
}

void TUnitSimPty::TImpl::Wake()
{
    const char byte = 0;
    // A full pipe already holds a wake-up, so EAGAIN is as good as success.
    if (::write(WakeWrite.Get(), &byte, 1) < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        RaiseSystemError("write to the wake-up pipe");
}

void TUnitSimPty::TImpl::DrainWake()
{
    char buffer[64];
    while (::read(WakeRead.Get(), buffer, sizeof buffer) > 0) {
    }
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
    FImpl->Open();
    FImpl->Thread = std::thread([this] { FImpl->Serve(); });
}

TUnitSimPty::~TUnitSimPty()
{
    Stop();
}

const std::string &TUnitSimPty::SlavePath() const
{
    return FImpl->SlavePath;
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
    FImpl->Wake();
    FImpl->StateChanged.wait(lock, [&] { return FImpl->DeviceClosed || !FImpl->Failure.empty(); });
}

nlohmann::json TUnitSimPty::ReportJson() const
{
    std::lock_guard lock(FImpl->Mutex);
    nlohmann::json report =
        UnitReportJson({FImpl->Start, FImpl->Sim.Frames(), FImpl->Replies, FImpl->Sim.Eeprom(),
                        FImpl->Sim.ProbeCount(), FImpl->DeviceClosed});
    report["slave"] = FImpl->SlavePath;
    return report;
}

void TUnitSimPty::Stop()
{
    if (!FImpl->Thread.joinable())
        return;
    {
        std::lock_guard lock(FImpl->Mutex);
        FImpl->StopRequested = true;
        FImpl->Wake();
    }
    FImpl->Thread.join();
    FImpl->Master.Close();
    FImpl->Slave.Close();
}
