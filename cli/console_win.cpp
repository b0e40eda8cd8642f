#include "console.h"

#include "serhandover.h"

#include <system_error>

#include <io.h>
#include <windows.h>

namespace {

// Runs on a thread of its own, which may wake the command's thread at once.
BOOL WINAPI OnConsoleControl(DWORD Event)
{
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT)
        return FALSE;
    NoteInterrupt();
    TSerHandOver::Main().Notify();
    return TRUE;
}

} // namespace

void CatchInterrupts()
{
    if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE))
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "SetConsoleCtrlHandler");
}

bool IsTerminal(std::FILE *Stream)
{
    return _isatty(_fileno(Stream)) != 0;
}
