#include "console.h"

#include <atomic>
#include <memory>

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> InterruptSeen = false;
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

std::FILE *QuestionStream()
{
    if (IsTerminal(stderr))
        return stderr;
    using TFile = std::unique_ptr<std::FILE, decltype(&std::fclose)>;
    static const TFile terminal(OpenTerminal(), &std::fclose);
    return terminal.get();
}

bool Interrupted()
{
    return InterruptSeen.load();
}

void NoteInterrupt() noexcept
{
    InterruptSeen.store(true);
}
