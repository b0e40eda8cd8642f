// The program's error box, and Guarded, which every entry point from the event loop (a button, a
// timer tick, the close of a window) runs its work in, so that a failure is shown in the box and
// the event loop goes on. The serial component's failures reach the same box through the handler
// that InstallSerialHandOver installs.
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

// When the program looks for a dongle that was unplugged: at once, or once the loader window
// that is up has been closed.
enum class TDongleSearch { dsNow, dsAfterLoaderWindow };

// The box for a dongle that was unplugged: what happened and what happens next, in plain words,
// then the serial component's own message. Modal, like the error box.
void ShowDongleLost(TDongleSearch Search, std::exception_ptr Error) noexcept;

// Runs Fn and shows any exception that leaves it in the error box.
template <typename F> void Guarded(F &&Fn) noexcept
{
    try {
        Fn();
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
}
