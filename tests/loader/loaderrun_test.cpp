// The loader run without a window: the serial component on the simulated unit's line, the
// hand-overs served and the tick run by the test thread, as the command line drives it.
#include "dongleline.h"
#include "loaderrun.h"
#include "sercomm.h"
#include "serhandover.h"
#include "unitsimpty.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 5s; // a bound, not an expectation: the machine may be loaded

class TPlainDriver : public TLoaderRun::TDriver {
public:
    void ShowProgramming(double) override {}
    void SetTickRunning(bool On) override { TickRunning = On; }
    void FrameSent(std::string_view, const std::string &) override {}
    void ReplyReceived(const std::string &) override {}
    void Programmed() override { Done = true; }

    bool TickRunning = false;
    bool Done = false;
};

struct TRunCase {
    const char *Name;
    TUnitSimOptions Options;
    std::vector<std::string> Kinds; // the frames the unit receives, up to where the run stays
    bool Programmed;
    bool Unfinished;
};

class TLoaderRunTest : public ::testing::TestWithParam<TRunCase> {};

// Serves the port and ticks every 20 ms until the run is programmed or Kinds.size() frames have
// reached a unit that stays silent from then on.
void Drive(TLoaderRun &Run, TPlainDriver &Driver, const TUnitSimPty &Unit, std::size_t Frames)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (!Driver.Done && Unit.Frames().size() < Frames &&
           std::chrono::steady_clock::now() < deadline) {
        TSerHandOver::Main().ServeUntil([&] { return Driver.Done; }, TLoaderRun::TickInterval);
        if (Driver.TickRunning)
            Run.Tick();
    }
}

} // namespace

TEST_P(TLoaderRunTest, SendsTheRunsFramesAndTellsWhetherThePageWasLeftHalfWritten)
{
    const TRunCase &c = GetParam();
    TUnitSimPty unit(c.Options);
    TSerComm comm;
    UseDongleLine(comm);
    comm.SetDeviceName(unit.SlavePath());
    comm.Open();
    comm.WriteChar('Z');
    ASSERT_TRUE(unit.WaitFor([&] { return unit.LoaderListening(); }, Patience));

    TLoaderRun::TImage image;
    image.fill(0xFF);
    image[0] = 13; // the line end and the escape byte travel unescaped in a frame
    image[1] = 33;
    TPlainDriver driver;
    TLoaderRun run(driver);
    run.Start(comm, image);
    EXPECT_FALSE(run.Unfinished());
    Drive(run, driver, unit, c.Kinds.size());

    EXPECT_EQ(driver.Done, c.Programmed);
    EXPECT_EQ(run.Unfinished(), c.Unfinished);
    std::vector<std::string> kinds;
    for (const TUnitFrame &frame : unit.Frames())
        kinds.push_back(FrameKindName(frame.Kind));
    // A finish frame that the tick repeats before its acknowledgement has come is no fault.
    if (kinds.size() > c.Kinds.size() && kinds.back() == "SZ")
        kinds.resize(c.Kinds.size());
    EXPECT_EQ(kinds, c.Kinds);
    if (c.Programmed) {
        EXPECT_EQ(comm.OnRxChar.Assigned(), false) << "a run that has ended reads nothing";
        const std::vector<std::uint8_t> eeprom = unit.Eeprom();
        EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin() + PageAddressBase,
                                            eeprom.begin() + PageAddressBase + EepromPageSize),
                  std::vector<std::uint8_t>(image.begin(), image.end()));
    }
    run.Abandon();
    comm.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TLoaderRunTest,
    ::testing::Values(
        TRunCase{"Acknowledged", {}, {"SN", "SB", "SB", "SE", "SZ"}, true, false},
        TRunCase{"RefusedAndEscaped",
                 {.RefuseFrames = {1, 3}, .EscapeAnswers = true},
                 {"SN", "SN", "SB", "SB", "SB", "SE", "SZ"},
                 true,
                 false},
        TRunCase{"PageStartUnanswered", {.SilentUnit = true}, {"SN"}, false, false},
        TRunCase{
            "FirstBlockUnanswered", {.StopAnsweringAfterFrame = 1}, {"SN", "SB"}, false, true}),
    [](const ::testing::TestParamInfo<TRunCase> &Info) { return std::string(Info.param.Name); });
