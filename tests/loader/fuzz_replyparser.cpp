// Feeds arbitrary bytes to the reply parser and checks what must hold for any input: lines stay
// within the bound, every line classifies or raises the unexpected-reply error with the whole
// line in its message, and the parser agrees with a straightforward reading of the escape rule.
#include "replyparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool Condition)
{
    if (!Condition)
        std::abort();
}

void CheckClassification(const std::string &Line)
{
    try {
        const TReplyClass Class = ClassifyReply(Line);
        Require(Class == TReplyClass::Acknowledged ? Line.front() == 'A' : Line.front() == 'N');
    } catch (const EUnexpectedReply &Error) {
        Require(Error.Line() == Line);
        Require(Error.Message().size() >= 20 + Line.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size)
{
    TReplyLineParser Parser;
    std::string Expected;
    bool Escape = false;
    for (std::size_t I = 0; I < Size; ++I) {
        const std::uint8_t Byte = Data[I];
        const auto Line = Parser.Feed(Byte);
        if (Escape) {
            Escape = false;
            if (Expected.size() < TReplyLineParser::MaxLineLength)
                Expected += static_cast<char>(Byte ^ 0xFF);
        } else if (Byte == ReplyEscapeByte) {
            Escape = true;
        } else if (Byte == ReplyLineEnd) {
            Require(Line.has_value() && *Line == Expected);
            CheckClassification(*Line);
            Expected.clear();
            continue;
        } else if (Expected.size() < TReplyLineParser::MaxLineLength) {
            Expected += static_cast<char>(Byte);
        }
        Require(!Line.has_value());
        Require(Parser.Text() == Expected && Parser.EscapePending() == Escape);
    }
    return 0;
}
