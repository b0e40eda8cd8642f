// Thread priorities on Linux: each thread has its own nice value, set through its kernel id.
//
//   TThreadPriority   nice    note
//   tpIdle             19
//   tpLowest           10
//   tpLower             5
//   tpNormal            0
//   tpHigher           -5     below 0 needs CAP_SYS_NICE (or RLIMIT_NICE)
//   tpHighest         -10     likewise
//   tpTimeCritical    -20     likewise; no real-time class is asked for
#include "serpriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {

int NiceValue(TThreadPriority Priority)
{
    switch (Priority) {
    case TThreadPriority::tpIdle:
        return 19;
    case TThreadPriority::tpLowest:
        return 10;
    case TThreadPriority::tpLower:
        return 5;
    case TThreadPriority::tpNormal:
        return 0;
    case TThreadPriority::tpHigher:
        return -5;
    case TThreadPriority::tpHighest:
        return -10;
    case TThreadPriority::tpTimeCritical:
        return -20;
    }
    return 0;
}

} // namespace

TSerThreadId SerCurrentThreadId()
{
    return gettid();
}

bool SerSetThreadPriority(TSerThreadId Thread, TThreadPriority Priority)
{
    return setpriority(PRIO_PROCESS, static_cast<id_t>(Thread), NiceValue(Priority)) == 0;
}
