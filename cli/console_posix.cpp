#include "console.h"

#include <cerrno>
#include <csignal>
#include <system_error>

#include <unistd.h>

namespace {

extern "C" void OnInterrupt(int)
{
    NoteInterrupt();
}

void SetAction(int Signal, void (*Handler)(int))
{
    struct sigaction action {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    if (sigaction(Signal, &action, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "sigaction");
}

} // namespace

// Without SA_RESTART, so that a confirmation being read ends at the interrupt.
void CatchInterrupts()
{
    SetAction(SIGINT, OnInterrupt);
    SetAction(SIGTERM, OnInterrupt);
    SetAction(SIGHUP, OnInterrupt);
    // Output into a pipe whose reader has gone (| head) fails with EPIPE, and stdio drops it.
    SetAction(SIGPIPE, SIG_IGN);
}

bool IsTerminal(std::FILE *Stream)
{
    return isatty(fileno(Stream)) == 1;
}

std::FILE *OpenTerminal()
{
    return std::fopen("/dev/tty", "we");
}
