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
    const auto Left =
        std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    return Left.count() > 0 ? static_cast<int>(Left.count()) : 0;
}

} // namespace

TPtyClient::TPtyClient(const std::string &Path)
    : FFd(::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    Check(FFd >= 0, "open the simulated port");
    termios Settings{};
    Check(::tcgetattr(FFd, &Settings) == 0, "tcgetattr");
    ::cfmakeraw(&Settings);
    Check(::tcsetattr(FFd, TCSANOW, &Settings) == 0, "tcsetattr");
}

TPtyClient::~TPtyClient()
{
    ::close(FFd);
}

void TPtyClient::Write(std::string_view Bytes)
{
    while (!Bytes.empty()) {
        const ssize_t Put = ::write(FFd, Bytes.data(), Bytes.size());
        if (Put < 0 && errno == EINTR)
            continue;
        Check(Put > 0, "write to the simulated port");
        Bytes.remove_prefix(static_cast<std::size_t>(Put));
    }
}

std::string TPtyClient::Read(std::size_t Count, std::chrono::milliseconds Timeout)
{
    const auto Deadline = std::chrono::steady_clock::now() + Timeout;
    std::string Bytes;
    while (Bytes.size() < Count) {
        pollfd Fd{FFd, POLLIN, 0};
        const int Ready = ::poll(&Fd, 1, MillisecondsLeft(Deadline));
        Check(Ready >= 0 || errno == EINTR, "poll the simulated port");
        if (Ready < 0)
            continue;
        if (Ready == 0)
            break;
        char Buffer[256];
        const ssize_t Got = ::read(FFd, Buffer, std::min(sizeof Buffer, Count - Bytes.size()));
        if (Got <= 0)
            break;
        ++FReadCalls;
        Bytes.append(Buffer, static_cast<std::size_t>(Got));
    }
    return Bytes;
}

bool TPtyClient::WaitForHangUp(std::chrono::milliseconds Timeout)
{
    pollfd Fd{FFd, POLLIN, 0};
    if (::poll(&Fd, 1, static_cast<int>(Timeout.count())) <= 0)
        return false;
    if ((Fd.revents & POLLHUP) == 0)
        return false;
    char Byte;
    const ssize_t Got = ::read(FFd, &Byte, 1);
    return Got == 0 || (Got < 0 && errno == EIO);
}
