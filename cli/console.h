// The console a command runs in: interrupts from the keyboard or the system, where a question for
// the person goes, and whether a stream is a terminal. console_posix.cpp and console_win.cpp
// serve the platforms.
#pragma once

#include <cstdio>

// From now on nothing from outside ends the process in the middle of a run. Ctrl-C, SIGTERM and
// a hang-up of the terminal (a dropped ssh session), and on Windows Ctrl-Break and the console
// being closed, the user logging off or the system shutting down, set the flag that Interrupted
// reads, and the command ends itself: the frame being written completes and the port is closed.
// A write to a closed pipe fails and is dropped instead of ending the process. Raises
// std::system_error when a handler cannot be installed.
void CatchInterrupts();

bool Interrupted();

// Called by the platform's handler; safe in a signal handler.
void NoteInterrupt() noexcept;

bool IsTerminal(std::FILE *Stream);

// Where a question for the person goes: standard error when it is a terminal, else the process's
// controlling terminal (the console on Windows); nullptr when there is none. Whatever standard
// output is redirected to, the person sees the question.
std::FILE *QuestionStream();

// The controlling terminal (the console on Windows) opened for writing; nullptr when there is
// none.
std::FILE *OpenTerminal();
