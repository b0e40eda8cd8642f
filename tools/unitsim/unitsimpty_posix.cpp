#include "unitsimpty.h"

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

// An owned file descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int Fd)
        : FFd(Fd)
    {
    }
    ~TFd() { Close(); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;

    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    void Reset(int Fd)
    {
        Close();
        FFd = Fd;
    }
    void Close()
    {
        if (FFd >= 0)
            ::close(FFd); // nothing to do about a failed close of a descriptor we give up
        FFd = -1;
    }

private:
    int FFd = -1;
};

void AddFdFlags(int Fd, int Flags)
{
    const int Current = ::fcntl(Fd, F_GETFL);
    Check(Current, "fcntl(F_GETFL)");
    Check(::fcntl(Fd, F_SETFL, Current | Flags), "fcntl(F_SETFL)");
}

void CloseOnExec(int Fd)
{
    Check(::fcntl(Fd, F_SETFD, FD_CLOEXEC), "fcntl(F_SETFD)");
}

// The slave passes bytes unchanged: no echo, no CR/LF translation, no line editing.
void MakeRaw(int Fd)
{
    termios Settings{};
    Check(::tcgetattr(Fd, &Settings), "tcgetattr");
    ::cfmakeraw(&Settings);
    Check(::tcsetattr(Fd, TCSANOW, &Settings), "tcsetattr");
}

std::string TerminalName(int Fd)
{
    char Name[PATH_MAX];
    const int Error = ::ttyname_r(Fd, Name, sizeof Name);
    if (Error != 0)
        throw std::system_error(Error, std::generic_category(), "ttyname_r");
    return Name;
}

int PollTimeout(TUnitTime Due)
{
    if (Due == TUnitTime::max())
        return -1;
    const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Due - TUnitClock::now());
    return static_cast<int>(std::clamp<long long>(Left.count(), 0, INT_MAX));
}

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
    int MasterFd = -1;
    int SlaveFd = -1;
    Check(::openpty(&MasterFd, &SlaveFd, nullptr, nullptr, nullptr), "openpty");
    Master.Reset(MasterFd);
    Slave.Reset(SlaveFd);
    CloseOnExec(MasterFd);
    CloseOnExec(SlaveFd);
    AddFdFlags(MasterFd, O_NONBLOCK);
    MakeRaw(SlaveFd);
    SlavePath = TerminalName(SlaveFd);

    int Pipe[2];
    Check(::pipe(Pipe), "pipe");
    WakeRead.Reset(Pipe[0]);
    WakeWrite.Reset(Pipe[1]);
    for (int Fd : Pipe) {
        CloseOnExec(Fd);
        AddFdFlags(Fd, O_NONBLOCK);
    }
}

void TUnitSimPty::TImpl::Serve()
{
    try {
        std::string Pending; // answer bytes the master has not taken yet
        for (;;) {
            {
                std::lock_guard Lock(Mutex);
                if (StopRequested)
                    return;
            }
            ServeOnce(Pending);
        }
    } catch (const std::exception &Error) {
        std::lock_guard Lock(Mutex);
        Failure = Error.what();
        ++Changes;
        StateChanged.notify_all();
    }
}

