#include "ptypair.h"

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

TPtyPair::TPtyPair()
{
    char name[256];
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&FMaster, &FSlave, name, &raw, nullptr) != 0)
        Fail("openpty");
    FSlavePath = name;
    if (fcntl(FMaster, F_SETFL, O_NONBLOCK) != 0 || fcntl(FMaster, F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(FSlave, F_SETFD, FD_CLOEXEC) != 0)
        Fail("fcntl");
}

TPtyPair::~TPtyPair()
{
    CloseMaster();
    close(FSlave);
}

void TPtyPair::Write(std::string_view Bytes, std::chrono::milliseconds Timeout)
{
    while (!Bytes.empty()) {
        const ssize_t put = write(FMaster, Bytes.data(), Bytes.size());
        if (put > 0) {
            Bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (errno != EAGAIN && errno != EINTR)
            Fail("write");
        if (!WaitFor(FMaster, POLLOUT, Timeout))
            throw std::runtime_error("pty master: no room to write");
    }
}

std::string TPtyPair::Read(std::size_t Count, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::string data;
    while (data.size() < Count) {
        char buffer[4096];
        const ssize_t got = read(FMaster, buffer, std::min(sizeof buffer, Count - data.size()));
        if (got > 0) {
            data.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            Fail("read");
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(FMaster, POLLIN, left))
            break;
    }
    return data;
}

std::string TPtyPair::ReadUntilQuiet(std::chrono::milliseconds Quiet)
{
    std::string data;
    while (WaitFor(FMaster, POLLIN, Quiet)) {
        char buffer[4096];
        const ssize_t got = read(FMaster, buffer, sizeof buffer);
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
    if (FMaster >= 0)
        close(FMaster);
    FMaster = -1;
}
