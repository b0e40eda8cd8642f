// Where exceptions go that leave a notification handler: the application's exception handler.
#pragma once

#include <exception>
#include <functional>

using TSerExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application's handler; without one, messages are written to standard error.
void SetSerExceptionHandler(TSerExceptionHandler Handler);

// Passes an exception to the application's handler. Never throws.
void SerHandleException(std::exception_ptr Error) noexcept;
