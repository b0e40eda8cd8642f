// The simulated unit's line on POSIX systems: the master side of a pseudo-terminal, whose slave
// the program opens, and a pipe that wakes the waiting thread.
#include "unitsimline.h"

#include "serfd_posix.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

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

class TPtyLine : public TUnitSimLine {
public:
    TPtyLine();

    const std::string &ProgramPort() const override { return FSlavePath; }
    std::string Wait(TUnitTime Due, bool WantRoom) override;
    std::size_t Write(std::string_view Bytes) override;
    void Wake() override;
    void Close() override;
    bool IsOpen() const override { return FMaster.IsOpen(); }

private:
    std::string ReadAll();
    void DrainWake();

    TFd FMaster;
    TFd FSlave; // kept open so the master sees no hang-up while the program reopens the port
    TFd FWakeRead;
    TFd FWakeWrite;
    std::string FSlavePath;
};

TPtyLine::TPtyLine()
{
    int masterFd = -1;
    int slaveFd = -1;
    Check(::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr), "openpty");
    FMaster.Reset(masterFd);
    FSlave.Reset(slaveFd);
    CloseOnExec(masterFd);
    CloseOnExec(slaveFd);
    AddFdFlags(masterFd, O_NONBLOCK);
    MakeRaw(slaveFd);
    FSlavePath = TerminalName(slaveFd);

    int pipe[2];
    Check(::pipe(pipe), "pipe");
    FWakeRead.Reset(pipe[0]);
    FWakeWrite.Reset(pipe[1]);
    for (int fd : pipe) {
        CloseOnExec(fd);
        AddFdFlags(fd, O_NONBLOCK);
    }
}

std::string TPtyLine::Wait(TUnitTime Due, bool WantRoom)
{
    pollfd fds[2] = {{FWakeRead.Get(), POLLIN, 0}, {FMaster.Get(), POLLIN, 0}};
    if (WantRoom)
        fds[1].events |= POLLOUT;
    const nfds_t count = FMaster.IsOpen() ? 2 : 1;
    if (::poll(fds, count, PollTimeout(Due)) < 0) {
        if (errno == EINTR)
            return {};
        RaiseSystemError("poll");
    }
    if (fds[0].revents != 0)
        DrainWake();
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        return ReadAll();
    return {};
}

std::string TPtyLine::ReadAll()
{
    std::string bytes;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(FMaster.Get(), buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return bytes;
        if (got < 0 && errno == EIO) {
            // Every slave descriptor is gone; cannot happen while we hold one, but a hang-up
            // must not turn into a busy loop.
            Close();
            return bytes;
        }
        if (got == 0)
            return bytes;
        RaiseSystemError("read from the pseudo-terminal");
    }
}

std::size_t TPtyLine::Write(std::string_view Bytes)
{
    for (;;) {
        const ssize_t put = ::write(FMaster.Get(), Bytes.data(), Bytes.size());
        if (put >= 0)
            return static_cast<std::size_t>(put);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0; // POLLOUT tells when there is room again
        RaiseSystemError("write to the pseudo-terminal");
    }
}

void TPtyLine::Wake()
{
    const char byte = 0;
    // A full pipe already holds a wake-up, so EAGAIN is as good as success.
    if (::write(FWakeWrite.Get(), &byte, 1) < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        RaiseSystemError("write to the wake-up pipe");
}

void TPtyLine::DrainWake()
{
    char buffer[64];
    while (::read(FWakeRead.Get(), buffer, sizeof buffer) > 0) {
    }
}

void TPtyLine::Close()
{
    FMaster.Close();
    FSlave.Close();
}

} // namespace

std::unique_ptr<TUnitSimLine> TUnitSimLine::Open()
{
    return std::make_unique<TPtyLine>();
}
