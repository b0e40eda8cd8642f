#include "unitsim.h"

#include "frames.h"
#include "replyparser.h"

#include <algorithm>

namespace {

// Offsets inside a frame.
constexpr std::size_t SizeOffset = 1;
constexpr std::size_t CommandOffset = 2;
constexpr std::size_t ArgumentOffset = 4;
constexpr std::size_t BlockDataOffset = 5;

std::size_t PayloadLength(TFrameKind Kind)
{
    switch (Kind) {
    case TFrameKind::Block:
        return 3 + BlockDataSize;
    case TFrameKind::PageAddress:
        return 4;
    default:
        return 2;
    }
}

TFrameKind CommandKind(std::string_view Command)
{
    if (Command == PageStartCommand)
        return TFrameKind::PageStart;
    if (Command == BlockCommand)
        return TFrameKind::Block;
    if (Command == PageAddressCommand)
        return TFrameKind::PageAddress;
    if (Command == FinishCommand)
        return TFrameKind::Finish;
    return TFrameKind::Malformed;
}

std::uint8_t ByteAt(const std::string &Bytes, std::size_t Offset)
{
    return static_cast<std::uint8_t>(Bytes[Offset]);
}

// A frame is well formed when its size byte is the field size, its command is known, a
// block's offset is one of the two halves of a page and the fill after the payload is zero.
TFrameKind ClassifyFrame(const std::string &Bytes)
{
    if (ByteAt(Bytes, SizeOffset) != FramePayloadFieldSize)
        return TFrameKind::Malformed;
    const TFrameKind kind = CommandKind(std::string_view(Bytes).substr(CommandOffset, 2));
    if (kind == TFrameKind::Malformed)
        return kind;
    if (kind == TFrameKind::Block && ByteAt(Bytes, ArgumentOffset) != 0 &&
        ByteAt(Bytes, ArgumentOffset) != BlockDataSize)
        return TFrameKind::Malformed;
    const auto fill = Bytes.begin() + static_cast<std::ptrdiff_t>(2 + PayloadLength(kind));
    if (!std::all_of(fill, Bytes.end(), [](char C) { return C == '\0'; }))
        return TFrameKind::Malformed;
    return kind;
}

} // namespace

std::string FrameKindName(TFrameKind Kind)
{
    switch (Kind) {
    case TFrameKind::PageStart:
        return std::string(PageStartCommand);
    case TFrameKind::Block:
        return std::string(BlockCommand);
    case TFrameKind::PageAddress:
        return std::string(PageAddressCommand);
    case TFrameKind::Finish:
        return std::string(FinishCommand);
    case TFrameKind::Malformed:
        break;
    }
    return "malformed";
}

TUnitSim::TUnitSim(TUnitSimOptions Options, TClock Clock)
    : FOptions(std::move(Options))
    , FClock(std::move(Clock))
    , FEeprom(static_cast<std::size_t>(std::max(FOptions.EepromSize, 0)), 0xFF)
    , FPage(EepromPageSize, 0xFF)
    , FRefusalsLeft(FOptions.RefuseKinds)
{
    FOptions.SplitPieceSize = std::max(FOptions.SplitPieceSize, 1);
}

void TUnitSim::Receive(std::string_view Bytes)
{
    for (char byte : Bytes)
        ReceiveByte(byte);
}

TUnitTime TUnitSim::NextDue() const
{
    return std::min(FQueue.empty() ? TUnitTime::max() : FQueue.front().Due, FUnplugDue);
}

std::string TUnitSim::TakeDue()
{
    const TUnitTime now = FClock();
    std::string bytes;
    while (!FQueue.empty() && FQueue.front().Due <= now && FQueue.front().Due <= FUnplugDue) {
        bytes += FQueue.front().Bytes;
        FQueue.pop_front();
    }
    if (FUnplugDue <= now)
        Unplug();
    return bytes;
}

// What was still to be sent is lost with the device.
void TUnitSim::Unplug()
{
    FUnplugged = true;
    FUnplugDue = TUnitTime::max();
    FQueue.clear();
}

void TUnitSim::ReceiveByte(char Byte)
{
    if (FUnplugged)
        return;
    if (FFrame.empty()) {
        ReceiveBetweenFrames(Byte);
        return;
    }
    FFrame += Byte;
    if (FFrame.size() == static_cast<std::size_t>(FrameSize))
        HandleFrame();
}

// Between frames the dongle answers probes and the loader waits for a frame's start byte;
// any other byte is not the start of anything and is skipped, so the unit finds the next frame.
void TUnitSim::ReceiveBetweenFrames(char Byte)
{
    if (Byte == ProbeByte) {
        ++FProbeCount;
        if (FOptions.UnplugOnProbe) {
            Unplug();
        } else if (FOptions.UnplugMidProbeAnswer) {
            // The answer's second half would have followed a moment later.
            const std::string answer = Line(FOptions.ProbeAnswer);
            Send(answer.substr(0, answer.size() / 2), FOptions.AnswerDelay);
            FUnplugDue = FClock() + FOptions.AnswerDelay + std::chrono::milliseconds(20);
        } else if (!FOptions.SilentDongle) {
            Send(Line(FOptions.ProbeAnswer), FOptions.AnswerDelay);
        }
    } else if (Byte == LoaderCommandByte) {
        FLoaderListening = true;
    } else if (FLoaderListening && static_cast<std::uint8_t>(Byte) == FrameStartByte) {
        FFrame = Byte;
    }
}

