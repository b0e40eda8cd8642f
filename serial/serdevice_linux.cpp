// The serial device on Linux: a tty opened non-blocking, waited on with epoll.
//
// Events as Linux can deliver them (each reported only when it is monitored):
//   EV_RXCHAR    an edge-triggered EPOLLIN on the tty: each new arrival once; bytes left unread
//                do not wake the wait again
//   EV_TXEMPTY   a write-room wake-up of the tty (EPOLLOUT, edge-triggered, on a second
//                descriptor so that it cannot report unread bytes) that finds the output queue
//                empty after a write; ptys give these only when their reader makes room
//   EV_ERR       the frame, overrun, parity or buffer-overrun counters (TIOCGICOUNT) grew
//   EV_BREAK     the break counter grew
//   EV_CTS, EV_DSR, EV_RLSD, EV_RING   the modem lines (TIOCMGET) changed
//   EV_RXFLAG, EV_PERR, EV_RX80FULL, EV_EVENT1, EV_EVENT2   never: Linux has no such events
// Counters and modem lines have no wake-up of their own (only TIOCMIWAIT, which blocks a
// thread alone); they are compared at every wake-up, and line errors and breaks always come
// with a received byte. Devices without counters or modem lines report no change.
//
// Queue sizes and driver time-outs: the tty's queues have a fixed size, and reads return at
// once because the descriptor is non-blocking; SetupBuffers and SetTimeouts only check.
#include "serdevice.h"

#include "serexception.h"
#include "serfd_posix.h"
#include "serline_linux.h"
#include "serlockfile_linux.h"

#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

// The line counters, or nothing for devices that keep none.
bool ReadCounters(int Fd, serial_icounter_struct &Counts)
{
    if (ioctl(Fd, TIOCGICOUNT, &Counts) == 0)
        return true;
    if (SerNoSuchFeature(errno))
        return false;
    RaiseCommError(SStatisticsError);
}

// The modem lines, or 0 for devices without them. A device that has gone answers 0 too: the
// wait that follows finds out that it has gone.
int ReadModemLines(int Fd)
{
    int lines = 0;
    if (ioctl(Fd, TIOCMGET, &lines) != 0)
        return 0;
    return lines;
}

// What an epoll event came from.
enum TSource : std::uint64_t { srcWakeup, srcInput, srcOutput };

// Adds Fd to the epoll set, its events tagged with Source.
bool AddToEpoll(int Epoll, int Fd, TSource Source, std::uint32_t Events)
{
    epoll_event event{};
    event.events = Events;
    event.data.u64 = Source;
    return epoll_ctl(Epoll, EPOLL_CTL_ADD, Fd, &event) == 0;
}

std::uint32_t ErrorFlags(const serial_icounter_struct &Old, const serial_icounter_struct &New)
{
    std::uint32_t errors = 0;
    if (New.frame != Old.frame)
        errors |= SerLineError::Frame;
    if (New.overrun != Old.overrun)
        errors |= SerLineError::Overrun;
    if (New.parity != Old.parity)
        errors |= SerLineError::RxParity;
    if (New.brk != Old.brk)
        errors |= SerLineError::Break;
    if (New.buf_overrun != Old.buf_overrun)
        errors |= SerLineError::RxOver;
    return errors;
}

std::uint32_t ModemEvents(int Old, int New)
{
    const int changed = Old ^ New;
    std::uint32_t events = 0;
    if (changed & TIOCM_CTS)
        events |= SerEv::Cts;
    if (changed & TIOCM_DSR)
        events |= SerEv::Dsr;
    if (changed & TIOCM_CD)
        events |= SerEv::Rlsd;
    if (changed & TIOCM_RI)
        events |= SerEv::Ring;
    return events;
}

// Asks the driver for low latency and for a close that does not wait for the output to drain.
// Best effort: ptys have no such settings, and the closing wait needs privileges.
void TuneDriver(int Fd)
{
    serial_struct info{};
    if (ioctl(Fd, TIOCGSERIAL, &info) != 0)
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(Fd, TIOCSSERIAL, &info) != 0)
        return;
    info.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    ioctl(Fd, TIOCSSERIAL, &info);
}

class TSerLinuxDevice : public TSerDevice {
public:
    TSerLinuxDevice(TFd Device, TFd Epoll, TFd Wakeup)
        : FDevice(std::move(Device))
        , FEpoll(std::move(Epoll))
        , FWakeup(std::move(Wakeup))
    {
    }

