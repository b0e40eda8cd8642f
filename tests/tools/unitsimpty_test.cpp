#include "unitsimpty.h"

#include "frames.h"
#include "ptyclient.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 5s; // a bound, not an expectation: the machine may be loaded

std::array<std::uint8_t, SettingsBlockSize> SettingsBlock(std::uint8_t SecondValue,
                                                          std::uint8_t ZnId)
{
    std::array<std::uint8_t, SettingsBlockSize> Block;
    Block.fill(0xFF);
    Block[0] = SecondValue;
    Block[1] = ZnId;
    return Block;
}

std::vector<std::string> RunFrames(const std::array<std::uint8_t, SettingsBlockSize> &Block)
{
    return {BuildFrame(PageStartPayload()), BuildFrame(BlockPayload(Block.data(), 0)),
            BuildFrame(BlockPayload(Block.data(), 16)),
            BuildFrame(PageAddressPayload(0, EepromPageSize)), BuildFrame(FinishPayload())};
}

// Probes and hands over to the loader as discovery does, then plays a whole loader run.
void Download(TPtyClient &Port, const std::array<std::uint8_t, SettingsBlockSize> &Block)
{
    Port.Write("N");
    ASSERT_EQ(Port.Read(5, Patience), "IWRX\r");
    Port.Write("Z");
    for (const std::string &Frame : RunFrames(Block)) {
        Port.Write(Frame);
        ASSERT_EQ(Port.Read(2, Patience), "A\r");
    }
}

} // namespace

TEST(UnitSimPty, PortCanBeReopenedBetweenProbes)
{
    TUnitSimPty Sim;
    for (int Attempt = 0; Attempt < 3; ++Attempt) {
        TPtyClient Port(Sim.SlavePath());
        Port.Write("N");
        EXPECT_EQ(Port.Read(5, Patience), "IWRX\r") << "attempt " << Attempt;
    }
    EXPECT_TRUE(Sim.WaitFor([&] { return Sim.ProbeCount() == 3; }, Patience));
    EXPECT_FALSE(Sim.Unplugged());
    EXPECT_EQ(Sim.Failure(), "");
}

TEST(UnitSimPty, LoaderRunLandsTheBlockInTheEeprom)
{
    TUnitSimPty Sim;
    TPtyClient Port(Sim.SlavePath());
    const auto Block = SettingsBlock(31, 4);
    Download(Port, Block);

    ASSERT_TRUE(Sim.WaitForFrames(5, Patience));
    const auto Eeprom = Sim.Eeprom();
    EXPECT_EQ(std::vector<std::uint8_t>(Eeprom.begin() + 5, Eeprom.begin() + 37),
              std::vector<std::uint8_t>(Block.begin(), Block.end()));

    const auto Frames = Sim.Frames();
    EXPECT_EQ(Frames[3].Bytes, BuildFrame(PageAddressPayload(0, EepromPageSize)));
    for (std::size_t I = 1; I < Frames.size(); ++I)
        EXPECT_LE(Frames[I - 1].Time, Frames[I].Time);
}

TEST(UnitSimPty, ReportHoldsFramesRepliesAndEeprom)
{
    TUnitSimPty Sim;
    TPtyClient Port(Sim.SlavePath());
    Download(Port, SettingsBlock(0, 1));
    ASSERT_TRUE(Sim.WaitFor([&] { return Sim.Replies().size() >= 6u; }, Patience));

    const nlohmann::json Report = Sim.ReportJson();
    EXPECT_EQ(Report["slave"], Sim.SlavePath());
    EXPECT_EQ(Report["probes"], 1);
    EXPECT_EQ(Report["unplugged"], false);
    ASSERT_EQ(Report["frames"].size(), 5u);
    EXPECT_EQ(Report["frames"][0]["kind"], "SN");
    EXPECT_EQ(Report["frames"][0]["answer"], "acknowledged");
    EXPECT_EQ(Report["frames"][4]["kind"], "SZ");
    EXPECT_EQ(Report["frames"][1]["bytes"].get<std::string>().substr(0, 20),
              "44 20 53 42 00 00 01");
    EXPECT_EQ(Report["replies"][0]["bytes"], "49 57 52 58 0d");
    EXPECT_EQ(Report["replies"].back()["bytes"], "41 0d");
    long long Previous = -1;
    for (const auto &Frame : Report["frames"]) {
        EXPECT_GE(Frame["time_us"].get<long long>(), Previous);
        Previous = Frame["time_us"].get<long long>();
    }
    EXPECT_EQ(ParseHexBytes(Report["eeprom"].get<std::string>()), Sim.Eeprom());
}

TEST(UnitSimPty, UnplugHangsUpTheProgramsPort)
{
    TUnitSimPty Sim;
    TPtyClient Port(Sim.SlavePath());
    Port.Write("N");
    ASSERT_EQ(Port.Read(5, Patience), "IWRX\r");

    Sim.Unplug();
    EXPECT_TRUE(Sim.Unplugged());
    EXPECT_TRUE(Port.WaitForHangUp(Patience));
}

TEST(UnitSimPty, DeviceDisappearsMidRun)
{
    TUnitSimPty Sim({.UnplugAfterFrame = 3});
    TPtyClient Port(Sim.SlavePath());
    Port.Write("Z");
    const auto Frames = RunFrames(SettingsBlock(0, 1));
    for (int I = 0; I < 2; ++I) {
        Port.Write(Frames[static_cast<std::size_t>(I)]);
        ASSERT_EQ(Port.Read(2, Patience), "A\r");
    }
    Port.Write(Frames[2]);
    EXPECT_TRUE(Port.WaitForHangUp(Patience));
    EXPECT_TRUE(Sim.Unplugged());
    EXPECT_EQ(Sim.ReportJson()["unplugged"], true);
}

TEST(UnitSimPty, LateAnswerDoesNotComeEarly)
{
    TUnitSimPty Sim({.AnswerDelay = 400ms});
    TPtyClient Port(Sim.SlavePath());
    const auto Sent = std::chrono::steady_clock::now();
    Port.Write("N");
    EXPECT_EQ(Port.Read(5, Patience), "IWRX\r");
    EXPECT_GE(std::chrono::steady_clock::now() - Sent, 380ms);
}

TEST(UnitSimPty, SplitAnswerArrivesInSeveralWrites)
{
    TUnitSimPty Sim({.SplitPause = 30ms, .SplitPieceSize = 1});
    TPtyClient Port(Sim.SlavePath());
    Port.Write("N");
    EXPECT_EQ(Port.Read(5, Patience), "IWRX\r");
    ASSERT_TRUE(Sim.WaitFor([&] { return Sim.Replies().size() == 5u; }, Patience));
    EXPECT_GT(Port.ReadCalls(), 1);
}

TEST(UnitSimPty, EndingTheSimulatorHangsUpAPortLeftOpen)
{
    std::optional<TPtyClient> Port;
    {
        TUnitSimPty Sim;
        Port.emplace(Sim.SlavePath());
        Sim.Stop();
        Sim.Stop();
        EXPECT_EQ(Sim.Failure(), "");
        EXPECT_FALSE(Sim.Unplugged()) << "stopping is not unplugging";
    }
    EXPECT_TRUE(Port->WaitForHangUp(Patience));
}
