// The one text that the error box, the discovery report and the serial log show for a failure.
#include "exceptiontext.h"
#include "latin1.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

std::string TextOf(auto Error)
{
    return ExceptionText(std::make_exception_ptr(Error));
}

} // namespace

TEST(ExceptionText, IsTheMessageWholeWithItsNulBytes)
{
    const std::string message("Unexpected Response X\0Y", 23);
    EXPECT_EQ(TextOf(ETextError(message)), message);
    EXPECT_STREQ(ETextError(message).what(), "Unexpected Response X");
}

TEST(ExceptionText, IsWhatForAnyOtherExceptionAndSaysSoForNone)
{
    EXPECT_EQ(TextOf(std::runtime_error("Read error (5), Input/output error")),
              "Read error (5), Input/output error");
    EXPECT_EQ(TextOf(std::bad_alloc()), std::bad_alloc().what());
    EXPECT_EQ(TextOf(42), "Unknown exception");
    EXPECT_EQ(TextOf(std::string("a string")), "Unknown exception");
    EXPECT_EQ(ExceptionText(nullptr), "");
}

TEST(Latin1ToUtf8, KeepsAsciiAndGivesEveryHighByteItsOwnCodePoint)
{
    EXPECT_EQ(Latin1ToUtf8(std::string("A\0\r\x7F", 4)), std::string("A\0\r\x7F", 4));
    EXPECT_EQ(Latin1ToUtf8("\x80\xA0\xE9\xFF"), "\xC2\x80\xC2\xA0\xC3\xA9\xC3\xBF");
    EXPECT_EQ(Latin1ToUtf8(""), "");
}
