// Where exceptions go that leave a notification handler: the application's exception handler.
#pragma once

#include <exception>
#include <functional>

using TSerExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application's handler; without one, messages are written to standard error.
void SetSerExceptionHandler(TSerExceptionHandler Handler);

// Passes an exception to the application's handler. Never throws.
void SerHandleException(std::exception_ptr Error) noexcept;

// Runs Fn and passes any exception that leaves it to the application's handler: the guard that
// every entry point from the event loop (a button, a timer tick, a notification) goes through.
template <typename F> void Guarded(F &&Fn) noexcept
{
    try {
        Fn();
    } catch (...) {
        SerHandleException(std::current_exception());
    }
}
