// The zarnell-unit-sim command as the demo uses it: started in the background, its first line
// read for the port, stopped by a signal, its report shown with --show-eeprom.
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
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace std::chrono_literals;

namespace {

constexpr int PatienceMs = 5000;

// A temporary folder, removed with everything in it.
class TScratchDir {
public:
    TScratchDir()
    {
        std::string Template = (std::filesystem::temp_directory_path() / "unitsim-XXXXXX").string();
        if (::mkdtemp(Template.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        FPath = Template;
    }
    ~TScratchDir() { std::filesystem::remove_all(FPath); }
    const std::filesystem::path &Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// The command running in the background with its standard output on a pipe.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> Arguments)
    {
        int Pipe[2];
        if (::pipe(Pipe) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
        FOutput = Pipe[0];
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
        Arguments.insert(Arguments.begin(), ZARNELL_UNIT_SIM);
        std::vector<char *> Argv;
        for (std::string &Argument : Arguments)
            Argv.push_back(Argument.data());
        Argv.push_back(nullptr);
        const int Error =
            ::posix_spawn(&FPid, ZARNELL_UNIT_SIM, &Actions, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&Actions);
        ::close(Pipe[1]);
        if (Error != 0)
            throw std::system_error(Error, std::generic_category(), "posix_spawn");
    }

    ~TSimProcess()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
        ::close(FOutput);
    }

    void Signal(int Number) { ASSERT_EQ(::kill(FPid, Number), 0); }

    // The output up to the end of the first line, or what came before the time-out.
    std::string FirstLine()
    {
        std::string Line;
        char Byte = 0;
        while (Byte != '\n' && WaitForOutput() && ::read(FOutput, &Byte, 1) == 1)
            Line += Byte;
        if (!Line.empty() && Line.back() == '\n')
            Line.pop_back();
        return Line;
    }

    // The exit status, once the process has closed its output; -1 when it did not end in time.
    int ExitStatus()
    {
        char Buffer[256];
        while (WaitForOutput())
            if (::read(FOutput, Buffer, sizeof Buffer) <= 0) {
                int Status = 0;
                ::waitpid(FPid, &Status, 0);
                FPid = -1;
                return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
            }
        return -1;
    }

private:
    bool WaitForOutput()
    {
        pollfd Fd{FOutput, POLLIN, 0};
        return ::poll(&Fd, 1, PatienceMs) == 1;
    }

    pid_t FPid = -1;
    int FOutput = -1;
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
        pollfd Fd{FFd, POLLIN, 0};
        if (::poll(&Fd, 1, PatienceMs) != 1)
            return false;
        alignas(inotify_event) char Buffer[4096];
        return ::read(FFd, Buffer, sizeof Buffer) > 0;
    }

private:
    int FFd;
};

nlohmann::json ReadJson(const std::filesystem::path &File)
{
    std::ifstream In(File);
    return nlohmann::json::parse(In);
}

std::string CommandOutput(const std::string &Command)
{
    std::unique_ptr<FILE, int (*)(FILE *)> Pipe(::popen(Command.c_str(), "r"), ::pclose);
    std::string Output;
    char Buffer[256];
    while (Pipe && std::fgets(Buffer, sizeof Buffer, Pipe.get()))
        Output += Buffer;
    return Output;
}

} // namespace

TEST(UnitSimCommand, ServesUntilTerminatedAndReportsTheEeprom)
{
    TScratchDir Dir;
    const auto ReportFile = Dir.Path() / "report.json";
    TDirWatch Renamed(Dir.Path(), IN_MOVED_TO);
    TSimProcess Sim({"--report", ReportFile.string()});
    const std::string Port = Sim.FirstLine();
    ASSERT_FALSE(Port.empty());

    {
        TPtyClient Client(Port);
        Client.Write("N");
        ASSERT_EQ(Client.Read(5, 5s), "IWRX\r");
    }
    Sim.Signal(SIGUSR1);
    ASSERT_TRUE(Renamed.Wait());
    EXPECT_EQ(ReadJson(ReportFile)["probes"], 1) << "SIGUSR1 writes the report and serves on";

    TPtyClient Client(Port);
    Client.Write("Z");
    std::array<std::uint8_t, SettingsBlockSize> Block;
    Block.fill(0xFF);
    Block[0] = 31;
    Block[1] = 4;
    for (const std::string &Payload :
         {PageStartPayload(), BlockPayload(Block.data(), 0), BlockPayload(Block.data(), 16),
          PageAddressPayload(0, EepromPageSize), FinishPayload()}) {
        Client.Write(BuildFrame(Payload));
        ASSERT_EQ(Client.Read(2, 5s), "A\r");
    }

    Sim.Signal(SIGTERM);
    EXPECT_EQ(Sim.ExitStatus(), 0);
    const nlohmann::json Report = ReadJson(ReportFile);
    EXPECT_EQ(Report["frames"].size(), 5u);
    EXPECT_FALSE(std::filesystem::exists(ReportFile.string() + ".part"));

    const std::string Dump =
        CommandOutput(std::string(ZARNELL_UNIT_SIM) + " --show-eeprom " + ReportFile.string());
    EXPECT_NE(Dump.find("0000: ff  ff  ff  ff  ff [1f][04] ff "), std::string::npos) << Dump;
    EXPECT_NE(Dump.find("[ZN ID] = 4"), std::string::npos) << Dump;
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
    TSimProcess Sim({"--refuse-kind", "SQ"});
    EXPECT_NE(Sim.ExitStatus(), 0);
}
