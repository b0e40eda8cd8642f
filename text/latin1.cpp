#include "latin1.h"

#include <cstdint>

std::string Latin1ToUtf8(std::string_view Bytes)
{
    std::string text;
    text.reserve(Bytes.size() * 2);
    for (char c : Bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}
