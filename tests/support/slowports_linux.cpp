// Preloaded into a test process (LD_PRELOAD): makes chosen ports slow to open for real, as
// Bluetooth ports are, which connect to their far end first. Two variables name them, each a
// colon-separated list of PATH=MILLISECONDS, read once, at the first call:
//   ZARNELL_SLOW_OPEN  open() of PATH, exactly as the caller names it, waits that long first
//   ZARNELL_SLOW_TTY   the first tcgetattr() on each descriptor of the tty PATH waits that long
//                      first. Under Wine the Wine server opens a COM port's device, and a stall
//                      there would stop every Wine process; the program's own first call on the
//                      port (GetCommState) stalls only the program's thread that makes it, once
//                      for each open, however often Wine asks the tty for its settings.
// A third names a file, to which each process adds a full stop and its process id: while that
// file exists, write() to a pseudo-terminal's slave fails with ENODEV, as a USB adapter's does
// once it is pulled out and before its tty is hung up:
//   ZARNELL_GONE_WRITES
// Every other call goes to the system unchanged.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TSlowPath {
    std::string Path;
    std::chrono::milliseconds Delay;
};

std::vector<TSlowPath> ReadList(const char *Variable)
{
    std::vector<TSlowPath> list;
    const char *value = std::getenv(Variable);
    std::string rest = value ? value : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find(':');
        const std::string entry = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        const std::size_t equals = entry.rfind('=');
        if (equals == std::string::npos)
            continue;
        list.push_back({entry.substr(0, equals),
                        std::chrono::milliseconds(std::atoi(entry.c_str() + equals + 1))});
    }
    return list;
}

// Read at the first call, which may come before this library's own static objects exist.
const std::vector<TSlowPath> &SlowOpens()
{
    static const std::vector<TSlowPath> list = ReadList("ZARNELL_SLOW_OPEN");
    return list;
}

const std::vector<TSlowPath> &SlowTtys()
{
    static const std::vector<TSlowPath> list = ReadList("ZARNELL_SLOW_TTY");
    return list;
}

void WaitIfListed(const std::vector<TSlowPath> &List, const std::string &Path)
{
    for (const TSlowPath &slow : List) {
        if (slow.Path == Path) {
            std::this_thread::sleep_for(slow.Delay);
            return;
        }
    }
}

// Whether each descriptor's first tcgetattr() has been delayed, until it is closed. Plain flags,
// so that close() may use them while the process's static objects are being destroyed; a
// descriptor beyond them is delayed at every call.
std::array<std::atomic<bool>, 4096> Delayed{};

bool FirstCallOn(int Fd)
{
    return Fd < 0 || Fd >= static_cast<int>(Delayed.size()) || !Delayed[Fd].exchange(true);
}

void Forget(int Fd)
{
    if (Fd >= 0 && Fd < static_cast<int>(Delayed.size()))
        Delayed[Fd] = false;
}

std::string PathOf(int Fd)
{
    char target[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(Fd);
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

template <typename Function> Function Next(const char *Name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, Name));
}

// The file whose presence fails this process's writes, or "" for none.
std::string GoneWritesFlag()
{
    const char *value = std::getenv("ZARNELL_GONE_WRITES");
    return value ? std::string(value) + "." + std::to_string(getpid()) : std::string();
}

using TOpen = int (*)(const char *, int, ...);

// The mode argument exists only when the flags ask for a new file.
int OpenWithDelay(TOpen Next, const char *Path, int Flags, va_list Arguments)
{
    const mode_t mode = (Flags & (O_CREAT | O_TMPFILE)) ? va_arg(Arguments, mode_t) : 0;
    if (Next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (Path != nullptr)
        WaitIfListed(SlowOpens(), Path);
    return Next(Path, Flags, mode);
}

} // namespace

extern "C" int open(const char *Path, int Flags, ...)
{
    static const auto next = Next<TOpen>("open");
    va_list arguments;
    va_start(arguments, Flags);
    const int fd = OpenWithDelay(next, Path, Flags, arguments);
    va_end(arguments);
    return fd;
}

extern "C" int open64(const char *Path, int Flags, ...)
{
    static const auto next = Next<TOpen>("open64");
    va_list arguments;
    va_start(arguments, Flags);
    const int fd = OpenWithDelay(next, Path, Flags, arguments);
    va_end(arguments);
    return fd;
}

extern "C" int tcgetattr(int Fd, termios *Settings)
{
    static const auto next = Next<int (*)(int, termios *)>("tcgetattr");
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (!SlowTtys().empty() && FirstCallOn(Fd))
        WaitIfListed(SlowTtys(), PathOf(Fd));
    return next(Fd, Settings);
}

extern "C" int close(int Fd)
{
    static const auto next = Next<int (*)(int)>("close");
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    Forget(Fd);
    return next(Fd);
}

extern "C" ssize_t write(int Fd, const void *Buffer, size_t Count)
{
    static const auto next = Next<ssize_t (*)(int, const void *, size_t)>("write");
    static const std::string flag = GoneWritesFlag();
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    struct stat unused {};
    if (!flag.empty() && stat(flag.c_str(), &unused) == 0 && isatty(Fd) &&
        PathOf(Fd).starts_with("/dev/pts/")) {
        errno = ENODEV;
        return -1;
    }
    return next(Fd, Buffer, Count);
}
