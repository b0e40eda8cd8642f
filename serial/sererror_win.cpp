// The system error code and text on Windows.
#include "serexception.h"

#include <windows.h>

#include <memory>

namespace {

struct TLocalFree {
    void operator()(char *Text) const { LocalFree(Text); }
};

} // namespace

int SerLastError()
{
    return static_cast<int>(GetLastError());
}

std::string SerErrorText(int code)
{
    // The system's own text for the code in its default language; RaiseCommError shortens it.
    char *text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char *>(&text), 0, nullptr);
    const std::unique_ptr<char, TLocalFree> owner(text);
    if (length == 0 || text == nullptr)
        return {};
    return std::string(text, length);
}
