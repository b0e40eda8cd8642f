#include "serapplication.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex HandlerLock;
TSerExceptionHandler Handler;

void PrintException(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Unknown exception\n");
    }
}

} // namespace

void SetSerExceptionHandler(TSerExceptionHandler NewHandler)
{
    std::lock_guard lock(HandlerLock);
    Handler = std::move(NewHandler);
}

void SerHandleException(std::exception_ptr Error) noexcept
{
    TSerExceptionHandler handler;
    {
        std::lock_guard lock(HandlerLock);
        handler = Handler;
    }
    try {
        if (handler)
            handler(Error);
        else
            PrintException(Error);
    } catch (...) {
        PrintException(std::current_exception());
    }
}
