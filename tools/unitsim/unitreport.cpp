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
    char text[64];
    std::snprintf(text, sizeof text, Format, A, B);
    return text;
}

std::string MarkedValue(const std::vector<std::uint8_t> &Image, int Address, const char *Name,
                        int Low, int High)
{
    if (Address >= static_cast<int>(Image.size()))
        return std::string(Name) + ": not in the image\n";
    const int value = Image[static_cast<std::size_t>(Address)];
    std::string text =
        Formatted("address %d ", Address) + "[" + Name + "] = " + Formatted("%d", value);
    if (value < Low || value > High)
        text += Formatted(" (outside %d-%d)", Low, High);
    return text + "\n";
}

} // namespace

nlohmann::json UnitReportJson(const TUnitRecord &Record)
{
    nlohmann::json frames = nlohmann::json::array();
    for (const TUnitFrame &frame : Record.Frames)
        frames.push_back({{"time_us", MicrosecondsSince(Record.Start, frame.Time)},
                          {"run_frame", frame.RunFrame},
                          {"kind", FrameKindName(frame.Kind)},
                          {"answer", AnswerName(frame.Answer)},
                          {"bytes", HexBytes(frame.Bytes)}});
    nlohmann::json replies = nlohmann::json::array();
    for (const TUnitReply &reply : Record.Replies)
        replies.push_back({{"time_us", MicrosecondsSince(Record.Start, reply.Time)},
                           {"bytes", HexBytes(reply.Bytes)}});
    const std::string eeprom(Record.Eeprom.begin(), Record.Eeprom.end());
    return {{"probes", Record.ProbeCount},
            {"unplugged", Record.Unplugged},
            {"frames", frames},
            {"replies", replies},
            {"eeprom", HexBytes(eeprom)}};
}

nlohmann::json UnitReportJson(const TUnitSimPty &Sim)
{
    nlohmann::json report = UnitReportJson(Sim.Record());
    report["slave"] = Sim.SlavePath();
    return report;
}

std::string HexBytes(std::string_view Bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(Bytes.size() * 3);
    for (char c : Bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::vector<std::uint8_t> ParseHexBytes(std::string_view Text)
{
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < Text.size()) {
        if (Text[at] == ' ') {
            ++at;
            continue;
        }
        if (at + 1 >= Text.size())
            throw std::runtime_error("Odd number of hex digits");
        bytes.push_back(
            static_cast<std::uint8_t>(HexDigit(Text[at]) << 4 | HexDigit(Text[at + 1])));
        at += 2;
    }
    return bytes;
}

std::string EepromDump(const nlohmann::json &Report)
{
    if (!Report.is_object() || !Report.contains("eeprom") || !Report["eeprom"].is_string())
        throw std::runtime_error("The report holds no EEPROM image");
    const std::vector<std::uint8_t> image = ParseHexBytes(Report["eeprom"].get<std::string>());

    std::string dump;
    for (int row = 0; row < static_cast<int>(image.size()); row += DumpRowSize) {
        dump += Formatted("%04x:", row);
        for (int address = row;
             address < row + DumpRowSize && address < static_cast<int>(image.size()); ++address) {
            const bool marked = address == SecondValueAddress || address == ZnIdAddress;
            const int byte = image[static_cast<std::size_t>(address)];
            dump += marked ? Formatted("[%02x]", byte) : Formatted(" %02x ", byte);
        }
        dump += '\n';
    }
    dump += "Settings block at address 5 to 36; marked [..]:\n";
    dump += MarkedValue(image, SecondValueAddress, "second value", 0, 31);
    dump += MarkedValue(image, ZnIdAddress, "ZN ID", 1, 4);
    return dump;
}
