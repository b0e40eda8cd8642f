#include "ptypair.h"

#include "serfd_posix.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char *What)
{
    throw std::system_error(errno, std::generic_category(), What);
}

// Waits for Events on Fd for at most Timeout; false on time-out.
bool WaitFor(int Fd, short Events, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{Fd, Events, 0};
        const int ready = poll(&fd, 1, static_cast<int>(std::max<long>(left.count(), 0)));
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            Fail("poll");
    }
}

} // namespace

struct TPtyPair::TImpl {
    TImpl();

    TFd Slave;
    TFd Master; // closed first: the component's side sees a hang-up before the slave goes
    std::string SlavePath;
};

TPtyPair::TImpl::TImpl()
{
    char name[256];
    termios raw{};
    cfmakeraw(&raw);
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, name, &raw, nullptr) != 0)
        Fail("openpty");
    Master.Reset(master);
    Slave.Reset(slave);
    SlavePath = name;
    if (fcntl(master, F_SETFL, O_NONBLOCK) != 0 || fcntl(master, F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(slave, F_SETFD, FD_CLOEXEC) != 0)
        Fail("fcntl");
}

TPtyPair::TPtyPair()
    : FImpl(std::make_unique<TImpl>())
{
}

TPtyPair::~TPtyPair() = default;

int TPtyPair::MasterFd() const
{
    return FImpl->Master.Get();
}

int TPtyPair::SlaveFd() const
{
    return FImpl->Slave.Get();
}

const std::string &TPtyPair::SlavePath() const
{
    return FImpl->SlavePath;
}

void TPtyPair::Write(std::string_view Bytes, std::chrono::milliseconds Timeout)
{
    const int master = FImpl->Master.Get();
    while (!Bytes.empty()) {
        const ssize_t put = write(master, Bytes.data(), Bytes.size());
        if (put > 0) {
            Bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (errno != EAGAIN && errno != EINTR)
            Fail("write");
        if (!WaitFor(master, POLLOUT, Timeout))
            throw std::runtime_error("pty master: no room to write");
    }
}

std::string TPtyPair::Read(std::size_t Count, std::chrono::milliseconds Timeout)
{
    const int master = FImpl->Master.Get();
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::string data;
    while (data.size() < Count) {
        char buffer[4096];
        const ssize_t got = read(master, buffer, std::min(sizeof buffer, Count - data.size()));
        if (got > 0) {
            data.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            Fail("read");
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(master, POLLIN, left))
            break;
    }
    return data;
}

std::string TPtyPair::ReadUntilQuiet(std::chrono::milliseconds Quiet)
{
    const int master = FImpl->Master.Get();
    std::string data;
    while (WaitFor(master, POLLIN, Quiet)) {
        char buffer[4096];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            break;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
}

void TPtyPair::CloseMaster()
{
    FImpl->Master.Close();
}
