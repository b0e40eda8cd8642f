#include "serapplication.h"

#include "exceptiontext.h"

#include <cstdio>
#include <mutex>
#include <thread>

namespace {

std::mutex HandlerLock;
TSerExceptionHandler Handler;
TSerGuiWait GuiWait; // GUI thread only
TSerLog Log;         // installed before any port opens

} // namespace

void SetSerExceptionHandler(TSerExceptionHandler NewHandler)
{
    std::lock_guard lock(HandlerLock);
    Handler = std::move(NewHandler);
}

void SerPrintException(std::exception_ptr Error) noexcept
{
    try {
        const std::string text = ExceptionText(Error) + '\n';
        std::fwrite(text.data(), 1, text.size(), stderr);
    } catch (...) {
        std::fputs("Unknown exception\n", stderr);
    }
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
            SerPrintException(Error);
    } catch (...) {
        SerPrintException(std::current_exception());
    }
}

void SetSerLog(TSerLog NewLog)
{
    Log = std::move(NewLog);
}

bool SerLogEnabled()
{
    return Log.Enabled && Log.Write && Log.Enabled();
}

void SerLogWrite(const std::string &Text)
{
    if (Log.Write)
        Log.Write(Text);
}

void SetSerGuiWait(TSerGuiWait Wait)
{
    GuiWait = std::move(Wait);
}

void SerGuiWait(std::chrono::milliseconds Duration)
{
    if (GuiWait)
        GuiWait(Duration);
    else
        std::this_thread::sleep_for(Duration);
}
