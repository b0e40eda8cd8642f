// The system error code and text on Windows.
#include "serexception.h"

#include <windows.h>

#include <memory>

namespace {

struct TLocalFree {
    void operator()(wchar_t *Text) const { LocalFree(Text); }
};

// UTF-16 text as UTF-8; empty when it cannot be converted.
std::string Utf8Of(const wchar_t *Text, int Length)
{
    if (Length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, Text, Length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, Text, Length, utf8.data(), size, nullptr, nullptr) != size)
        return {};
    return utf8;
}

} // namespace

int SerLastError()
{
    return static_cast<int>(GetLastError());
}

std::string SerErrorText(int Code)
{
    // The system's own text for the code in its default language, as UTF-8 like every message
    // of the program (the ANSI text of a German or French Windows is not); RaiseCommError
    // shortens it.
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(Code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, TLocalFree> owner(text);
    if (length == 0 || text == nullptr)
        return {};
    return Utf8Of(text, static_cast<int>(length));
}

TSerOpenProblem SerOpenProblemOf(TSerStep Step, int Code)
{
    // Older adapters and their drivers stop below the line's rate, and refuse the settings
    // record as a whole.
    if (Step == TSerStep::stLineSettings && Code == ERROR_INVALID_PARAMETER)
        return TSerOpenProblem::opRateRefused;
    // A Bluetooth port's driver connects to the paired device within the open, and gives up.
    if (Step == TSerStep::stOpen && Code == ERROR_SEM_TIMEOUT)
        return TSerOpenProblem::opTimedOut;
    switch (static_cast<DWORD>(Code)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return TSerOpenProblem::opMissing;
    case ERROR_ACCESS_DENIED: // a COM port needs no rights: another program holds it
    case ERROR_SHARING_VIOLATION:
        return TSerOpenProblem::opInUse;
    default:
        return TSerOpenProblem::opOther;
    }
}

// The codes with which the system fails a request because the device has been removed. A live
// driver fails with others too (ERROR_GEN_FAILURE or ERROR_BAD_COMMAND around USB suspend and
// resume, or for a setting it refuses), which therefore say nothing of the device by themselves;
// ERROR_ACCESS_DENIED says it of a transfer only (serdevice_win.cpp).
bool SerDeviceGoneCode(int Code)
{
    switch (static_cast<DWORD>(Code)) {
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
        return true;
    default:
        return false;
    }
}
