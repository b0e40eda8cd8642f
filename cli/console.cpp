#include "console.h"

#include <atomic>

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> InterruptSeen = false;
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

bool Interrupted()
{
    return InterruptSeen.load();
}

void NoteInterrupt() noexcept
{
    InterruptSeen.store(true);
}
