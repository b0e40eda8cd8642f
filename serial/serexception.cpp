#include "serexception.h"

#include "serformat.h"

#include <cctype>

bool IsDeviceLost(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const ESerDeviceLost &) {
        return true;
    } catch (...) {
        return false;
    }
}

std::string SerTrimSystemText(std::string Text)
{
    // Characters, not bytes: a UTF-8 character's continuation bytes are 10xxxxxx.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80 && ++characters > 256) {
            Text.resize(i);
            break;
        }
    }
    while (!Text.empty()) {
        const auto last = static_cast<unsigned char>(Text.back());
        if (!std::iscntrl(last) && last != ' ' && last != '.')
            break;
        Text.pop_back();
    }
    return Text;
}

void RaiseCommError(const std::string &Pattern)
{
    RaiseCommError(Pattern, SerLastError());
}

namespace {

// The step that a message of the component reports.
TSerStep StepOf(const std::string &Pattern)
{
    return Pattern == SWriteDcbError ? TSerStep::stLineSettings : TSerStep::stOther;
}

[[noreturn]] void Raise(const std::string &Pattern, int Code, TSerStep Step)
{
    throw ESerCommError(
        SerFormat(Pattern, {std::int64_t{Code}, SerTrimSystemText(SerErrorText(Code))}), Code,
        Step);
}

} // namespace

void RaiseCommError(const std::string &Pattern, int Code)
{
    Raise(Pattern, Code, StepOf(Pattern));
}

void CheckCommResult(bool Succeeded, const std::string &Pattern)
{
    if (!Succeeded)
        RaiseCommError(Pattern);
}

std::string SerEscapePattern(const std::string &Text)
{
    std::string escaped;
    for (char c : Text) {
        escaped += c;
        if (c == '%')
            escaped += '%';
    }
    return escaped;
}

void RaiseOpenError(const std::string &Path, int Code, bool Missing)
{
    if (Missing)
        Raise("Specified device not found (" + SerEscapePattern(Path) + ").", Code,
              TSerStep::stOpen);
    Raise("Can't open specified device " + SerEscapePattern(Path) + " (Error %d, %s)", Code,
          TSerStep::stOpen);
}
