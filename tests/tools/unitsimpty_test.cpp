#include "unitsimpty.h"

#include "frames.h"
#include "ptyclient.h"
#include "unitreport.h"

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
    std::array<std::uint8_t, SettingsBlockSize> block;
    block.fill(0xFF);
    block[0] = SecondValue;
    block[1] = ZnId;
    return block;
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
    for (const std::string &frame : RunFrames(Block)) {
        Port.Write(frame);
        ASSERT_EQ(Port.Read(2, Patience), "A\r");
    }
}

} // namespace

TEST(UnitSimPty, PortCanBeReopenedBetweenProbes)
{
    TUnitSimPty sim;
    for (int attempt = 0; attempt < 3; ++attempt) {
        TPtyClient port(sim.SlavePath());
        port.Write("N");
        EXPECT_EQ(port.Read(5, Patience), "IWRX\r") << "attempt " << attempt;
    }
    EXPECT_TRUE(sim.WaitFor([&] { return sim.ProbeCount() == 3; }, Patience));
    EXPECT_FALSE(sim.Unplugged());
    EXPECT_EQ(sim.Failure(), "");
}

TEST(UnitSimPty, LoaderRunLandsTheBlockInTheEeprom)
{
    TUnitSimPty sim;
    TPtyClient port(sim.SlavePath());
    const auto block = SettingsBlock(31, 4);
    Download(port, block);

    ASSERT_TRUE(sim.WaitForFrames(5, Patience));
    const auto eeprom = sim.Eeprom();
    EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin() + 5, eeprom.begin() + 37),
              std::vector<std::uint8_t>(block.begin(), block.end()));

    const auto frames = sim.Frames();
    EXPECT_EQ(frames[3].Bytes, BuildFrame(PageAddressPayload(0, EepromPageSize)));
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_LE(frames[i - 1].Time, frames[i].Time);
}

TEST(UnitSimPty, ReportHoldsFramesRepliesAndEeprom)
{
    TUnitSimPty sim;
    TPtyClient port(sim.SlavePath());
    Download(port, SettingsBlock(0, 1));
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Replies().size() >= 6u; }, Patience));

    const nlohmann::json report = UnitReportJson(sim);
    EXPECT_EQ(report["slave"], sim.SlavePath());
    EXPECT_EQ(report["probes"], 1);
    EXPECT_EQ(report["unplugged"], false);
    ASSERT_EQ(report["frames"].size(), 5u);
    EXPECT_EQ(report["frames"][0]["kind"], "SN");
    EXPECT_EQ(report["frames"][0]["answer"], "acknowledged");
    EXPECT_EQ(report["frames"][4]["kind"], "SZ");
    EXPECT_EQ(report["frames"][1]["bytes"].get<std::string>().substr(0, 20),
              "44 20 53 42 00 00 01");
    EXPECT_EQ(report["replies"][0]["bytes"], "49 57 52 58 0d");
    EXPECT_EQ(report["replies"].back()["bytes"], "41 0d");
    long long previous = -1;
    for (const auto &frame : report["frames"]) {
        EXPECT_GE(frame["time_us"].get<long long>(), previous);
        previous = frame["time_us"].get<long long>();
    }
    EXPECT_EQ(ParseHexBytes(report["eeprom"].get<std::string>()), sim.Eeprom());
}

TEST(UnitSimPty, UnplugHangsUpTheProgramsPort)
{
    TUnitSimPty sim;
    TPtyClient port(sim.SlavePath());
    port.Write("N");
    ASSERT_EQ(port.Read(5, Patience), "IWRX\r");

    sim.Unplug();
    EXPECT_TRUE(sim.Unplugged());
    EXPECT_TRUE(port.WaitForHangUp(Patience));
}

TEST(UnitSimPty, DeviceDisappearsMidRun)
{
    TUnitSimPty sim({.UnplugAfterFrame = 3});
    TPtyClient port(sim.SlavePath());
    port.Write("Z");
    const auto frames = RunFrames(SettingsBlock(0, 1));
    for (int i = 0; i < 2; ++i) {
        port.Write(frames[static_cast<std::size_t>(i)]);
        ASSERT_EQ(port.Read(2, Patience), "A\r");
    }
    port.Write(frames[2]);
    EXPECT_TRUE(port.WaitForHangUp(Patience));
    EXPECT_TRUE(sim.Unplugged());
    EXPECT_EQ(UnitReportJson(sim)["unplugged"], true);
}

TEST(UnitSimPty, LateAnswerDoesNotComeEarly)
{
    TUnitSimPty sim({.AnswerDelay = 400ms});
    TPtyClient port(sim.SlavePath());
    const auto sent = std::chrono::steady_clock::now();
    port.Write("N");
    EXPECT_EQ(port.Read(5, Patience), "IWRX\r");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 380ms);
}

TEST(UnitSimPty, SplitAnswerArrivesInSeveralWrites)
{
    TUnitSimPty sim({.SplitPause = 30ms, .SplitPieceSize = 1});
    TPtyClient port(sim.SlavePath());
    port.Write("N");
    EXPECT_EQ(port.Read(5, Patience), "IWRX\r");
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Replies().size() == 5u; }, Patience));
    EXPECT_GT(port.ReadCalls(), 1);
}

TEST(UnitSimPty, EndingTheSimulatorHangsUpAPortLeftOpen)
{
    std::optional<TPtyClient> port;
    {
        TUnitSimPty sim;
        port.emplace(sim.SlavePath());
        sim.Stop();
        sim.Stop();
        EXPECT_EQ(sim.Failure(), "");
        EXPECT_FALSE(sim.Unplugged()) << "stopping is not unplugging";
    }
    EXPECT_TRUE(port->WaitForHangUp(Patience));
}
