#include "replyparser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<std::string> FeedAll(TReplyLineParser &Parser, std::initializer_list<int> Bytes)
{
    std::vector<std::string> Lines;
    for (int Byte : Bytes)
        if (auto Line = Parser.Feed(static_cast<std::uint8_t>(Byte)))
            Lines.push_back(std::move(*Line));
    return Lines;
}

std::vector<std::string> Parse(std::initializer_list<int> Bytes)
{
    TReplyLineParser Parser;
    return FeedAll(Parser, Bytes);
}

using Lines = std::vector<std::string>;

// The message of the unexpected-reply error for Line, as a window would show it.
std::string UnexpectedMessageFor(const std::string &Line)
{
    try {
        ClassifyReply(Line);
    } catch (const EUnexpectedReply &Error) {
        return Error.Message();
    }
    ADD_FAILURE() << "line was not unexpected";
    return {};
}

// Decodes the two-byte UTF-8 sequences of U+0080-U+00FF and passes ASCII through.
std::string Utf8ToLatin1(const std::string &Text)
{
    std::string Bytes;
    for (std::size_t I = 0; I < Text.size(); ++I) {
        const auto Byte = static_cast<std::uint8_t>(Text[I]);
        if (Byte < 0x80) {
            Bytes += Text[I];
            continue;
        }
        EXPECT_TRUE(Byte == 0xC2 || Byte == 0xC3) << "lead byte " << int(Byte);
        EXPECT_LT(I + 1, Text.size());
        const auto Next = static_cast<std::uint8_t>(Text[++I]);
        EXPECT_EQ(Next & 0xC0, 0x80);
        Bytes += static_cast<char>(((Byte & 0x1F) << 6) | (Next & 0x3F));
    }
    return Bytes;
}

} // namespace

TEST(ReplyLineParser, CarriageReturnEndsLines)
{
    EXPECT_EQ(Parse({65, 13}), Lines{"A"});
    EXPECT_EQ(Parse({65, 66, 67, 13}), Lines{"ABC"});
    EXPECT_EQ(Parse({13}), Lines{""});
    EXPECT_EQ(Parse({65, 13, 78, 13}), (Lines{"A", "N"}));
    EXPECT_EQ(Parse({65, 66}), Lines{});
}

TEST(ReplyLineParser, EscapeTakesNextByteComplemented)
{
    EXPECT_EQ(Parse({33, 190, 13}), Lines{"A"});
    EXPECT_EQ(Parse({65, 33, 242, 66, 13}), Lines{"A\rB"});
    EXPECT_EQ(Parse({33, 33, 13}), Lines{"\xDE"});
    EXPECT_EQ(Parse({33, 222, 13}), Lines{"!"});
}

TEST(ReplyLineParser, ZeroAndLineFeedAreOrdinaryBytes)
{
    EXPECT_EQ(Parse({10, 65, 13}), Lines{"\nA"});
    EXPECT_EQ(Parse({0, 65, 0, 13}), Lines{std::string("\0A\0", 3)});
}

TEST(ReplyLineParser, StateCarriesOverBetweenNotifications)
{
    TReplyLineParser Parser;
    EXPECT_EQ(FeedAll(Parser, {73, 87, 33}), Lines{});
    EXPECT_TRUE(Parser.EscapePending());
    EXPECT_EQ(Parser.Text(), "IW");
    EXPECT_EQ(FeedAll(Parser, {173, 88, 13, 65}), Lines{"IWRX"});
    EXPECT_FALSE(Parser.EscapePending());
    EXPECT_EQ(Parser.Text(), "A");
}

TEST(ReplyLineParser, TextIsEmptyOnceLineIsHandedOver)
{
    TReplyLineParser Parser;
    FeedAll(Parser, {65, 66});
    EXPECT_EQ(Parser.Feed(13), std::optional<std::string>("AB"));
    EXPECT_TRUE(Parser.Text().empty());
}

TEST(ReplyLineParser, ResetDropsTextAndPendingEscape)
{
    TReplyLineParser Parser;
    FeedAll(Parser, {88, 89, 33});
    Parser.Reset();
    EXPECT_FALSE(Parser.EscapePending());
    EXPECT_TRUE(Parser.Text().empty());
    EXPECT_EQ(FeedAll(Parser, {13}), Lines{""}); // a 13 right after Reset is not escaped
}

TEST(ReplyLineParser, EndlessLineKeepsItsHeadAndStillEndsAtItsCarriageReturn)
{
    TReplyLineParser Parser;
    const std::size_t Bound = TReplyLineParser::MaxLineLength;
    Parser.Feed('N');
    for (std::size_t I = 1; I < 3 * Bound; ++I)
        Parser.Feed('x');
    EXPECT_EQ(Parser.Text().size(), Bound);

    // The dropped tail still follows the escape rule: an escaped CR does not end the line.
    EXPECT_FALSE(Parser.Feed(33).has_value());
    EXPECT_FALSE(Parser.Feed(242).has_value());
    const auto Line = Parser.Feed(13);
    ASSERT_TRUE(Line.has_value());
    EXPECT_EQ(Line->size(), Bound);
    EXPECT_EQ(Line->front(), 'N');
    EXPECT_EQ(ClassifyReply(*Line), TReplyClass::Refused);

    EXPECT_EQ(FeedAll(Parser, {65, 13}), Lines{"A"});
}

TEST(ClassifyReply, FirstByteDecides)
{
    EXPECT_EQ(ClassifyReply("A"), TReplyClass::Acknowledged);
    EXPECT_EQ(ClassifyReply("ABC"), TReplyClass::Acknowledged);
    EXPECT_EQ(ClassifyReply("N"), TReplyClass::Refused);
    EXPECT_EQ(ClassifyReply("NA"), TReplyClass::Refused);
    for (const char *Line : {"", "X", "\nA", "\xDE", "a", " A", "IWRX"})
        EXPECT_THROW(ClassifyReply(Line), EUnexpectedReply) << Line;
}

TEST(ClassifyReply, UnexpectedLineIsAPlainRuntimeErrorQuotingTheLine)
{
    try {
        ClassifyReply("X");
        FAIL() << "no exception";
    } catch (const std::runtime_error &Error) {
        EXPECT_STREQ(Error.what(), "Unexpected Response X");
    }
    EXPECT_EQ(UnexpectedMessageFor(""), "Unexpected Response ");
    EXPECT_EQ(UnexpectedMessageFor("X \t\r\n"), "Unexpected Response X \t\r\n");
}

TEST(ClassifyReply, HighBytesBecomeTheirLatin1Characters)
{
    EXPECT_EQ(UnexpectedMessageFor("\xE9t\xE9"), "Unexpected Response \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(UnexpectedMessageFor("\x80\xFF"), "Unexpected Response \xC2\x80\xC3\xBF");

    std::string Every;
    for (int Byte = 128; Byte < 256; ++Byte)
        Every += static_cast<char>(Byte);
    const std::string Message = UnexpectedMessageFor(Every);
    EXPECT_EQ(Utf8ToLatin1(Message), "Unexpected Response " + Every);
}

TEST(ClassifyReply, NulBytesSurviveInTheFullMessage)
{
    const std::string Line("X\0Y", 3);
    try {
        ClassifyReply(Line);
        FAIL() << "no exception";
    } catch (const EUnexpectedReply &Error) {
        EXPECT_EQ(Error.Message(), std::string("Unexpected Response X\0Y", 23));
        EXPECT_EQ(Error.Line(), Line);
        EXPECT_STREQ(Error.what(), "Unexpected Response X"); // a C string ends at the NUL
    }
}
