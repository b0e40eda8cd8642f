#include "unitreport.h"

#include <cstdio>
#include <stdexcept>

namespace {

constexpr int SecondValueAddress = 5;
constexpr int ZnIdAddress = 6;
constexpr int DumpRowSize = 16;

long long MicrosecondsSince(TUnitTime Start, TUnitTime Time)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Time - Start).count();
}

std::string AnswerName(TFrameAnswer Answer)
{
    switch (Answer) {
    case TFrameAnswer::Acknowledged:
        return "acknowledged";
    case TFrameAnswer::Refused:
        return "refused";
    case TFrameAnswer::Unanswered:
        break;
    }
    return "unanswered";
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    throw std::runtime_error(std::string("Not a hex digit: ") + C);
}

std::string Formatted(const char *Format, int A, int B = 0)
{
    char Text[64];
    std::snprintf(Text, sizeof Text, Format, A, B);
    return Text;
}

std::string MarkedValue(const std::vector<std::uint8_t> &Image, int Address, const char *Name,
                        int Low, int High)
{
    if (Address >= static_cast<int>(Image.size()))
        return std::string(Name) + ": not in the image\n";
    const int Value = Image[static_cast<std::size_t>(Address)];
    std::string Text =
        Formatted("address %d ", Address) + "[" + Name + "] = " + Formatted("%d", Value);
    if (Value < Low || Value > High)
        Text += Formatted(" (outside %d-%d)", Low, High);
    return Text + "\n";
}

} // namespace

nlohmann::json UnitReportJson(const TUnitRecord &Record)
{
    nlohmann::json Frames = nlohmann::json::array();
    for (const TUnitFrame &Frame : Record.Frames)
        Frames.push_back({{"time_us", MicrosecondsSince(Record.Start, Frame.Time)},
                          {"run_frame", Frame.RunFrame},
                          {"kind", FrameKindName(Frame.Kind)},
                          {"answer", AnswerName(Frame.Answer)},
                          {"bytes", HexBytes(Frame.Bytes)}});
    nlohmann::json Replies = nlohmann::json::array();
    for (const TUnitReply &Reply : Record.Replies)
        Replies.push_back({{"time_us", MicrosecondsSince(Record.Start, Reply.Time)},
                           {"bytes", HexBytes(Reply.Bytes)}});
    const std::string Eeprom(Record.Eeprom.begin(), Record.Eeprom.end());
    return {{"probes", Record.ProbeCount},
            {"unplugged", Record.Unplugged},
            {"frames", Frames},
            {"replies", Replies},
            {"eeprom", HexBytes(Eeprom)}};
}

std::string HexBytes(std::string_view Bytes)
{
    static constexpr char Digits[] = "0123456789abcdef";
    std::string Text;
    Text.reserve(Bytes.size() * 3);
    for (char C : Bytes) {
        const auto Byte = static_cast<std::uint8_t>(C);
        if (!Text.empty())
            Text += ' ';
        Text += Digits[Byte >> 4];
        Text += Digits[Byte & 0x0F];
    }
    return Text;
}

std::vector<std::uint8_t> ParseHexBytes(std::string_view Text)
{
    std::vector<std::uint8_t> Bytes;
    std::size_t At = 0;
    while (At < Text.size()) {
        if (Text[At] == ' ') {
            ++At;
            continue;
        }
        if (At + 1 >= Text.size())
            throw std::runtime_error("Odd number of hex digits");
        Bytes.push_back(
            static_cast<std::uint8_t>(HexDigit(Text[At]) << 4 | HexDigit(Text[At + 1])));
        At += 2;
    }
    return Bytes;
}

std::string EepromDump(const nlohmann::json &Report)
{
    if (!Report.is_object() || !Report.contains("eeprom") || !Report["eeprom"].is_string())
        throw std::runtime_error("The report holds no EEPROM image");
    const std::vector<std::uint8_t> Image = ParseHexBytes(Report["eeprom"].get<std::string>());

    std::string Dump;
    for (int Row = 0; Row < static_cast<int>(Image.size()); Row += DumpRowSize) {
        Dump += Formatted("%04x:", Row);
        for (int Address = Row;
             Address < Row + DumpRowSize && Address < static_cast<int>(Image.size()); ++Address) {
            const bool Marked = Address == SecondValueAddress || Address == ZnIdAddress;
            const int Byte = Image[static_cast<std::size_t>(Address)];
            Dump += Marked ? Formatted("[%02x]", Byte) : Formatted(" %02x ", Byte);
        }
        Dump += '\n';
    }
    Dump += "Settings block at address 5 to 36; marked [..]:\n";
    Dump += MarkedValue(Image, SecondValueAddress, "second value", 0, 31);
    Dump += MarkedValue(Image, ZnIdAddress, "ZN ID", 1, 4);
    return Dump;
}
