// zarnell-cli as a script runs it: a process of its own, against the simulated unit on
// pseudo-terminals named by ZARNELL_PORTS, its exit status, its JSON and its words.
#include "wholejob.h"

#include "childprocess.h"
#include "frames.h"
#include "slowports.h"

#include <nlohmann/json.hpp>

#include <csignal>

using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 20s; // a bound, not an expectation: the machine may be loaded

// zarnell-cli with its standard input on /dev/null (no terminal), on the given ports.
class TCliProcess : public TChildProcess {
public:
    TCliProcess(const std::vector<std::string> &Ports, std::vector<std::string> Arguments)
        : TChildProcess(ZARNELL_CLI, std::move(Arguments), {"ZARNELL_PORTS=" + Joined(Ports)})
    {
    }

    nlohmann::json Json() const { return nlohmann::json::parse(Out); }

private:
    static std::string Joined(const std::vector<std::string> &Ports)
    {
        std::string joined;
        for (const std::string &port : Ports)
            joined += (joined.empty() ? "" : ":") + port;
        return joined;
    }
};

std::vector<std::string> ProgramArguments(int ZnId, int Value)
{
    return {"program", "--zn-id", std::to_string(ZnId), "--value", std::to_string(Value),
            "--yes",   "--json"};
}

// The frames as the unit received them, without a finish frame repeated by the tick.
std::vector<std::string> RunFrames(const TUnitSimPty &Unit)
{
    std::vector<std::string> frames;
    for (const TUnitFrame &frame : Unit.Frames()) {
        if (frame.Kind != TFrameKind::Finish || frames.empty() || frames.back() != frame.Bytes)
            frames.push_back(frame.Bytes);
    }
    return frames;
}

bool Untouched(const TUnitSimPty &Unit)
{
    return Unit.ProbeCount() == 0 && !Unit.LoaderListening() && Unit.Frames().empty();
}

} // namespace

// The window first, then the command line on a unit of its own, with the same values.
TEST_F(TWholeJob, TheCommandLineWritesTheSameBytesAsTheWindow)
{
    TUnitSimOptions options{.RefuseFrames = {3}, .EscapeAnswers = true};
    TUnitSimPty &windowUnit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    SetSliders(31, 4);
    DownloadToProgrammed();
    FWindows.reset();

    TUnitSimPty cliUnit(options);
    TCliProcess cli({cliUnit.SlavePath()}, ProgramArguments(4, 31));
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    EXPECT_EQ(cliUnit.Eeprom(), windowUnit.Eeprom());
    EXPECT_EQ(RunFrames(cliUnit), RunFrames(windowUnit));
    EXPECT_EQ(RunFrames(cliUnit).size(), 6u) << "the refused block went out twice";

    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["outcome"], "programmed");
    EXPECT_EQ(json["exit_status"], 0);
    EXPECT_EQ(json["port"], cliUnit.SlavePath());
    EXPECT_EQ(json["zn_id"], 4);
    EXPECT_EQ(json["value"], 31);
    EXPECT_EQ(json["block"], "1f04" + std::string(60, 'f'));
    EXPECT_EQ(json["eeprom_unfinished"], false);
    EXPECT_GT(json["seconds"].get<double>(), 0);
    EXPECT_NE(cli.Err.find("Press Reset on ZN and then Press OK"), std::string::npos)
        << "the caution goes to standard error with --json";
}

namespace {

struct TEndCase {
    const char *Name;
    TUnitSimOptions Options;
    std::vector<std::string> Extra; // further arguments; "PORT" stands for the unit's port
    int Status;
    const char *Outcome;
    bool Unfinished;
};

class TCliEnd : public ::testing::TestWithParam<TEndCase> {};

} // namespace

TEST_P(TCliEnd, EachWayARunEndsHasItsStatus)
{
    const TEndCase &c = GetParam();
    TUnitSimPty unit(c.Options);
    std::vector<std::string> arguments = ProgramArguments(2, 7);
    for (const std::string &extra : c.Extra)
        arguments.push_back(extra == "PORT" ? unit.SlavePath() : extra);
    TCliProcess cli({unit.SlavePath()}, arguments);
    ASSERT_EQ(cli.Wait(Patience), c.Status) << cli.Err;
    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["outcome"], c.Outcome);
    EXPECT_EQ(json["exit_status"], c.Status);
    EXPECT_EQ(json["eeprom_unfinished"], c.Unfinished);
    EXPECT_EQ(unit.Eeprom(), std::vector<std::uint8_t>(unit.Eeprom().size(), 0xFF))
        << "the page is committed only by a run that is not cut short";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, TCliEnd,
    ::testing::Values(
        TEndCase{
            "NoDongle", {.SilentDongle = true}, {"--search-timeout", "1"}, 3, "no-dongle", false},
        TEndCase{"PortThatIsNotTheDongle",
                 {.SilentDongle = true},
                 {"--port", "PORT"},
                 3,
                 "no-dongle",
                 false},
        TEndCase{"SilentUnit",
                 {.SilentUnit = true},
                 {"--silence-timeout", "0.5"},
                 4,
                 "silent-unit",
                 false},
        TEndCase{"DongleLostMidRun", {.UnplugAfterFrame = 3}, {}, 5, "dongle-lost", true},
        TEndCase{
            "UnexpectedReply", {.UnexpectedBeforeFrames = {2}}, {}, 6, "unexpected-reply", true}),
    [](const ::testing::TestParamInfo<TEndCase> &Info) { return std::string(Info.param.Name); });

