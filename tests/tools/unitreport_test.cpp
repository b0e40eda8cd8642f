#include "unitreport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(UnitReport, HexBytesRoundTrip)
{
    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every += static_cast<char>(byte);
    const std::string text = HexBytes(every);
    EXPECT_EQ(text.substr(0, 11), "00 01 02 03");
    EXPECT_EQ(text.substr(text.size() - 5), "fe ff");
    const auto parsed = ParseHexBytes(text);
    EXPECT_EQ(std::string(parsed.begin(), parsed.end()), every);
    EXPECT_EQ(ParseHexBytes("0D0a"), (std::vector<std::uint8_t>{13, 10}));
    EXPECT_EQ(HexBytes(""), "");
}

TEST(UnitReport, BadHexIsRefused)
{
    EXPECT_THROW(ParseHexBytes("0"), std::runtime_error);
    EXPECT_THROW(ParseHexBytes("0g"), std::runtime_error);
    EXPECT_THROW(ParseHexBytes("00 1"), std::runtime_error);
}

TEST(UnitReport, TimesAreMicrosecondsFromStart)
{
    const TUnitTime start{};
    TUnitFrame frame{start + 1500us, std::string("D \0", 3), 1, TFrameKind::Finish,
                     TFrameAnswer::Refused};
    const nlohmann::json report =
        UnitReportJson({start, {frame}, {{start + 2ms, "N\r"}}, {0xFF, 0x00}, 2, true});
    EXPECT_EQ(report["frames"][0]["time_us"], 1500);
    EXPECT_EQ(report["frames"][0]["bytes"], "44 20 00");
    EXPECT_EQ(report["frames"][0]["answer"], "refused");
    EXPECT_EQ(report["frames"][0]["run_frame"], 1);
    EXPECT_EQ(report["replies"][0]["time_us"], 2000);
    EXPECT_EQ(report["replies"][0]["bytes"], "4e 0d");
    EXPECT_EQ(report["eeprom"], "ff 00");
    EXPECT_EQ(report["probes"], 2);
    EXPECT_EQ(report["unplugged"], true);
}

TEST(UnitReport, DumpMarksTheSettingsBlockValues)
{
    std::vector<std::uint8_t> image(64, 0xFF);
    image[5] = 17;
    image[6] = 3;
    const std::string dump =
        EepromDump({{"eeprom", HexBytes(std::string(image.begin(), image.end()))}});
    EXPECT_NE(dump.find("0000: ff  ff  ff  ff  ff [11][03] ff "), std::string::npos) << dump;
    EXPECT_NE(dump.find("0030:"), std::string::npos);
    EXPECT_EQ(dump.find("0040:"), std::string::npos);
    EXPECT_NE(dump.find("[second value] = 17\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("[ZN ID] = 3\n"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("outside"), std::string::npos);
}

TEST(UnitReport, DumpFlagsValuesOutsideTheirRanges)
{
    const std::string dump = EepromDump({{"eeprom", HexBytes(std::string(16, '\xFF'))}});
    EXPECT_NE(dump.find("[second value] = 255 (outside 0-31)"), std::string::npos) << dump;
    EXPECT_NE(dump.find("[ZN ID] = 255 (outside 1-4)"), std::string::npos) << dump;
    EXPECT_THROW(EepromDump(nlohmann::json::object()), std::runtime_error);
    EXPECT_THROW(EepromDump({{"eeprom", 5}}), std::runtime_error);
}
