// The bytes of a serial line as text.
#pragma once

#include <string>
#include <string_view>

// Bytes of an 8-bit code page as UTF-8: 0-127 unchanged, 128-255 as U+0080-U+00FF.
std::string Latin1ToUtf8(std::string_view Bytes);
