// Thread priorities on Windows: the system's own levels of the same names.
//
//   TThreadPriority   level
//   tpIdle            THREAD_PRIORITY_IDLE (-15)
//   tpLowest          THREAD_PRIORITY_LOWEST (-2)
//   tpLower           THREAD_PRIORITY_BELOW_NORMAL (-1)
//   tpNormal          THREAD_PRIORITY_NORMAL (0)
//   tpHigher          THREAD_PRIORITY_ABOVE_NORMAL (1)
//   tpHighest         THREAD_PRIORITY_HIGHEST (2)
//   tpTimeCritical    THREAD_PRIORITY_TIME_CRITICAL (15)
#include "serpriority.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace {

int PriorityLevel(TThreadPriority Priority)
{
    switch (Priority) {
    case TThreadPriority::tpIdle:
        return THREAD_PRIORITY_IDLE;
    case TThreadPriority::tpLowest:
        return THREAD_PRIORITY_LOWEST;
    case TThreadPriority::tpLower:
        return THREAD_PRIORITY_BELOW_NORMAL;
    case TThreadPriority::tpNormal:
        return THREAD_PRIORITY_NORMAL;
    case TThreadPriority::tpHigher:
        return THREAD_PRIORITY_ABOVE_NORMAL;
    case TThreadPriority::tpHighest:
        return THREAD_PRIORITY_HIGHEST;
    case TThreadPriority::tpTimeCritical:
        return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}

struct TCloseHandle {
    void operator()(HANDLE Handle) const { CloseHandle(Handle); }
};
using TThreadHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, TCloseHandle>;

} // namespace

TSerThreadId SerCurrentThreadId()
{
    return GetCurrentThreadId();
}

bool SerSetThreadPriority(TSerThreadId Thread, TThreadPriority Priority)
{
    const TThreadHandle handle(
        OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(Thread)));
    return handle && SetThreadPriority(handle.get(), PriorityLevel(Priority));
}
