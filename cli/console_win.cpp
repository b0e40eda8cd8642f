#include "console.h"

#include "serhandover.h"

#include <system_error>

#include <io.h>
#include <windows.h>

namespace {

// The system ends the process as soon as the handler of these events returns, and a few seconds
// after the event whatever the handler does.
bool EndsTheProcess(DWORD Event)
{
    return Event == CTRL_CLOSE_EVENT || Event == CTRL_LOGOFF_EVENT || Event == CTRL_SHUTDOWN_EVENT;
}

// Runs on a thread of its own, which may wake the command's thread at once.
BOOL WINAPI OnConsoleControl(DWORD Event)
{
    NoteInterrupt();
    TSerHandOver::Main().Notify();
    // The command ends the process itself, with its exit status, once its port is closed; until
    // then this thread keeps the system from ending it.
    if (EndsTheProcess(Event))
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

void CatchInterrupts()
{
    if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE))
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "SetConsoleCtrlHandler");
}

// A console, not merely a character device: NUL is one too.
bool IsTerminal(std::FILE *Stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(Stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// The console's screen, whatever the standard handles were redirected to.
std::FILE *OpenTerminal()
{
    return std::fopen("CONOUT$", "w");
}
