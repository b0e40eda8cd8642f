// zarnell-cli as a script runs it: a process of its own, against the simulated unit on
// pseudo-terminals named by ZARNELL_PORTS, its exit status, its JSON and its words.
#include "wholejob.h"

#include "childprocess.h"
#include "frames.h"
#include "ptypair.h"
#include "slowports.h"

#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>

using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 20s; // a bound, not an expectation: the machine may be loaded

// zarnell-cli on the given ports, with its standard input on /dev/null (no terminal) unless it
// is given one.
class TCliProcess : public TChildProcess {
public:
    TCliProcess(const std::vector<std::string> &Ports, std::vector<std::string> Arguments,
                const TChildTerminal &Terminal = {})
        : TChildProcess(ZARNELL_CLI, std::move(Arguments), {"ZARNELL_PORTS=" + Joined(Ports)},
                        Terminal)
    {
    }

    nlohmann::json Json() const { return nlohmann::json::parse(Out); }

private:
    static std::string Joined(const std::vector<std::string> &Ports)
    {
        std::string joined;
        for (std::size_t i = 0; i < Ports.size(); ++i)
            joined += (i == 0 ? "" : ":") + Ports[i];
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

// Probed, perhaps, but given nothing to program.
bool NotProgrammed(const TUnitSimPty &Unit)
{
    return !Unit.LoaderListening() && Unit.Frames().empty();
}

// The command closed the port before it ended, and left no exclusive flag behind.
bool OpensAgain(const TUnitSimPty &Unit)
{
    TSerComm again;
    again.SetDeviceName(Unit.SlavePath());
    try {
        again.Open();
        return true;
    } catch (const ESerCommError &) {
        return false;
    }
}

bool Holds(const TUnitSimPty &Unit, int ZnId, int Value)
{
    const std::vector<std::uint8_t> eeprom = Unit.Eeprom();
    const TSettingsBlock block = MakeSettingsBlock(Value, ZnId);
    return std::equal(block.begin(), block.end(), eeprom.begin() + PageAddressBase);
}

// What the person at the terminal reads, up to Text, or all that came before Timeout.
std::string ReadUntil(TPtyPair &Terminal, const std::string &Text,
                      std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::string seen;
    while (seen.find(Text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
        seen += Terminal.Read(1, std::chrono::ceil<std::chrono::milliseconds>(
                                     deadline - std::chrono::steady_clock::now()));
    return seen;
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
    EXPECT_TRUE(unit.Unplugged() || OpensAgain(unit));
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
            "UnexpectedReply", {.UnexpectedBeforeFrames = {2}}, {}, 6, "unexpected-reply", true},
        // Each refusal sends the page address again at once; none of them is progress.
        TEndCase{"UnitThatKeepsRefusing",
                 {.RefuseKinds = {{TFrameKind::PageAddress, 1'000'000'000}}},
                 {"--silence-timeout", "0.5"},
                 8,
                 "unit-refuses",
                 true}),
    [](const ::testing::TestParamInfo<TEndCase> &Info) { return std::string(Info.param.Name); });

TEST(CliUsage, BadArgumentsAreRefusedBeforeAnyPortIsTouched)
{
    TUnitSimPty unit;
    const std::string port = unit.SlavePath();
    struct TCase {
        std::vector<std::string> Arguments;
        std::vector<std::string> Ports{};
    };
    const std::vector<TCase> cases{
        {{"program", "--zn-id", "5", "--value", "1", "--yes"}},
        {{"program", "--zn-id", "1", "--value", "32", "--yes"}},
        {{"program", "--zn-id", "one", "--value", "1", "--yes"}},
        {{"program", "--value", "1", "--yes"}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--port", "/dev/no-such-port"}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--port", port, "--port", port}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--port", port, "--search-timeout",
          "5"}},
        {{"program", "--zn-id", "1", "--value", "1"}}, // no terminal to confirm on, no --yes
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--silence-timeout", "0"}},
        {{}},
        // A script's unset variable is no port, and no wish to search them all.
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--port", ""}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes"}, {port, ""}},
        {{"ports"}, {"", port}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--search-timeout", "nan"}},
        {{"program", "--zn-id", "1", "--value", "1", "--yes", "--silence-timeout", "inf"}},
    };
    for (const TCase &c : cases) {
        TCliProcess cli(c.Ports.empty() ? std::vector{port} : c.Ports, c.Arguments);
        EXPECT_EQ(cli.Wait(Patience), 2) << ::testing::PrintToString(c.Arguments);
        EXPECT_FALSE(cli.Err.empty()) << ::testing::PrintToString(c.Arguments);
    }
    EXPECT_TRUE(Untouched(unit));
}

namespace {

// How a run is interrupted: a signal, or the terminal that the command runs on hanging up.
struct TInterruptCase {
    const char *Name;
    int Signal; // 0: the terminal hangs up
};

class TCliInterrupt : public ::testing::TestWithParam<TInterruptCase> {};

} // namespace

TEST_P(TCliInterrupt, MidRunEndsWithinASecondWithThePortClosedAndSaysTheEepromWasLeftUnfinished)
{
    const TInterruptCase &c = GetParam();
    // Slow answers, so that the run is surely under way when the interrupt comes.
    TUnitSimPty unit({.FrameAnswerDelay = 400ms});
    TPtyPair terminal;
    TCliProcess cli({unit.SlavePath()}, ProgramArguments(3, 9),
                    c.Signal ? TChildTerminal{} : TChildTerminal{terminal.SlavePath(), true});
    ASSERT_TRUE(unit.WaitForFrames(2, Patience)) << "the first block never went out";
    if (c.Signal)
        cli.Signal(c.Signal);
    else
        terminal.CloseMaster();
    const auto interrupted = std::chrono::steady_clock::now();
    ASSERT_EQ(cli.Wait(Patience), 7) << cli.Err;
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1s);
    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["outcome"], "interrupted");
    EXPECT_EQ(json["eeprom_unfinished"], true);
    EXPECT_NE(json["message"].get<std::string>().find(
                  "the port is closed. The unit's EEPROM was left unfinished"),
              std::string::npos)
        << json["message"];
    // Nothing was sent after the interrupt, and the frame under way went out whole: the unit
    // refuses a frame that a purge cut short.
    EXPECT_LT(unit.Frames().size(), 4u);
    for (const TUnitFrame &frame : unit.Frames())
        EXPECT_NE(frame.Kind, TFrameKind::Malformed);
    EXPECT_TRUE(OpensAgain(unit));
}