    ~TSerLinuxDevice() override
    {
        // Whatever still waits to be sent would hold close() until it has drained.
        ioctl(FDevice.Get(), TCFLSH, TCOFLUSH);
        // The exclusive flag outlives this descriptor while anyone else keeps the tty open
        // (the far end of a pseudo-terminal does), and would refuse their next open and ours.
        if (FExclusive)
            ioctl(FDevice.Get(), TIOCNXCL);
    }

    // The tty is ours: keeps every later open of it out (root's aside), with a flag that goes
    // with this device, and tunes its driver.
    void Claim(const std::string &Path);

    void WriteSettings(const TSerLineSettings &Settings) override
    {
        SerWriteLineSettings(FDevice.Get(), Settings);
        FCtsFlow = SerHardwareFlow(Settings);
    }

    void SetupBuffers(std::int32_t ReadSize, std::int32_t WriteSize) override
    {
        if (ReadSize < 0 || WriteSize < 0)
            RaiseCommError(SBuffersError, EINVAL);
    }

    void SetTimeouts() override
    {
        const int flags = fcntl(FDevice.Get(), F_GETFL);
        CheckCommResult(flags != -1, STimeoutsError);
        if ((flags & O_NONBLOCK) == 0)
            RaiseCommError(STimeoutsError, EINVAL);
    }

    void SetEventMask(std::uint32_t Mask) override;
    int Read(std::uint8_t *Buffer, int Count, int TimeoutMs) override;
    int Write(const std::uint8_t *Buffer, int Count, int TimeoutMs) override;
    void Purge(std::uint32_t Flags) override;
    TSerStatistics Statistics() override;
    bool Vanished() override;
    std::uint32_t WaitEvents() override;
    void Wake() override;

private:
    void Watch(int Fd, TSource Source, std::uint32_t Events);
    void Forget(int Fd);
    void DeviceGone();
    bool OutputDrained();
    std::uint32_t LineEvents();

    TFd FDevice;
    TFd FEpoll;
    TFd FWakeup;
    bool FExclusive = false; // this device set the tty's exclusive flag

    // GUI thread only.
    bool FCtsFlow = false;
    bool FHaveStatCounts = false;
    serial_icounter_struct FStatCounts{};

    // Set before the event thread starts, then the event thread's alone.
    std::uint32_t FMask = 0;
    TFd FOutput;                     // a second descriptor of the tty for the write-room wake-ups
    std::atomic<bool> FGone = false; // read by the GUI thread's transfers too
    bool FHaveWaitCounts = false;
    serial_icounter_struct FWaitCounts{};
    int FWaitModem = 0;

    std::atomic<bool> FWritten = false; // a write went out since EV_TXEMPTY was last reported
};

void TSerLinuxDevice::Watch(int Fd, TSource Source, std::uint32_t Events)
{
    CheckCommResult(AddToEpoll(FEpoll.Get(), Fd, Source, Events), SEventMaskError);
}

void TSerLinuxDevice::Forget(int Fd)
{
    // Only fails for a descriptor that is not watched, which is what we want anyway.
    epoll_ctl(FEpoll.Get(), EPOLL_CTL_DEL, Fd, nullptr);
}

void TSerLinuxDevice::SetEventMask(std::uint32_t Mask)
{
    FMask = Mask;
    Watch(FDevice.Get(), srcInput, EPOLLIN | EPOLLET);
    if (Mask & SerEv::TxEmpty) {
        FOutput = TFd(fcntl(FDevice.Get(), F_DUPFD_CLOEXEC, 0));
        CheckCommResult(FOutput.Get() >= 0, SEventMaskError);
        Watch(FOutput.Get(), srcOutput, EPOLLOUT | EPOLLET);
    }
    FHaveWaitCounts = ReadCounters(FDevice.Get(), FWaitCounts);
    FWaitModem = ReadModemLines(FDevice.Get());
}

int TSerLinuxDevice::Read(std::uint8_t *Buffer, int Count, int)
{
    for (;;) {
        const ssize_t got = read(FDevice.Get(), Buffer, static_cast<std::size_t>(Count));
        if (got >= 0)
            return static_cast<int>(got);
        if (errno == EAGAIN)
            return 0;
        if (errno != EINTR)
            RaiseCommError(SReadError);
    }
}