// One wait for the master, the wake-up pipe or the next answer's due time, and what follows.
void TUnitSimPty::TImpl::ServeOnce(std::string &Pending)
{
    TUnitTime NextDue;
    {
        std::lock_guard Lock(Mutex);
        NextDue = Sim.NextDue();
    }
    pollfd Fds[2] = {{WakeRead.Get(), POLLIN, 0}, {Master.Get(), POLLIN, 0}};
    if (!Pending.empty())
        Fds[1].events |= POLLOUT;
    const nfds_t Count = Master.IsOpen() ? 2 : 1;
    if (::poll(Fds, Count, PollTimeout(NextDue)) < 0) {
        if (errno == EINTR)
            return;
        RaiseSystemError("poll");
    }
    if (Fds[0].revents != 0)
        DrainWake();
    if (Count == 2 && (Fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        ReadFromMaster();

    std::lock_guard Lock(Mutex);
    // What fell due before the device went goes out first; answers that would have come after
    // are dropped, as a real device would lose them.
    const std::string Due = Sim.TakeDue();
    if (Master.IsOpen()) {
        Pending += Due;
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
    char Buffer[512];
    for (;;) {
        const ssize_t Got = ::read(Master.Get(), Buffer, sizeof Buffer);
        if (Got > 0) {
            std::lock_guard Lock(Mutex);
            Sim.Receive(std::string_view(Buffer, static_cast<std::size_t>(Got)));
            Changed();
            continue;
        }
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (Got < 0 && errno == EIO) {
            // Every slave descriptor is gone; cannot happen while we hold one, but a hang-up
            // must not turn into a busy loop.
            std::lock_guard Lock(Mutex);
            CloseDevice();
            return;
        }
        if (Got == 0)
            return;
        RaiseSystemError("read from the pseudo-terminal");
    }
}

// Called with Mutex held.
void TUnitSimPty::TImpl::WritePending(std::string &Pending)
{
    while (!Pending.empty()) {
        const ssize_t Put = ::write(Master.Get(), Pending.data(), Pending.size());
        if (Put < 0 && errno == EINTR)
            continue;
        if (Put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the program is not reading; POLLOUT tells when there is room again
        if (Put < 0)
            RaiseSystemError("write to the pseudo-terminal");
        const auto Written = static_cast<std::size_t>(Put);
        Replies.push_back({TUnitClock::now(), Pending.substr(0, Written)});
        Pending.erase(0, Written);
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
    const char Byte = 0;
    // A full pipe already holds a wake-up, so EAGAIN is as good as success.
    if (::write(WakeWrite.Get(), &Byte, 1) < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        RaiseSystemError("write to the wake-up pipe");
}

void TUnitSimPty::TImpl::DrainWake()
{
    char Buffer[64];
    while (::read(WakeRead.Get(), Buffer, sizeof Buffer) > 0) {
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
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Sim.Eeprom();
}

std::vector<TUnitFrame> TUnitSimPty::Frames() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Sim.Frames();
}

std::vector<TUnitReply> TUnitSimPty::Replies() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Replies;
}

int TUnitSimPty::ProbeCount() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Sim.ProbeCount();
}

bool TUnitSimPty::LoaderListening() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Sim.LoaderListening();
}

bool TUnitSimPty::Unplugged() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->DeviceClosed;
}

std::string TUnitSimPty::Failure() const
{
    std::lock_guard Lock(FImpl->Mutex);
    return FImpl->Failure;
}

bool TUnitSimPty::WaitFor(const std::function<bool()> &Condition,
                          std::chrono::milliseconds Timeout) const
{
    const auto Deadline = std::chrono::steady_clock::now() + Timeout;
    std::unique_lock Lock(FImpl->Mutex);
    for (;;) {
        const auto Seen = FImpl->Changes;
        Lock.unlock();
        if (Condition())
            return true;
        Lock.lock();
        if (!FImpl->StateChanged.wait_until(Lock, Deadline,
                                            [&] { return FImpl->Changes != Seen; })) {
            Lock.unlock();
            return Condition();
        }
    }
}

bool TUnitSimPty::WaitFor(const std::function<bool()> &Condition, std::stop_token Stop) const
{
    // Notifying under the lock: a request cannot slip in between the waiter's test and its wait.
    const std::stop_callback wake(Stop, [this] {
        std::lock_guard lock(FImpl->Mutex);
        FImpl->StateChanged.notify_all();
    });
    std::unique_lock lock(FImpl->Mutex);
    for (;;) {
        const auto seen = FImpl->Changes;
        lock.unlock();
        if (Condition())
            return true;
        lock.lock();
        FImpl->StateChanged.wait(lock,
                                 [&] { return FImpl->Changes != seen || Stop.stop_requested(); });
        if (Stop.stop_requested()) {
            lock.unlock();
            return Condition();
        }
    }
}

bool TUnitSimPty::WaitForFrames(std::size_t Count, std::chrono::milliseconds Timeout) const
{
    return WaitFor([&] { return Frames().size() >= Count; }, Timeout);
}

void TUnitSimPty::Unplug()
{
    std::unique_lock Lock(FImpl->Mutex);
    if (!FImpl->Thread.joinable()) {
        FImpl->CloseDevice();
        return;
    }
    FImpl->UnplugRequested = true;
    FImpl->Wake();
    FImpl->StateChanged.wait(Lock, [&] { return FImpl->DeviceClosed || !FImpl->Failure.empty(); });
}

nlohmann::json TUnitSimPty::ReportJson() const
{
    std::lock_guard Lock(FImpl->Mutex);
    nlohmann::json Report =
        UnitReportJson({FImpl->Start, FImpl->Sim.Frames(), FImpl->Replies, FImpl->Sim.Eeprom(),
                        FImpl->Sim.ProbeCount(), FImpl->DeviceClosed});
    Report["slave"] = FImpl->SlavePath;
    return Report;
}

void TUnitSimPty::Stop()
{
    if (!FImpl->Thread.joinable())
        return;
    {
        std::lock_guard Lock(FImpl->Mutex);
        FImpl->StopRequested = true;
        FImpl->Wake();
    }
    FImpl->Thread.join();
    FImpl->Master.Close();
    FImpl->Slave.Close();
}