INSTANTIATE_TEST_SUITE_P(Interrupts, TCliInterrupt,
                         ::testing::Values(TInterruptCase{"CtrlC", SIGINT},
                                           TInterruptCase{"Terminated", SIGTERM},
                                           TInterruptCase{"HangUpSignal", SIGHUP},
                                           TInterruptCase{"TerminalHungUp", 0}),
                         [](const ::testing::TestParamInfo<TInterruptCase> &Info) {
                             return std::string(Info.param.Name);
                         });

TEST(CliPorts, EveryPortInOrderWithWhatItsProbeFoundEachDongleMarkedAndEveryPortClosed)
{
    TUnitSimPty silent({.SilentDongle = true});
    TUnitSimPty dongle;
    TUnitSimPty second;
    // A port's name need not be UTF-8.
    const TSlowPortLink link({"/tmp/zarnell-cli-" + std::to_string(getpid()) + "-\xff"},
                             second.SlavePath());
    const std::string shownLink = "/tmp/zarnell-cli-" + std::to_string(getpid()) + "-\uFFFD";
    const std::vector<std::string> ports{silent.SlavePath(), "/dev/no-such-port",
                                         dongle.SlavePath(), link.Path()};
    TCliProcess cli(ports, {"ports", "--json"});
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    const nlohmann::json json = cli.Json();
    EXPECT_EQ(json["dongle"], dongle.SlavePath());
    EXPECT_EQ(json["dongles"], nlohmann::json::array({dongle.SlavePath(), shownLink}));
    EXPECT_EQ(json["invalid_utf8_replaced"], true);
    ASSERT_EQ(json["ports"].size(), 4u);
    const std::vector<std::string> outcomes{"no answer to the probe", "not present (unplugged?)",
                                            "the dongle", "the dongle"};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(json["ports"][i]["port"], i == 3 ? shownLink : ports[i]);
        EXPECT_EQ(json["ports"][i]["outcome"], outcomes[i]);
        EXPECT_EQ(json["ports"][i]["dongle"], outcomes[i] == "the dongle");
        EXPECT_NE(cli.Err.find((i == 3 ? shownLink : ports[i]) + ": " + outcomes[i] + "\n"),
                  std::string::npos);
    }
    EXPECT_NE(cli.Err.find("More than one dongle answered"), std::string::npos) << cli.Err;
    EXPECT_FALSE(dongle.LoaderListening()) << "listing hands nothing over to the boot loader";
    // Every port was closed before the command ended, those closed in the background too: the
    // exclusive flag of none is left behind.
    for (const TUnitSimPty *unit : {&silent, &dongle, &second})
        EXPECT_TRUE(OpensAgain(*unit)) << unit->SlavePath();

    TCliProcess none({silent.SlavePath()}, {"ports"});
    EXPECT_EQ(none.Wait(Patience), 3);
    EXPECT_EQ(none.Out, silent.SlavePath() + ": no answer to the probe\n");
}

