// The command's own thread plays the serial component's GUI thread: it serves the hand-overs of
// the port's event thread while it waits, in slices short enough to notice an interrupt.
#pragma once

#include <chrono>
#include <functional>

using TCliClock = std::chrono::steady_clock;

// Serves until Done() holds, Deadline has passed or the command was interrupted; true when
// Done() held.
bool ServeUntil(const std::function<bool()> &Done, TCliClock::time_point Deadline);
