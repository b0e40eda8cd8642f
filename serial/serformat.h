// A small printf-style formatter for the component's patterns: %d, %s and %%.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

using TSerFormatArg = std::variant<std::int64_t, std::string>;

// Replaces each placeholder with the next argument: %d takes an integer, %s a string, %% gives
// one per cent sign. Arguments left over are ignored. A placeholder of another kind, one whose
// argument has the wrong type or one without an argument raises std::runtime_error.
std::string SerFormat(std::string_view Pattern, std::initializer_list<TSerFormatArg> Args);