TEST(CliPorts, APortSlowToOpenIsSkippedInASearchButWaitedForWhenNamed)
{
    const std::optional<TSlowPort> slow = SlowPortNamed("cli-slow");
    const std::optional<TSlowPort> slowDongle = SlowPortNamed("cli-dongle");
    if (!slow || !slowDongle)
        GTEST_SKIP() << "needs the preloaded slow-ports library, as ctest runs these tests";
    TUnitSimPty silent({.SilentDongle = true});
    TUnitSimPty dongle;
    const TSlowPortLink link(*slow, silent.SlavePath());
    TCliProcess cli({slow->Path, dongle.SlavePath()}, {"ports", "--json"});
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    const nlohmann::json json = cli.Json();
    ASSERT_EQ(json["ports"].size(), 2u);
    EXPECT_TRUE(json["ports"][0]["outcome"].get<std::string>().starts_with(
        "slow to open, skipped: its open has not returned after"))
        << json["ports"][0]["outcome"];
    EXPECT_EQ(json["ports"][1]["outcome"], "the dongle");
    EXPECT_EQ(silent.ProbeCount(), 0) << "nothing was written to the slow port";

    // Named with --port, the one port may take as long to open as a search.
    const TSlowPortLink named(*slowDongle, dongle.SlavePath());
    std::vector<std::string> arguments = ProgramArguments(1, 30);
    arguments.insert(arguments.end(), {"--port", slowDongle->Path});
    TCliProcess program({slowDongle->Path}, arguments);
    ASSERT_EQ(program.Wait(Patience), 0) << program.Err;
    EXPECT_TRUE(Holds(dongle, 1, 30));
}

TEST(CliDongles, TwoDonglesAreNamedAndNeitherProgrammedUnlessOneIsChosen)
{
    TUnitSimPty first;
    TUnitSimPty second;
    const std::vector<std::string> ports{first.SlavePath(), second.SlavePath()};
    TCliProcess both(ports, ProgramArguments(2, 3));
    ASSERT_EQ(both.Wait(Patience), 9) << both.Err;
    const nlohmann::json json = both.Json();
    EXPECT_EQ(json["outcome"], "several-dongles");
    EXPECT_EQ(json["dongles"], nlohmann::json::array({first.SlavePath(), second.SlavePath()}));
    EXPECT_NE(both.Err.find(first.SlavePath() + ", " + second.SlavePath()), std::string::npos)
        << both.Err;
    EXPECT_TRUE(NotProgrammed(first) && NotProgrammed(second));

    std::vector<std::string> arguments = ProgramArguments(2, 3);
    arguments.insert(arguments.end(), {"--port", second.SlavePath()});
    TCliProcess chosen(ports, arguments);
    ASSERT_EQ(chosen.Wait(Patience), 0) << chosen.Err;
    EXPECT_TRUE(Holds(second, 2, 3));
    EXPECT_TRUE(NotProgrammed(first));
}

namespace {

// How a person or a script meets the command: its output read or not, a question asked or not.
struct TConsoleCase {
    const char *Name;
    bool Ask;              // no --yes: the person answers on the terminal
    bool ErrorsOnTerminal; // standard error is the terminal too (`> log`, not `> log 2>&1`)
    bool CloseOutput;      // the reader of standard output goes after its first line (| head -1)
};

class TCliConsole : public ::testing::TestWithParam<TConsoleCase> {};

} // namespace

TEST_P(TCliConsole, TheQuestionReachesThePersonAndNothingCutsTheRunShort)
{
    const TConsoleCase &c = GetParam();
    TUnitSimPty unit;
    TPtyPair terminal;
    std::vector<std::string> arguments{"program", "--zn-id", "4", "--value", "17"};
    if (!c.Ask)
        arguments.push_back("--yes");
    TCliProcess cli({unit.SlavePath()}, arguments,
                    c.Ask ? TChildTerminal{terminal.SlavePath(), c.ErrorsOnTerminal}
                          : TChildTerminal{});
    if (c.CloseOutput) {
        EXPECT_EQ(cli.FirstLine(Patience), "Searching for the dongle");
        cli.CloseOutput();
    }
    if (c.Ask) {
        const std::string asked = ReadUntil(terminal, "Proceed? [y/N] ", Patience);
        ASSERT_NE(asked.find("Press Reset on ZN and then Press OK"), std::string::npos) << asked;
        ASSERT_NE(asked.find("Writing ZN ID 4 and value 17"), std::string::npos) << asked;
        terminal.Write("y\n");
    }
    ASSERT_EQ(cli.Wait(Patience), 0) << cli.Err;
    EXPECT_TRUE(Holds(unit, 4, 17));
    EXPECT_EQ(cli.Out.find("Proceed?"), std::string::npos) << "the question went into the log";
    EXPECT_EQ(cli.Err.find("Proceed?"), std::string::npos) << "the question went into the log";
}

INSTANTIATE_TEST_SUITE_P(
    Consoles, TCliConsole,
    ::testing::Values(TConsoleCase{"OutputIntoAClosedPipe", false, false, true},
                      TConsoleCase{"OutputIntoALog", true, true, false},
                      TConsoleCase{"OutputAndErrorsIntoALog", true, false, false}),
    [](const ::testing::TestParamInfo<TConsoleCase> &Info) {
        return std::string(Info.param.Name);
    });
