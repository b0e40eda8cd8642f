#include "unitsim.h"

#include "frames.h"
#include "replyparser.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace {

// The simulator on a clock that moves only when the test moves it.
class UnitSim : public ::testing::Test {
protected:
    void Start(TUnitSimOptions Options = {})
    {
        Sim = std::make_unique<TUnitSim>(std::move(Options), [this] { return Now; });
    }

    // Sends Bytes and returns the answer lines due at once.
    std::vector<std::string> Exchange(std::string_view Bytes)
    {
        Sim->Receive(Bytes);
        return DueLines();
    }

    std::vector<std::string> DueLines()
    {
        std::vector<std::string> lines;
        for (char byte : Sim->TakeDue())
            if (auto line = Parser.Feed(static_cast<std::uint8_t>(byte)))
                lines.push_back(std::move(*line));
        return lines;
    }

    std::vector<std::string> Run()
    {
        std::vector<std::string> lines;
        for (const std::string &frame : RunFrames())
            for (std::string &line : Exchange(frame))
                lines.push_back(std::move(line));
        return lines;
    }

    static std::vector<std::string> RunFrames()
    {
        return {BuildFrame(PageStartPayload()), BuildFrame(BlockPayload(Block.data(), 0)),
                BuildFrame(BlockPayload(Block.data(), 16)),
                BuildFrame(PageAddressPayload(0, EepromPageSize)), BuildFrame(FinishPayload())};
    }

    std::vector<std::uint8_t> SettingsBlockInEeprom() const
    {
        const auto &eeprom = Sim->Eeprom();
        return {eeprom.begin() + 5, eeprom.begin() + 5 + SettingsBlockSize};
    }

    static constexpr std::array<std::uint8_t, SettingsBlockSize> Block = [] {
        std::array<std::uint8_t, SettingsBlockSize> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i < 2 ? 7 * i + 3 : 255 - i);
        return bytes;
    }();
    const std::vector<std::uint8_t> BlockBytes{Block.begin(), Block.end()};
    const std::vector<std::string> Acks = std::vector<std::string>(5, "A");

    TUnitTime Now{};
    TReplyLineParser Parser;
    std::unique_ptr<TUnitSim> Sim;
};

} // namespace

TEST_F(UnitSim, DongleAnswersEveryProbe)
{
    Start();
    EXPECT_EQ(Exchange("N"), std::vector<std::string>{"IWRX"});
    EXPECT_EQ(Exchange("NN"), (std::vector<std::string>{"IWRX", "IWRX"}));
    EXPECT_EQ(Sim->ProbeCount(), 3);
    EXPECT_EQ(Sim->TakeDue(), "");
}

TEST_F(UnitSim, SilentDongleNeverAnswers)
{
    Start({.SilentDongle = true});
    EXPECT_TRUE(Exchange("NNN").empty());
    EXPECT_EQ(Sim->ProbeCount(), 3);
    EXPECT_EQ(Sim->NextDue(), TUnitTime::max());
}

TEST_F(UnitSim, RunWritesTheBlockAtAddressFive)
{
    Start();
    // Before "Z" only the dongle listens: the frame's "N" is just another probe.
    EXPECT_EQ(Exchange(BuildFrame(PageStartPayload())), std::vector<std::string>{"IWRX"});
    EXPECT_TRUE(Sim->Frames().empty());

    Exchange("NZ");
    EXPECT_EQ(Run(), Acks);
    EXPECT_EQ(SettingsBlockInEeprom(), BlockBytes);
    EXPECT_EQ(Sim->Eeprom().size(), 256u);
    EXPECT_EQ(Sim->Eeprom()[4], 0xFF);
    EXPECT_EQ(Sim->Eeprom()[37], 0xFF);

    const auto &frames = Sim->Frames();
    ASSERT_EQ(frames.size(), 5u);
    const std::vector<TFrameKind> kinds{TFrameKind::PageStart, TFrameKind::Block, TFrameKind::Block,
                                        TFrameKind::PageAddress, TFrameKind::Finish};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].Kind, kinds[i]);
        EXPECT_EQ(frames[i].RunFrame, static_cast<int>(i) + 1);
        EXPECT_EQ(frames[i].Answer, TFrameAnswer::Acknowledged);
        EXPECT_EQ(frames[i].Bytes, RunFrames()[i]);
    }
}

