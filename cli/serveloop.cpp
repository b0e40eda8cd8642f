#include "serveloop.h"

#include "console.h"
#include "serhandover.h"

#include <algorithm>

namespace {

// A signal cannot wake the wait, so it is looked at this often.
constexpr std::chrono::milliseconds InterruptPoll{20};

} // namespace

bool ServeUntil(const std::function<bool()> &Done, TCliClock::time_point Deadline)
{
    TSerHandOver &handOver = TSerHandOver::Main();
    for (;;) {
        handOver.Serve();
        if (Done())
            return true;
        const TCliClock::time_point now = TCliClock::now();
        if (Interrupted() || now >= Deadline)
            return false;
        const auto slice = std::min<TCliClock::duration>(Deadline - now, InterruptPoll);
        handOver.ServeUntil(Done, std::chrono::ceil<std::chrono::milliseconds>(slice));
    }
}
