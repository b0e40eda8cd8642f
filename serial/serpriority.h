// Thread priorities on the platform: the event thread sets its own and is changed from outside.
#pragma once

#include "sertypes.h"

#include <cstdint>

// The platform's identity of a thread, as the priority calls need it.
using TSerThreadId = std::int64_t;

// The calling thread's identity.
TSerThreadId SerCurrentThreadId();

// Gives the thread the platform's priority for Priority. Best effort: true when the platform
// took it; a refusal (raising a priority may need privileges) leaves the thread as it was.
bool SerSetThreadPriority(TSerThreadId Thread, TThreadPriority Priority);
