// The console a command runs in: interrupts from the keyboard or the system, and whether a
// stream is a terminal. console_posix.cpp and console_win.cpp serve the platforms.
#pragma once

#include <cstdio>

// From now on Ctrl-C and SIGTERM (and Ctrl-Break on Windows) no longer end the process; they set
// the flag that Interrupted reads, and the command ends itself, closing its port. Raises
// std::system_error when the handler cannot be installed.
void CatchInterrupts();

bool Interrupted();

// Called by the platform's handler; safe in a signal handler.
void NoteInterrupt() noexcept;

bool IsTerminal(std::FILE *Stream);
