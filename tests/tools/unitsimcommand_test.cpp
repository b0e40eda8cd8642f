// The zarnell-unit-sim command as the demo uses it: started in the background, its first line
// read for the port, stopped by a signal, its report shown with --show-eeprom.
#include "childprocess.h"
#include "frames.h"
#include "ptyclient.h"
#include "unitreport.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int PatienceMs = 5000;
constexpr std::chrono::milliseconds Patience(PatienceMs);

// A temporary folder, removed with everything in it.
class TScratchDir {
public:
    TScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "unitsim-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        FPath = pattern;
    }
    ~TScratchDir() { std::filesystem::remove_all(FPath); }
    const std::filesystem::path &Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// The command running in the background.
class TSimProcess : public TChildProcess {
public:
    explicit TSimProcess(std::vector<std::string> Arguments)
        : TChildProcess(ZARNELL_UNIT_SIM, std::move(Arguments))
    {
    }

    std::string FirstLine() { return TChildProcess::FirstLine(Patience); }
    // The exit status; -1 when the command did not end in time.
    int ExitStatus() { return Wait(Patience).value_or(-1); }
};

// Waits for a file to appear in Dir: renamed into it (IN_MOVED_TO), as the command does with a
// finished report, or created (IN_CREATE).
class TDirWatch {
public:
    TDirWatch(const std::filesystem::path &Dir, std::uint32_t Events)
        : FFd(::inotify_init1(IN_CLOEXEC))
    {
        if (FFd < 0 || ::inotify_add_watch(FFd, Dir.c_str(), Events) < 0)
            throw std::system_error(errno, std::generic_category(), "inotify");
    }
    ~TDirWatch() { ::close(FFd); }

    bool Wait()
    {
        pollfd fd{FFd, POLLIN, 0};
        if (::poll(&fd, 1, PatienceMs) != 1)
            return false;
        alignas(inotify_event) char buffer[4096];
        return ::read(FFd, buffer, sizeof buffer) > 0;
    }

private:
    int FFd;
};

nlohmann::json ReadJson(const std::filesystem::path &File)
{
    std::ifstream in(File);
    return nlohmann::json::parse(in);
}

std::string CommandOutput(const std::string &Command)
{
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(Command.c_str(), "r"), ::pclose);
    std::string output;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        output += buffer;
    return output;
}

} // namespace

TEST(UnitSimCommand, ServesUntilTerminatedAndReportsTheEeprom)
{
    TScratchDir dir;
    const auto reportFile = dir.Path() / "report.json";
    TDirWatch renamed(dir.Path(), IN_MOVED_TO);
    TSimProcess sim({"--report", reportFile.string()});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty());

    {
        TPtyClient client(port);
        client.Write("N");
        ASSERT_EQ(client.Read(5, 5s), "IWRX\r");
    }
    sim.Signal(SIGUSR1);
    ASSERT_TRUE(renamed.Wait());
    EXPECT_EQ(ReadJson(reportFile)["probes"], 1) << "SIGUSR1 writes the report and serves on";

    TPtyClient client(port);
    client.Write("Z");
    std::array<std::uint8_t, SettingsBlockSize> block;
    block.fill(0xFF);
    block[0] = 31;
    block[1] = 4;
    for (const std::string &payload :
         {PageStartPayload(), BlockPayload(block.data(), 0), BlockPayload(block.data(), 16),
          PageAddressPayload(0, EepromPageSize), FinishPayload()}) {
        client.Write(BuildFrame(payload));
        ASSERT_EQ(client.Read(2, 5s), "A\r");
    }

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.ExitStatus(), 0);
    const nlohmann::json report = ReadJson(reportFile);
    EXPECT_EQ(report["frames"].size(), 5u);
    EXPECT_FALSE(std::filesystem::exists(reportFile.string() + ".part"));

    const std::string dump =
        CommandOutput(std::string(ZARNELL_UNIT_SIM) + " --show-eeprom " + reportFile.string());
    EXPECT_NE(dump.find("0000: ff  ff  ff  ff  ff [1f][04] ff "), std::string::npos) << dump;
    EXPECT_NE(dump.find("[ZN ID] = 4"), std::string::npos) << dump;
}

TEST(UnitSimCommand, ReadyFileAppearsOnceTheDongleHasTakenZ)
{
    TScratchDir dir;
    const auto readyFile = dir.Path() / "ready";
    TDirWatch created(dir.Path(), IN_CREATE);
    TSimProcess sim({"--ready-file", readyFile.string()});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty());

    TPtyClient client(port);
    client.Write("N");
    ASSERT_EQ(client.Read(5, 5s), "IWRX\r");
    EXPECT_FALSE(std::filesystem::exists(readyFile)) << "a probe alone does not make it ready";
    client.Write("Z");
    ASSERT_TRUE(created.Wait());
    EXPECT_TRUE(std::filesystem::exists(readyFile));

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.ExitStatus(), 0);
}

TEST(UnitSimCommand, StopsAtOnceWhileWaitingToBeReady)
{
    TScratchDir dir;
    const auto readyFile = dir.Path() / "ready";
    TSimProcess sim({"--ready-file", readyFile.string()});
    ASSERT_FALSE(sim.FirstLine().empty());
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.ExitStatus(), 0);
    EXPECT_FALSE(std::filesystem::exists(readyFile));
}

TEST(UnitSimCommand, AReadyFileThatCannotBeCreatedEndsTheSimulator)
{
    TScratchDir dir;
    TSimProcess sim({"--ready-file", (dir.Path() / "no-such-folder" / "ready").string()});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty());
    TPtyClient client(port);
    client.Write("Z");
    EXPECT_EQ(sim.ExitStatus(), 1);
}

TEST(UnitSimCommand, BadOptionsAreRefused)
{
    TSimProcess sim({"--refuse-kind", "SQ"});
    EXPECT_NE(sim.ExitStatus(), 0);
}
