#include "childprocess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace std::chrono_literals;

TChildProcess::TChildProcess(const std::string &Program, std::vector<std::string> Arguments,
                             const std::vector<std::string> &Environment,
                             const TChildTerminal &Terminal)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    FOut = out[0];
    FErr = err[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (Terminal.Path.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    } else {
        // Opened after setsid, the terminal becomes the new session's controlling terminal.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, Terminal.Path.c_str(), O_RDWR, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (Terminal.Errors)
        posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

    const auto name = [](std::string_view Entry) { return Entry.substr(0, Entry.find('=')); };
    std::vector<std::string> entries = Environment;
    for (char **e = environ; *e; ++e) {
        if (std::none_of(Environment.begin(), Environment.end(),
                         [&](const std::string &Entry) { return name(Entry) == name(*e); }))
            entries.emplace_back(*e);
    }
    std::vector<char *> env;
    for (std::string &entry : entries)
        env.push_back(entry.data());
    env.push_back(nullptr);
    Arguments.insert(Arguments.begin(), Program);
    std::vector<char *> argv;
    for (std::string &argument : Arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const int error =
        ::posix_spawn(&FPid, Program.c_str(), &actions, &attributes, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (error != 0) {
        FPid = 0;
        throw std::system_error(error, std::generic_category(), "posix_spawn " + Program);
    }
}

TChildProcess::~TChildProcess()
{
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    ::close(FOut);
    ::close(FErr);
}

void TChildProcess::Signal(int Number) const
{
    if (::kill(FPid, Number) != 0)
        throw std::system_error(errno, std::generic_category(), "kill");
}

bool TChildProcess::ReadSome(std::chrono::steady_clock::time_point Deadline)
{
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    if (FOut < 0 && FErr < 0)
        return false;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (left <= 0ms || ::poll(fds, 2, static_cast<int>(left.count())) <= 0)
        return false;
    int *ends[2] = {&FOut, &FErr};
    std::string *texts[2] = {&Out, &Err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(*ends[i], buffer, sizeof buffer);
        if (n > 0) {
            texts[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(*ends[i]);
            *ends[i] = -1;
        }
    }
    return true;
}

std::string TChildProcess::FirstLine(std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (Out.find('\n') == std::string::npos && ReadSome(deadline))
        ;
    return Out.substr(0, Out.find('\n'));
}

void TChildProcess::CloseOutput()
{
    ::close(std::exchange(FOut, -1));
}

std::optional<int> TChildProcess::Wait(std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (ReadSome(deadline))
        ;
    if (FOut >= 0 || FErr >= 0)
        return std::nullopt;
    int status = 0;
    if (::waitpid(std::exchange(FPid, 0), &status, 0) < 0)
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
