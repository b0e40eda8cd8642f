// Reply lines: what the dongle and the unit send back, a run of bytes closed by a carriage
// return, with an escape byte for the bytes that would otherwise end the line or start an escape.
#pragma once

#include "exceptiontext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::uint8_t ReplyEscapeByte = 33; // "!": the next byte counts XOR 255
inline constexpr std::uint8_t ReplyLineEnd = 13;    // CR, not part of the line
inline constexpr char AcknowledgeByte = 'A';
inline constexpr char RefusalByte = 'N';

// Turns received bytes, fed one at a time in order of arrival, into reply lines. The state
// carries over between calls, so a line (or an escape) may be split across notifications.
class TReplyLineParser {
public:
    // A line that never ends keeps its first MaxLineLength bytes and drops the rest up to its
    // CR, so a stream of garbage cannot grow memory without limit. The first byte decides how
    // the loader reads a line, and the dropped tail is never looked at.
    static constexpr std::size_t MaxLineLength = 4096;

    void Reset();

    // The completed line when Byte ends one; the parser's text is already empty again then.
    std::optional<std::string> Feed(std::uint8_t Byte);

    bool EscapePending() const { return FEscapePending; }
    const std::string &Text() const { return FText; }

private:
    void Append(std::uint8_t Byte);

    bool FEscapePending = false;
    std::string FText;
};

enum class TReplyClass { Acknowledged, Refused };

// Raised by ClassifyReply for a line that is neither an acknowledgement nor a refusal. The line
// may hold NUL bytes: Message() carries them, what() ends at the first.
class EUnexpectedReply : public ETextError {
public:
    explicit EUnexpectedReply(const std::string &Line);

    const std::string &Line() const { return FLine; }

private:
    std::string FLine;
};

// Acknowledged for a line starting with "A", refused for one starting with "N"; any other
// line, the empty one included, raises EUnexpectedReply with "Unexpected Response " followed
// by the line's bytes as text.
TReplyClass ClassifyReply(const std::string &Line);
