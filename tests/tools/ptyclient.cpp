#include "ptyclient.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

void Check(bool Succeeded, const char *What)
{
    if (!Succeeded)
        throw std::system_error(errno, std::generic_category(), What);
}

int MillisecondsLeft(std::chrono::steady_clock::time_point Deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

TPtyClient::TPtyClient(const std::string &Path)
    : FFd(::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    Check(FFd >= 0, "open the simulated port");
    termios settings{};
    Check(::tcgetattr(FFd, &settings) == 0, "tcgetattr");
    ::cfmakeraw(&settings);
    Check(::tcsetattr(FFd, TCSANOW, &settings) == 0, "tcsetattr");
}

TPtyClient::~TPtyClient()
{
    ::close(FFd);
}

void TPtyClient::Write(std::string_view Bytes)
{
    while (!Bytes.empty()) {
        const ssize_t put = ::write(FFd, Bytes.data(), Bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        Check(put > 0, "write to the simulated port");
        Bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

std::string TPtyClient::Read(std::size_t Count, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::string bytes;
    while (bytes.size() < Count) {
        pollfd fd{FFd, POLLIN, 0};
        const int ready = ::poll(&fd, 1, MillisecondsLeft(deadline));
        Check(ready >= 0 || errno == EINTR, "poll the simulated port");
        if (ready < 0)
            continue;
        if (ready == 0)
            break;
        char buffer[256];
        const ssize_t got = ::read(FFd, buffer, std::min(sizeof buffer, Count - bytes.size()));
        if (got <= 0)
            break;
        ++FReadCalls;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

bool TPtyClient::WaitForHangUp(std::chrono::milliseconds Timeout)
{
    pollfd fd{FFd, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(Timeout.count())) <= 0)
        return false;
    if ((fd.revents & POLLHUP) == 0)
        return false;
    char byte;
    const ssize_t got = ::read(FFd, &byte, 1);
    return got == 0 || (got < 0 && errno == EIO);
}
