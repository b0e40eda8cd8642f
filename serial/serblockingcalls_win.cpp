#include "serblockingcalls.h"

#include <windows.h>

struct TSerBlockingCalls::TImpl {
    HANDLE Thread = nullptr; // with the right to cancel its I/O; nullptr when none was given
};

TSerBlockingCalls::TSerBlockingCalls()
    : FImpl(std::make_unique<TImpl>())
{
    // GetCurrentThread is a pseudo handle that means "the caller" wherever it is used; another
    // thread needs a real one. Without it nothing can be cancelled, which is allowed.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                         &FImpl->Thread, THREAD_TERMINATE, FALSE, 0))
        FImpl->Thread = nullptr;
}

TSerBlockingCalls::~TSerBlockingCalls()
{
    if (FImpl->Thread != nullptr)
        CloseHandle(FImpl->Thread);
}

bool TSerBlockingCalls::Cancel()
{
    // Fails with ERROR_NOT_FOUND when the thread blocks in nothing that can be cancelled.
    return FImpl->Thread != nullptr && CancelSynchronousIo(FImpl->Thread);
}