int TSerLinuxDevice::Write(const std::uint8_t *Buffer, int Count, int TimeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(TimeoutMs);
    int done = 0;
    while (done < Count) {
        const ssize_t put =
            write(FDevice.Get(), Buffer + done, static_cast<std::size_t>(Count - done));
        if (put > 0) {
            done += static_cast<int>(put);
            FWritten = true;
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            RaiseCommError(SWriteError);
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        pollfd writable{FDevice.Get(), POLLOUT, 0};
        const int ready = left > 0 ? poll(&writable, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno != EINTR)
            RaiseCommError(SWriteError);
        if (ready == 0) {
            // Timed out: what was taken of this write must not go out later.
            ioctl(FDevice.Get(), TCFLSH, TCOFLUSH);
            return 0;
        }
    }
    return done;
}

void TSerLinuxDevice::Purge(std::uint32_t Flags)
{
    const bool input = Flags & (SerPurge::RxAbort | SerPurge::RxClear);
    const bool output = Flags & (SerPurge::TxAbort | SerPurge::TxClear);
    if (!input && !output)
        return;
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    CheckCommResult(ioctl(FDevice.Get(), TCFLSH, queue) == 0, SPurgeError);
}

TSerStatistics TSerLinuxDevice::Statistics()
{
    // A hung-up tty still answers the queue queries; the device behind it is gone all the same.
    if (FGone)
        RaiseCommError(SStatisticsError, EIO);
    TSerStatistics statistics;
    int inQueue = 0;
    int outQueue = 0;
    CheckCommResult(ioctl(FDevice.Get(), FIONREAD, &inQueue) == 0, SStatisticsError);
    CheckCommResult(ioctl(FDevice.Get(), TIOCOUTQ, &outQueue) == 0, SStatisticsError);
    statistics.InQue = static_cast<std::uint32_t>(inQueue);
    statistics.OutQue = static_cast<std::uint32_t>(outQueue);

    serial_icounter_struct counts{};
    if (ReadCounters(FDevice.Get(), counts)) {
        if (FHaveStatCounts)
            statistics.Errors = ErrorFlags(FStatCounts, counts);
        FStatCounts = counts;
        FHaveStatCounts = true;
    }
    // The only hold Linux lets us see: output waiting for CTS under hardware flow control.
    constexpr std::uint32_t ctsHold = 0x1;
    if (FCtsFlow && (ReadModemLines(FDevice.Get()) & TIOCM_CTS) == 0)
        statistics.Status |= ctsHold;
    return statistics;
}

// A tty that has been hung up (a USB adapter unplugged, the master of a pseudo-terminal closed)
// fails every request with an I/O error, even the query of its line settings.
bool TSerLinuxDevice::Vanished()
{
    termios2 settings{};
    if (!FGone && ioctl(FDevice.Get(), TCGETS2, &settings) != 0 && errno == EIO)
        FGone = true;
    return FGone;
}

void TSerLinuxDevice::DeviceGone()
{
    // The tty now reports hang-up for ever; only the wake-up may end a wait from here on.
    Forget(FDevice.Get());
    if (FOutput.Get() >= 0)
        Forget(FOutput.Get());
    FGone = true;
}

bool TSerLinuxDevice::OutputDrained()
{
    int outQueue = 0;
    if (ioctl(FDevice.Get(), TIOCOUTQ, &outQueue) != 0 || outQueue != 0)
        return false;
    return FWritten.exchange(false);
}

std::uint32_t TSerLinuxDevice::LineEvents()
{
    std::uint32_t events = 0;
    serial_icounter_struct counts{};
    if (FHaveWaitCounts && (FMask & (SerEv::Err | SerEv::Break)) &&
        ioctl(FDevice.Get(), TIOCGICOUNT, &counts) == 0) {
        const std::uint32_t errors = ErrorFlags(FWaitCounts, counts);
        if (errors & (SerLineError::Frame | SerLineError::Overrun | SerLineError::RxParity |
                      SerLineError::RxOver))
            events |= SerEv::Err;
        if (errors & SerLineError::Break)
            events |= SerEv::Break;
        FWaitCounts = counts;
    }
    if (FMask & (SerEv::Cts | SerEv::Dsr | SerEv::Rlsd | SerEv::Ring)) {
        const int modem = ReadModemLines(FDevice.Get());
        events |= ModemEvents(FWaitModem, modem);
        FWaitModem = modem;
    }
    return events;
}

std::uint32_t TSerLinuxDevice::WaitEvents()
{
    for (;;) {
        epoll_event ready[3];
        const int count = epoll_wait(FEpoll.Get(), ready, 3, -1);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            // Cannot happen with our own epoll descriptor; block on the wake-up alone.
            pollfd wakeup{FWakeup.Get(), POLLIN, 0};
            poll(&wakeup, 1, -1);
        }
        bool woken = count < 0;
        std::uint32_t events = 0;
        for (int i = 0; i < count; ++i) {
            switch (ready[i].data.u64) {
            case srcWakeup:
                woken = true;
                break;
            case srcInput:
                if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
                    // Announced once more, so that the reader learns the device has gone.
                    if (!FGone)
                        events |= SerEv::RxChar;
                    DeviceGone();
                } else if (ready[i].events & EPOLLIN)
                    events |= SerEv::RxChar;
                break;
            case srcOutput:
                if (!FGone && OutputDrained())
                    events |= SerEv::TxEmpty;
                break;
            }
        }
        if (woken) {
            std::uint64_t value = 0;
            // Resets the eventfd; EAGAIN means another wait already took it, also fine.
            [[maybe_unused]] const ssize_t got = read(FWakeup.Get(), &value, sizeof value);
            return 0;
        }
        if (!FGone)
            events |= LineEvents();
        events &= FMask;
        if (events != 0)
            return events;
    }
}

