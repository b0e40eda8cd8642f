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

// Acknowledgements and refusals classify as such; an unexpected line raises the unexpected-reply
// error with the whole line in its message. Raising costs far more than parsing, so only the
// first unexpected line of an input is classified; the fuzzer varies which line that is.
void CheckClassification(const std::string &Line, bool &RaisedOnce)
{
    const bool known = !Line.empty() && (Line.front() == 'A' || Line.front() == 'N');
    if (!known && RaisedOnce)
        return;
    try {
        const TReplyClass replyClass = ClassifyReply(Line);
        Require(known);
        Require(replyClass == TReplyClass::Acknowledged ? Line.front() == 'A'
                                                        : Line.front() == 'N');
    } catch (const EUnexpectedReply &error) {
        Require(!known);
        Require(error.Line() == Line);
        Require(error.Message().size() >= 20 + Line.size());
        RaisedOnce = true;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size)
{
    TReplyLineParser parser;
    std::string expected;
    bool escape = false;
    bool raisedOnce = false;
    for (std::size_t i = 0; i < Size; ++i) {
        const std::uint8_t byte = Data[i];
        const auto line = parser.Feed(byte);
        if (escape) {
            escape = false;
            if (expected.size() < TReplyLineParser::MaxLineLength)
                expected += static_cast<char>(byte ^ 0xFF);
        } else if (byte == ReplyEscapeByte) {
            escape = true;
        } else if (byte == ReplyLineEnd) {
            Require(line.has_value() && *line == expected);
            CheckClassification(*line, raisedOnce);
            expected.clear();
            continue;
        } else if (expected.size() < TReplyLineParser::MaxLineLength) {
            expected += static_cast<char>(byte);
        }
        // Linear in the input: the text so far is compared whole only when its line ends
        // above; here its length and newest byte are enough to catch the first divergence.
        Require(!line.has_value() && parser.EscapePending() == escape);
        const std::string &text = parser.Text();
        Require(text.size() == expected.size() && (text.empty() || text.back() == expected.back()));
    }
    return 0;
}