void TUnitSim::HandleFrame()
{
    TUnitFrame frame{FClock(), std::move(FFrame), ++FRunFrames, TFrameKind::Malformed,
                     TFrameAnswer::Unanswered};
    FFrame.clear();
    frame.Kind = ClassifyFrame(frame.Bytes);

    if (FOptions.UnplugAfterFrame > 0 && frame.RunFrame == FOptions.UnplugAfterFrame) {
        Unplug();
    } else if (!FOptions.SilentUnit && !FSilenced) {
        frame.Answer = ExecuteFrame(frame);
        AnswerFrame(frame);
        if (frame.RunFrame == FOptions.StopAnsweringAfterFrame)
            FSilenced = true;
        if (frame.Kind == TFrameKind::Finish && frame.Answer == TFrameAnswer::Acknowledged)
            FRunFrames = 0; // the unit leaves its loader; the next frame begins a new run
    }
    FFrames.push_back(std::move(frame));
}

TFrameAnswer TUnitSim::ExecuteFrame(TUnitFrame &Frame)
{
    if (Frame.Kind == TFrameKind::Malformed || ShouldRefuse(Frame))
        return TFrameAnswer::Refused;
    switch (Frame.Kind) {
    case TFrameKind::PageStart:
        std::fill(FPage.begin(), FPage.end(), 0xFF);
        break;
    case TFrameKind::Block: {
        const auto data = Frame.Bytes.begin() + BlockDataOffset;
        std::copy(data, data + BlockDataSize, FPage.begin() + ByteAt(Frame.Bytes, ArgumentOffset));
        break;
    }
    case TFrameKind::PageAddress:
        if (!CommitPage(ByteAt(Frame.Bytes, ArgumentOffset) |
                        ByteAt(Frame.Bytes, ArgumentOffset + 1) << 8))
            return TFrameAnswer::Refused;
        break;
    case TFrameKind::Finish:
    case TFrameKind::Malformed:
        break;
    }
    return TFrameAnswer::Acknowledged;
}

// A page goes to an address of the form index * page size + 5 that lies wholly in the EEPROM.
bool TUnitSim::CommitPage(int Address)
{
    const int index = (Address - PageAddressBase) / EepromPageSize;
    if (Address < PageAddressBase || index * EepromPageSize + PageAddressBase != Address ||
        Address + EepromPageSize > static_cast<int>(FEeprom.size()))
        return false;
    std::copy(FPage.begin(), FPage.end(), FEeprom.begin() + Address);
    return true;
}

bool TUnitSim::ShouldRefuse(const TUnitFrame &Frame)
{
    if (FOptions.RefuseFrames.contains(Frame.RunFrame))
        return true;
    const auto left = FRefusalsLeft.find(Frame.Kind);
    if (left == FRefusalsLeft.end() || left->second <= 0)
        return false;
    --left->second;
    return true;
}

void TUnitSim::AnswerFrame(const TUnitFrame &Frame)
{
    std::string lines;
    if (FOptions.UnexpectedBeforeFrames.contains(Frame.RunFrame))
        lines += Line("X");
    if (FOptions.EmptyLineBeforeFrames.contains(Frame.RunFrame))
        lines += Line("");
    const char answer = Frame.Answer == TFrameAnswer::Acknowledged ? AcknowledgeByte : RefusalByte;
    lines += Line(std::string_view(&answer, 1));
    std::chrono::milliseconds delay = FOptions.AnswerDelay + FOptions.FrameAnswerDelay;
    if (const auto late = FOptions.LateFrames.find(Frame.RunFrame);
        late != FOptions.LateFrames.end())
        delay += late->second;
    Send(std::move(lines), delay);
}

// Queues an answer behind everything already queued, late and in pieces as the options say.
void TUnitSim::Send(std::string Bytes, std::chrono::milliseconds Delay)
{
    const TUnitTime earliest = FClock() + Delay;
    TUnitTime due = FQueue.empty() ? earliest : std::max(earliest, FQueue.back().Due);
    if (FOptions.SplitPause.count() <= 0) {
        FQueue.push_back({due, std::move(Bytes)});
        return;
    }
    const auto piece = static_cast<std::size_t>(FOptions.SplitPieceSize);
    for (std::size_t at = 0; at < Bytes.size(); at += piece) {
        FQueue.push_back({due, Bytes.substr(at, piece)});
        due += FOptions.SplitPause;
    }
}

// A reply line: the text, escaped byte by byte if asked, and the closing CR, never escaped.
std::string TUnitSim::Line(std::string_view Text) const
{
    std::string bytes;
    for (char c : Text) {
        if (FOptions.EscapeAnswers) {
            bytes += static_cast<char>(ReplyEscapeByte);
            bytes += static_cast<char>(~static_cast<std::uint8_t>(c));
        } else {
            bytes += c;
        }
    }
    bytes += static_cast<char>(ReplyLineEnd);
    return bytes;
}