void TSerLinuxDevice::Wake()
{
    const std::uint64_t one = 1;
    // Fails only when the counter would overflow, and then the wait is woken anyway.
    [[maybe_unused]] const ssize_t put = write(FWakeup.Get(), &one, sizeof one);
}

// The open of Path failed with errno.
[[noreturn]] void RaiseLastOpenError(const std::string &Path)
{
    const int code = errno;
    RaiseOpenError(Path, code, code == ENOENT);
}

// A tty that a running program has claimed with a lock file is left exactly as it was.
void CheckNotLockedByOthers(const std::string &Path)
{
    const std::string lockFile = SerLockFileOf(Path);
    if (const std::optional<pid_t> owner = SerLockOwner(lockFile))
        RaiseCommError("Can't open specified device " + SerEscapePattern(Path) +
                           " (Error %d, %s: locked by process " + std::to_string(*owner) + " in " +
                           SerEscapePattern(lockFile) + ")",
                       EBUSY);
}

// Root gets through another program's exclusive flag; that program's tty stays its own.
void CheckNotMarkedByOthers(int Fd, const std::string &Path)
{
    int taken = 0;
    if (ioctl(Fd, TIOCGEXCL, &taken) == 0 && taken) {
        errno = EBUSY;
        RaiseLastOpenError(Path);
    }
}

// Opens the tty and makes sure that nobody else claims it: no other program's lock file, before
// the open (such a tty is not even opened) and again after it (a slow open gives another program
// time to claim the tty), the tty's lock (flock) taken, which keeps out everyone who asks for it,
// root included, and no other program's exclusive flag. Nothing here changes the tty, and a
// tty that is refused, or whose open was given up, is closed without a flush: what another
// program has sent is not ours to discard.
TFd OpenUnclaimed(const std::string &Path, const std::function<bool()> &GivenUp)
{
    CheckNotLockedByOthers(Path);
    TFd device(open(Path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (device.Get() < 0)
        RaiseLastOpenError(Path);
    if (GivenUp && GivenUp())
        return TFd();
    CheckNotLockedByOthers(Path);
    if (flock(device.Get(), LOCK_EX | LOCK_NB) != 0)
        RaiseLastOpenError(Path);
    CheckNotMarkedByOthers(device.Get(), Path);
    return device;
}

void TSerLinuxDevice::Claim(const std::string &Path)
{
    if (ioctl(FDevice.Get(), TIOCEXCL) == 0)
        FExclusive = true;
    else if (!SerNoSuchFeature(errno))
        RaiseLastOpenError(Path);
    TuneDriver(FDevice.Get());
}

} // namespace

std::unique_ptr<TSerDevice> TSerDevice::Open(const std::string &Path,
                                             const std::function<bool()> &GivenUp)
{
    TFd device = OpenUnclaimed(Path, GivenUp);
    if (!device.IsOpen())
        return nullptr;
    TFd epoll(epoll_create1(EPOLL_CLOEXEC));
    if (epoll.Get() < 0)
        RaiseLastOpenError(Path);
    TFd wakeup(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wakeup.Get() < 0)
        RaiseLastOpenError(Path);
    if (!AddToEpoll(epoll.Get(), wakeup.Get(), srcWakeup, EPOLLIN))
        RaiseLastOpenError(Path);
    auto opened =
        std::make_unique<TSerLinuxDevice>(std::move(device), std::move(epoll), std::move(wakeup));
    opened->Claim(Path);
    return opened;
}