TEST(CliUsage, BadArgumentsAreRefusedBeforeAnyPortIsTouched)
{
    TUnitSimPty unit;
    const std::string port = unit.SlavePath();
    const std::vector<std::vector<std::string>> cases{
        {"program", "--zn-id", "5", "--value", "1", "--yes"},
        {"program", "--zn-id", "1", "--value", "32", "--yes"},
        {"program", "--zn-id", "one", "--value", "1", "--yes"},
        {"program", "--value", "1", "--yes"},
        {"program", "--zn-id", "1", "--value", "1", "--yes", "--port", "/dev/no-such-port"},
        {"program", "--zn-id", "1", "--value", "1", "--yes", "--port", port, "--port", port},
        {"program", "--zn-id", "1", "--value", "1", "--yes", "--port", port, "--search-timeout",
         "5"},
        {"program", "--zn-id", "1", "--value", "1"}, // no terminal to confirm on, no --yes
        {"program", "--zn-id", "1", "--value", "1", "--yes", "--silence-timeout", "0"},
        {},
    };
    for (const std::vector<std::string> &arguments : cases) {
        TCliProcess cli({port}, arguments);
        EXPECT_EQ(cli.Wait(Patience), 2) << ::testing::PrintToString(arguments);
        EXPECT_FALSE(cli.Err.empty()) << ::testing::PrintToString(arguments);
    }
    EXPECT_TRUE(Untouched(unit));
}

TEST(CliInterrupt, CtrlCMidRunEndsWithinASecondAndSaysTheEepromWasLeftUnfinished)
{
    // Slow answers, so that the run is surely under way when the signal comes.
    TUnitSimPty unit({.FrameAnswerDelay = 400ms});
    TCliProcess cli({unit.SlavePath()}, ProgramArguments(3, 9));
    ASSERT_TRUE(unit.WaitForFrames(2, Patience)) << "the first block never went out";
    cli.Signal(SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(cli.Wait(Patience), 7) << cli.Err;
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["outcome"], "interrupted");
    EXPECT_EQ(json["eeprom_unfinished"], true);
    EXPECT_NE(cli.Err.find("the port is closed. The unit's EEPROM was left unfinished"),
              std::string::npos)
        << cli.Err;
    // Nothing was sent after the signal: the run stopped where it stood.
    EXPECT_LT(unit.Frames().size(), 4u);
}

TEST(CliPorts, EveryPortInOrderWithWhatItsProbeFound)
{
    TUnitSimPty silent({.SilentDongle = true});
    TUnitSimPty dongle;
    const std::vector<std::string> ports{silent.SlavePath(), "/dev/no-such-port",
                                         dongle.SlavePath()};
    TCliProcess cli(ports, {"ports", "--json"});
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["dongle"], dongle.SlavePath());
    ASSERT_EQ(json["ports"].size(), 3u);
    const std::vector<std::string> outcomes{"no answer to the probe", "not present (unplugged?)",
                                            "the dongle"};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(json["ports"][i]["port"], ports[i]);
        EXPECT_EQ(json["ports"][i]["outcome"], outcomes[i]);
        EXPECT_NE(cli.Err.find(ports[i] + ": " + outcomes[i] + "\n"), std::string::npos);
    }
    EXPECT_FALSE(dongle.LoaderListening()) << "listing hands nothing over to the boot loader";

    TCliProcess none({silent.SlavePath()}, {"ports"});
    EXPECT_EQ(none.Wait(Patience), 3);
    EXPECT_EQ(none.Out, silent.SlavePath() + ": no answer to the probe\n");
}

TEST(CliPorts, APortSlowToOpenIsSkippedAndTheDongleBehindItStillFound)
{
    const std::vector<TSlowPort> slow = SlowPorts();
    if (slow.empty())
        GTEST_SKIP() << "needs the preloaded slow-ports library, as ctest runs these tests";
    TUnitSimPty silent({.SilentDongle = true});
    TUnitSimPty dongle;
    const TSlowPortLink link(slow[0], silent.SlavePath());
    TCliProcess cli({slow[0].Path, dongle.SlavePath()}, {"ports", "--json"});
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    const nlohmann::json json = cli.Json();
    ASSERT_EQ(json["ports"].size(), 2u);
    EXPECT_TRUE(json["ports"][0]["outcome"].get<std::string>().starts_with(
        "slow to open, skipped: its open has not returned after"))
        << json["ports"][0]["outcome"];
    EXPECT_EQ(json["ports"][1]["outcome"], "the dongle");
    EXPECT_EQ(silent.ProbeCount(), 0) << "nothing was written to the slow port";
}
