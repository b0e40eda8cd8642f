// Preloaded into Wine only: answers the modem-status, interrupt-counter and line-status
// requests that Wine's serial code makes, which a pseudo-terminal refuses. Wine gives up a
// wait for serial events when it cannot read the modem lines, so without these answers a pty
// cannot stand in for a COM port. Every other request, and every request on anything but a
// pty, goes to the system unchanged, and so do the I/O errors of a pty that has been hung up:
// that is how Wine learns that the device has gone.
//
// With ZARNELL_PTY_TOP_RATE set (bits per second), a pty is an older adapter that reaches no
// higher rate: its driver refuses a higher one (EINVAL), and Wine's SetCommState fails.
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

using TIoctl = int (*)(int, unsigned long, ...);

// The modem output lines as the program last set them; the input lines read as active.
std::atomic<int> ModemLines{TIOCM_DTR | TIOCM_RTS};
constexpr int ModemInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

bool IsPtySlave(int Fd)
{
    struct stat info {};
    // Unix 98 pty slaves have the major numbers 136 to 143.
    return fstat(Fd, &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= 136 &&
           major(info.st_rdev) <= 143;
}

bool Answer(unsigned long Request, void *Arg)
{
    switch (Request) {
    case TIOCMGET:
        *static_cast<int *>(Arg) = ModemLines | ModemInputs;
        return true;
    case TIOCMSET:
        ModemLines = *static_cast<int *>(Arg) & (TIOCM_DTR | TIOCM_RTS);
        return true;
    case TIOCMBIS:
        ModemLines |= *static_cast<int *>(Arg) & (TIOCM_DTR | TIOCM_RTS);
        return true;
    case TIOCMBIC:
        ModemLines &= ~*static_cast<int *>(Arg);
        return true;
    case TIOCGICOUNT:
        std::memset(Arg, 0, sizeof(serial_icounter_struct));
        return true;
    case TIOCSERGETLSR:
        *static_cast<unsigned *>(Arg) = TIOCSER_TEMT;
        return true;
    case TIOCGSERIAL:
        std::memset(Arg, 0, sizeof(serial_struct));
        return true;
    case TIOCSSERIAL:
        return true;
    default:
        return false;
    }
}

// The rate of a speed code; 0 for one this shim does not know.
long RateOf(speed_t Speed)
{
    switch (Speed) {
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B500000:
        return 500000;
    case B921600:
        return 921600;
    case B1000000:
        return 1000000;
    default:
        return 0;
    }
}

// Read at the first call, which may come before this library's own static objects exist.
long TopRate()
{
    static const long rate = [] {
        const char *value = std::getenv("ZARNELL_PTY_TOP_RATE");
        return value ? std::atol(value) : 0L;
    }();
    return rate;
}

} // namespace

extern "C" int tcsetattr(int Fd, int When, const termios *Settings) noexcept
{
    static const auto next =
        reinterpret_cast<int (*)(int, int, const termios *)>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (TopRate() > 0 && Settings != nullptr && IsPtySlave(Fd) &&
        RateOf(cfgetospeed(Settings)) > TopRate()) {
        errno = EINVAL;
        return -1;
    }
    return next(Fd, When, Settings);
}

extern "C" int ioctl(int Fd, unsigned long Request, ...) noexcept
{
    static const auto next = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, Request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }

    const int result = next(Fd, Request, arg);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL))
        return result;
    const int error = errno;
    if (IsPtySlave(Fd) && Answer(Request, arg))
        return 0;
    errno = error;
    return result;
}
