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

// Without SA_RESTART, so that a confirmation being read ends at the interrupt.
void Catch(int Signal)
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    if (sigaction(Signal, &action, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "sigaction");
}

} // namespace

void CatchInterrupts()
{
    Catch(SIGINT);
    Catch(SIGTERM);
}

bool IsTerminal(std::FILE *Stream)
{
    return isatty(fileno(Stream)) == 1;
}
