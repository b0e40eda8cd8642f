#include "serlockfile_linux.h"

#include "serfd_posix.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process id at the start of a lock file. Today's programs write it as text, blanks first
// and a line end or a blank after ("      4711\n", "4711 minicom root\n"); older ones wrote the
// four bytes of the id in the machine's own order, and nothing else.
std::optional<long> PidIn(std::string_view Text)
{
    const std::size_t first = Text.find_first_not_of(' ');
    if (first != std::string_view::npos) {
        long pid = 0;
        const char *const end = Text.data() + Text.size();
        const auto [after, error] = std::from_chars(Text.data() + first, end, pid);
        if (error == std::errc() && (after == end || *after == '\n' || *after == ' '))
            return pid;
    }
    if (Text.size() == sizeof(std::int32_t)) {
        std::int32_t pid = 0;
        std::memcpy(&pid, Text.data(), sizeof pid);
        return pid;
    }
    return std::nullopt;
}

// Anyone may write the lock folder. Only a plain file is opened, never through a link and never
// waiting (a FIFO in its place would hold the open for ever), and of it only a few bytes are
// read. A file swapped in between the look and the open is refused by its inode.
std::optional<long> PidInFile(const std::string &LockFile)
{
    struct stat named {};
    if (lstat(LockFile.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return std::nullopt;
    const TFd file(
        open(LockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!file.IsOpen() || fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return std::nullopt;
    char text[16];
    const ssize_t got = read(file.Get(), text, sizeof text);
    if (got <= 0)
        return std::nullopt;
    return PidIn(std::string_view(text, static_cast<std::size_t>(got)));
}

} // namespace

std::string SerLockFileOf(const std::string &Path)
{
    char real[PATH_MAX];
    std::string name = realpath(Path.c_str(), real) ? real : Path;
    const std::string dev = "/dev/";
    name = name.starts_with(dev) ? name.substr(dev.size()) : name.substr(name.rfind('/') + 1);
    for (char &c : name) {
        if (c == '/')
            c = '_';
    }
    return "/var/lock/LCK.." + name;
}

std::optional<pid_t> SerLockOwner(const std::string &LockFile)
{
    const std::optional<long> pid = PidInFile(LockFile);
    if (!pid || *pid <= 0 || *pid > INT_MAX || *pid == getpid())
        return std::nullopt;
    // A process of another user is alive too, though it may not be signalled.
    if (kill(static_cast<pid_t>(*pid), 0) != 0 && errno != EPERM)
        return std::nullopt;
    return static_cast<pid_t>(*pid);
}
