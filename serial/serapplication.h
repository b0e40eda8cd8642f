// What the serial component needs of the program around it: where exceptions go that leave a
// notification handler, and how the GUI thread waits without freezing its windows.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <string>

using TSerExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application's handler; without one, messages are written to standard error.
void SetSerExceptionHandler(TSerExceptionHandler Handler);

// Passes an exception to the application's handler. Never throws.
void SerHandleException(std::exception_ptr Error) noexcept;

// Writes an exception's message to standard error: for failures that cannot reach the GUI.
void SerPrintException(std::exception_ptr Error) noexcept;

// The component's log: open, settings, close, line errors, a vanished device. The program
// installs where it goes (a Qt logging category); Enabled is asked first, so that no text is
// built while nobody reads it.
struct TSerLog {
    std::function<bool()> Enabled;
    std::function<void(const std::string &)> Write;
};
void SetSerLog(TSerLog Log);
bool SerLogEnabled();
void SerLogWrite(const std::string &Text);

// Writes Text() to the log when it is read; Text is not called otherwise.
template <typename F> void SerLog(F &&Text)
{
    if (SerLogEnabled())
        SerLogWrite(Text());
}

using TSerGuiWait = std::function<void(std::chrono::milliseconds)>;

// Installs how the GUI thread waits for a while: the program's windows keep handling input and
// painting meanwhile (the Qt adapter runs an event loop). Without one the thread sleeps.
void SetSerGuiWait(TSerGuiWait Wait);

// GUI thread: waits Duration the installed way.
void SerGuiWait(std::chrono::milliseconds Duration);