TEST_F(UnitSim, NewRunNeedsNoSecondCommand)
{
    Start();
    Exchange("Z");
    Run();
    EXPECT_EQ(Run(), Acks);
    EXPECT_EQ(Sim->Frames().back().RunFrame, 5);
}

TEST_F(UnitSim, MalformedFramesAreRefusedAndStrayBytesSkipped)
{
    Start();
    Exchange("Z");
    std::string wrongSize = BuildFrame(PageStartPayload());
    wrongSize[1] = 16;
    std::string dirtyFill = BuildFrame(FinishPayload());
    dirtyFill[33] = 1;
    const std::string refused{"N"};
    EXPECT_EQ(Exchange(wrongSize), std::vector{refused});
    EXPECT_EQ(Exchange(dirtyFill), std::vector{refused});
    EXPECT_EQ(Exchange(BuildFrame("SQ")), std::vector{refused});
    EXPECT_EQ(Exchange(BuildFrame(BlockPayload(Block.data(), 8))), std::vector{refused});
    EXPECT_EQ(Exchange(BuildFrame("SE\x06")), std::vector{refused}) << "not a page address";
    EXPECT_EQ(Exchange(BuildFrame(PageAddressPayload(8, EepromPageSize))), std::vector{refused})
        << "past end";
    EXPECT_EQ(Sim->Eeprom(), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_EQ(Sim->Frames().front().Kind, TFrameKind::Malformed);

    EXPECT_TRUE(Exchange("\x01xy\r").empty());
    EXPECT_EQ(Run(), Acks);
}

TEST_F(UnitSim, RefusesChosenFramesOfEveryRun)
{
    Start({.RefuseFrames = {2}});
    Exchange("Z");
    const auto frames = RunFrames();
    EXPECT_EQ(Exchange(frames[0]), std::vector<std::string>{"A"});
    EXPECT_EQ(Exchange(frames[1]), std::vector<std::string>{"N"});
    EXPECT_EQ(Exchange(frames[1]), std::vector<std::string>{"A"}) << "the retry is frame 3";
    for (std::size_t i = 2; i < frames.size(); ++i)
        Exchange(frames[i]);
    EXPECT_EQ(SettingsBlockInEeprom(), BlockBytes);
    EXPECT_EQ(Exchange(frames[0]), std::vector<std::string>{"A"});
    EXPECT_EQ(Exchange(frames[1]), std::vector<std::string>{"N"}) << "second run";
}

TEST_F(UnitSim, RefusesAKindAGivenNumberOfTimes)
{
    Start({.RefuseKinds = {{TFrameKind::PageAddress, 2}}});
    Exchange("Z");
    const auto frames = RunFrames();
    for (std::size_t i = 0; i < 3; ++i)
        Exchange(frames[i]);
    EXPECT_EQ(Exchange(frames[3]), std::vector<std::string>{"N"});
    EXPECT_EQ(Sim->Eeprom()[5], 0xFF) << "a refused frame changes nothing";
    EXPECT_EQ(Exchange(frames[3]), std::vector<std::string>{"N"});
    EXPECT_EQ(Exchange(frames[3]), std::vector<std::string>{"A"});
    EXPECT_EQ(SettingsBlockInEeprom(), BlockBytes);
}

TEST_F(UnitSim, UnexpectedAndEmptyLinesComeBeforeTheAnswer)
{
    Start({.UnexpectedBeforeFrames = {2}, .EmptyLineBeforeFrames = {2, 3}});
    Exchange("Z");
    EXPECT_EQ(Run(), (std::vector<std::string>{"A", "X", "", "A", "", "A", "A", "A"}));
}

TEST_F(UnitSim, EscapedAnswersReadTheSame)
{
    Start({.EscapeAnswers = true});
    Sim->Receive("N");
    const std::string wire = Sim->TakeDue();
    EXPECT_EQ(wire, "!\xB6!\xA8!\xAD!\xA7\r");
    std::vector<std::string> lines;
    for (char byte : wire)
        if (auto line = Parser.Feed(static_cast<std::uint8_t>(byte)))
            lines.push_back(*line);
    EXPECT_EQ(lines, std::vector<std::string>{"IWRX"});
    Exchange("Z");
    EXPECT_EQ(Run(), Acks);
}

TEST_F(UnitSim, LateAnswersFallDueAfterTheDelayInOrder)
{
    Start({.AnswerDelay = 400ms});
    Sim->Receive("N");
    EXPECT_EQ(Sim->NextDue(), Now + 400ms);
    Now += 399ms;
    EXPECT_TRUE(DueLines().empty());
    Sim->Receive("N");
    Now += 1ms;
    EXPECT_EQ(DueLines(), std::vector<std::string>{"IWRX"});
    Now += 400ms;
    EXPECT_EQ(DueLines(), std::vector<std::string>{"IWRX"});
}

TEST_F(UnitSim, SplitAnswersComeInPieces)
{
    Start({.SplitPause = 10ms, .SplitPieceSize = 2});
    Sim->Receive("N");
    EXPECT_EQ(Sim->TakeDue(), "IW");
    EXPECT_EQ(Sim->NextDue(), Now + 10ms);
    Now += 10ms;
    EXPECT_EQ(Sim->TakeDue(), "RX");
    Now += 15ms;
    EXPECT_EQ(Sim->TakeDue(), "\r");
    EXPECT_EQ(Sim->NextDue(), TUnitTime::max());
}

TEST_F(UnitSim, SilentUnitTakesFramesButDoesNothing)
{
    Start({.SilentUnit = true});
    Exchange("Z");
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(Sim->Frames().size(), 5u);
    EXPECT_EQ(Sim->Frames().front().Answer, TFrameAnswer::Unanswered);
    EXPECT_EQ(Sim->Eeprom(), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_EQ(Exchange("N"), std::vector<std::string>{"IWRX"}) << "the dongle still answers";
}

TEST_F(UnitSim, UnitStopsAnsweringForGoodAfterFrameK)
{
    Start({.StopAnsweringAfterFrame = 2});
    Exchange("Z");
    EXPECT_EQ(Run(), (std::vector<std::string>{"A", "A"}));
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(Sim->Frames().size(), 10u);
}

TEST_F(UnitSim, DeviceDisappearsWhenFrameKArrives)
{
    Start({.AnswerDelay = 5ms, .UnplugAfterFrame = 3});
    Exchange("Z");
    const auto frames = RunFrames();
    Sim->Receive(frames[0]);
    Sim->Receive(frames[1]);
    Sim->Receive(frames[2]);
    EXPECT_TRUE(Sim->Unplugged());
    Now += 1s;
    EXPECT_EQ(Sim->TakeDue(), "") << "queued answers are lost with the device";
    Sim->Receive("N");
    EXPECT_EQ(Sim->ProbeCount(), 0);
    EXPECT_EQ(Sim->Frames().size(), 3u);
    EXPECT_EQ(Sim->Frames().back().Answer, TFrameAnswer::Unanswered);
}

TEST_F(UnitSim, DeviceDisappearsAtTheProbeOrHalfWayThroughItsAnswer)
{
    Start({.UnplugOnProbe = true});
    Sim->Receive("N");
    EXPECT_TRUE(Sim->Unplugged());
    EXPECT_EQ(Sim->TakeDue(), "");

    Start({.UnplugMidProbeAnswer = true});
    Sim->Receive("N");
    EXPECT_FALSE(Sim->Unplugged());
    EXPECT_EQ(Sim->TakeDue(), "IW") << "half of IWRX and its CR";
    EXPECT_FALSE(Sim->Unplugged());
    EXPECT_EQ(Sim->NextDue(), Now + 20ms) << "the transport must wake for the disappearance";
    Now += 20ms;
    EXPECT_EQ(Sim->TakeDue(), "");
    EXPECT_TRUE(Sim->Unplugged());
}
