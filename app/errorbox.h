// The application's standard error box and the guard that every entry point from the event loop
// passes through.
#pragma once

#include <QString>

#include <exception>

// The text the box shows for an exception's message: a full stop is appended when the message's
// last character sorts above ".".
QString StandardErrorText(const QString &Message);

// The box's title: the program's file name without its extension.
QString StandardErrorTitle();

// Shows the error box for an exception (modal; hand-overs keep being served meanwhile) and returns.
void HandleApplicationException(std::exception_ptr Error) noexcept;
