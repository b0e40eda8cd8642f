#include "replyparser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<std::string> FeedAll(TReplyLineParser &Parser, std::initializer_list<int> Bytes)
{
    std::vector<std::string> lines;
    for (int byte : Bytes)
        if (auto line = Parser.Feed(static_cast<std::uint8_t>(byte)))
            lines.push_back(std::move(*line));
    return lines;
}

std::vector<std::string> Parse(std::initializer_list<int> Bytes)
{
    TReplyLineParser parser;
    return FeedAll(parser, Bytes);
}

using Lines = std::vector<std::string>;

// The message of the unexpected-reply error for Line, as a window would show it.
std::string UnexpectedMessageFor(const std::string &Line)
{
    try {
        ClassifyReply(Line);
    } catch (const EUnexpectedReply &error) {
        return error.Message();
    }
    ADD_FAILURE() << "line was not unexpected";
    return {};
}

// Decodes the two-byte UTF-8 sequences of U+0080-U+00FF and passes ASCII through.
std::string Utf8ToLatin1(const std::string &Text)
{
    std::string bytes;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(Text[i]);
        if (byte < 0x80) {
            bytes += Text[i];
            continue;
        }
        EXPECT_TRUE(byte == 0xC2 || byte == 0xC3) << "lead byte " << int(byte);
        EXPECT_LT(i + 1, Text.size());
        const auto next = static_cast<std::uint8_t>(Text[++i]);
        EXPECT_EQ(next & 0xC0, 0x80);
        bytes += static_cast<char>(((byte & 0x1F) << 6) | (next & 0x3F));
    }
    return bytes;
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
    TReplyLineParser parser;
    EXPECT_EQ(FeedAll(parser, {73, 87, 33}), Lines{});
    EXPECT_TRUE(parser.EscapePending());
    EXPECT_EQ(parser.Text(), "IW");
    EXPECT_EQ(FeedAll(parser, {173, 88, 13, 65}), Lines{"IWRX"});
    EXPECT_FALSE(parser.EscapePending());
    EXPECT_EQ(parser.Text(), "A");
}

TEST(ReplyLineParser, TextIsEmptyOnceLineIsHandedOver)
{
    TReplyLineParser parser;
    FeedAll(parser, {65, 66});
    EXPECT_EQ(parser.Feed(13), std::optional<std::string>("AB"));
    EXPECT_TRUE(parser.Text().empty());
}

TEST(ReplyLineParser, ResetDropsTextAndPendingEscape)
{
    TReplyLineParser parser;
    FeedAll(parser, {88, 89, 33});
    parser.Reset();
    EXPECT_FALSE(parser.EscapePending());
    EXPECT_TRUE(parser.Text().empty());
    EXPECT_EQ(FeedAll(parser, {13}), Lines{""}); // a 13 right after Reset is not escaped
}

TEST(ReplyLineParser, EndlessLineKeepsItsHeadAndStillEndsAtItsCarriageReturn)
{
    TReplyLineParser parser;
    const std::size_t bound = TReplyLineParser::MaxLineLength;
    parser.Feed('N');
    for (std::size_t i = 1; i < 3 * bound; ++i)
        parser.Feed('x');
    EXPECT_EQ(parser.Text().size(), bound);

    // The dropped tail still follows the escape rule: an escaped CR does not end the line.
    EXPECT_FALSE(parser.Feed(33).has_value());
    EXPECT_FALSE(parser.Feed(242).has_value());
    const auto line = parser.Feed(13);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->size(), bound);
    EXPECT_EQ(line->front(), 'N');
    EXPECT_EQ(ClassifyReply(*line), TReplyClass::Refused);

    EXPECT_EQ(FeedAll(parser, {65, 13}), Lines{"A"});
}

TEST(ClassifyReply, FirstByteDecides)
{
    EXPECT_EQ(ClassifyReply("A"), TReplyClass::Acknowledged);
    EXPECT_EQ(ClassifyReply("ABC"), TReplyClass::Acknowledged);
    EXPECT_EQ(ClassifyReply("N"), TReplyClass::Refused);
    EXPECT_EQ(ClassifyReply("NA"), TReplyClass::Refused);
    for (const char *line : {"", "X", "\nA", "\xDE", "a", " A", "IWRX"})
        EXPECT_THROW(ClassifyReply(line), EUnexpectedReply) << line;
}

TEST(ClassifyReply, UnexpectedLineIsAPlainRuntimeErrorQuotingTheLine)
{
    try {
        ClassifyReply("X");
        FAIL() << "no exception";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "Unexpected Response X");
    }
    EXPECT_EQ(UnexpectedMessageFor(""), "Unexpected Response ");
    EXPECT_EQ(UnexpectedMessageFor("X \t\r\n"), "Unexpected Response X \t\r\n");
}

TEST(ClassifyReply, HighBytesBecomeTheirLatin1Characters)
{
    EXPECT_EQ(UnexpectedMessageFor("\xE9t\xE9"), "Unexpected Response \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(UnexpectedMessageFor("\x80\xFF"), "Unexpected Response \xC2\x80\xC3\xBF");

    std::string every;
    for (int byte = 128; byte < 256; ++byte)
        every += static_cast<char>(byte);
    const std::string message = UnexpectedMessageFor(every);
    EXPECT_EQ(Utf8ToLatin1(message), "Unexpected Response " + every);
}

TEST(ClassifyReply, NulBytesSurviveInTheTextThatTheUserSees)
{
    const std::string line("X\0Y", 3);
    try {
        ClassifyReply(line);
        FAIL() << "no exception";
    } catch (const EUnexpectedReply &error) {
        EXPECT_EQ(ExceptionText(std::current_exception()),
                  std::string("Unexpected Response X\0Y", 23));
        EXPECT_EQ(error.Line(), line);
        EXPECT_STREQ(error.what(), "Unexpected Response X"); // a C string ends at the NUL
    }
}
