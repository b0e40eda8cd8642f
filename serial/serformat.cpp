#include "serformat.h"

#include <stdexcept>
#include <vector>

namespace {

[[noreturn]] void RaiseFormatError(std::string_view Pattern)
{
    throw std::runtime_error("Format '" + std::string(Pattern) +
                             "' invalid or incompatible with argument");
}

} // namespace

std::string SerFormat(std::string_view Pattern, std::initializer_list<TSerFormatArg> Args)
{
    const std::vector<TSerFormatArg> args(Args);
    std::size_t next = 0;
    std::string result;
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        if (Pattern[i] != '%') {
            result += Pattern[i];
            continue;
        }
        if (++i == Pattern.size())
            RaiseFormatError(Pattern);
        const char kind = Pattern[i];
        if (kind == '%') {
            result += '%';
            continue;
        }
        if (next == args.size())
            RaiseFormatError(Pattern);
        const TSerFormatArg &arg = args[next++];
        if (kind == 'd' && std::holds_alternative<std::int64_t>(arg))
            result += std::to_string(std::get<std::int64_t>(arg));
        else if (kind == 's' && std::holds_alternative<std::string>(arg))
            result += std::get<std::string>(arg);
        else
            RaiseFormatError(Pattern);
    }
    return result;
}
