#include "replyparser.h"

#include "latin1.h"

namespace {

constexpr std::string_view UnexpectedResponse = "Unexpected Response ";

std::string UnexpectedMessage(const std::string &Line)
{
    return std::string(UnexpectedResponse) + Latin1ToUtf8(Line);
}

} // namespace

void TReplyLineParser::Reset()
{
    FEscapePending = false;
    FText.clear();
}

std::optional<std::string> TReplyLineParser::Feed(std::uint8_t Byte)
{
    if (FEscapePending) {
        FEscapePending = false;
        Append(Byte ^ 0xFF);
        return std::nullopt;
    }
    if (Byte == ReplyEscapeByte) {
        FEscapePending = true;
        return std::nullopt;
    }
    if (Byte == ReplyLineEnd) {
        std::string line;
        line.swap(FText);
        return line;
    }
    Append(Byte);
    return std::nullopt;
}

void TReplyLineParser::Append(std::uint8_t Byte)
{
    if (FText.size() < MaxLineLength)
        FText += static_cast<char>(Byte);
}

EUnexpectedReply::EUnexpectedReply(const std::string &Line)
    : ETextError(UnexpectedMessage(Line))
    , FLine(Line)
{
}

TReplyClass ClassifyReply(const std::string &Line)
{
    if (!Line.empty() && Line.front() == AcknowledgeByte)
        return TReplyClass::Acknowledged;
    if (!Line.empty() && Line.front() == RefusalByte)
        return TReplyClass::Refused;
    throw EUnexpectedReply(Line);
}
