#include "unitreport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(UnitReport, HexBytesRoundTrip)
{
    std::string Every;
    for (int Byte = 0; Byte < 256; ++Byte)
        Every += static_cast<char>(Byte);
    const std::string Text = HexBytes(Every);
    EXPECT_EQ(Text.substr(0, 11), "00 01 02 03");
    EXPECT_EQ(Text.substr(Text.size() - 5), "fe ff");
    const auto Parsed = ParseHexBytes(Text);
    EXPECT_EQ(std::string(Parsed.begin(), Parsed.end()), Every);
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
    const TUnitTime Start{};
    TUnitFrame Frame{Start + 1500us, std::string("D \0", 3), 1, TFrameKind::Finish,
                     TFrameAnswer::Refused};
    const nlohmann::json Report =
        UnitReportJson({Start, {Frame}, {{Start + 2ms, "N\r"}}, {0xFF, 0x00}, 2, true});
    EXPECT_EQ(Report["frames"][0]["time_us"], 1500);
    EXPECT_EQ(Report["frames"][0]["bytes"], "44 20 00");
    EXPECT_EQ(Report["frames"][0]["answer"], "refused");
    EXPECT_EQ(Report["frames"][0]["run_frame"], 1);
    EXPECT_EQ(Report["replies"][0]["time_us"], 2000);
    EXPECT_EQ(Report["replies"][0]["bytes"], "4e 0d");
    EXPECT_EQ(Report["eeprom"], "ff 00");
    EXPECT_EQ(Report["probes"], 2);
    EXPECT_EQ(Report["unplugged"], true);
}

TEST(UnitReport, DumpMarksTheSettingsBlockValues)
{
    std::vector<std::uint8_t> Image(64, 0xFF);
    Image[5] = 17;
    Image[6] = 3;
    const std::string Dump =
        EepromDump({{"eeprom", HexBytes(std::string(Image.begin(), Image.end()))}});
    EXPECT_NE(Dump.find("0000: ff  ff  ff  ff  ff [11][03] ff "), std::string::npos) << Dump;
    EXPECT_NE(Dump.find("0030:"), std::string::npos);
    EXPECT_EQ(Dump.find("0040:"), std::string::npos);
    EXPECT_NE(Dump.find("[second value] = 17\n"), std::string::npos) << Dump;
    EXPECT_NE(Dump.find("[ZN ID] = 3\n"), std::string::npos) << Dump;
    EXPECT_EQ(Dump.find("outside"), std::string::npos);
}

TEST(UnitReport, DumpFlagsValuesOutsideTheirRanges)
{
    const std::string Dump = EepromDump({{"eeprom", HexBytes(std::string(16, '\xFF'))}});
    EXPECT_NE(Dump.find("[second value] = 255 (outside 0-31)"), std::string::npos) << Dump;
    EXPECT_NE(Dump.find("[ZN ID] = 255 (outside 1-4)"), std::string::npos) << Dump;
    EXPECT_THROW(EepromDump(nlohmann::json::object()), std::runtime_error);
    EXPECT_THROW(EepromDump({{"eeprom", 5}}), std::runtime_error);
}
