// ./zarnell bench: the program's figures against the simulated unit on a pseudo-terminal. The
// windows run offscreen in this process and the simulator's thread beside them, so the CPU and
// memory figures cover both.
#include "appfonts.h"
#include "programwindows.h"
#include "quietpulse.h"
#include "rulerslider.h"
#include "serialhandover.h"
#include "slowports.h"
#include "unitsimpty.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <ranges>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs the event loop until Condition holds (false after Timeout). The loop sleeps between
// checks, so that it costs nothing of what is measured.
bool RunUntil(const std::function<bool()> &Condition, int TimeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (Condition())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
    if (!Condition())
        loop.exec();
    return Condition();
}

// Runs the event loop for a while.
void RunFor(int Milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(Milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> Values, double Fraction)
{
    std::sort(Values.begin(), Values.end());
    const auto index = static_cast<std::size_t>(Fraction * static_cast<double>(Values.size() - 1));
    return Values[index];
}

// One download; returns the milliseconds from OK in the caution dialog to "Programmed".
double Download(TProgramWindows &Windows)
{
    TBoot &Boot = Windows.Boot;
    TUpdateDlgM &dialog = Windows.UpdateDlgM;
    QElapsedTimer clock;
    double elapsed = 0;
    QTimer driver;
    driver.setInterval(0);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (dialog.isVisible()) {
            clock.start();
            dialog.OKBtn->click();
        } else if (Boot.isVisible() && Boot.Status->text() == QLatin1String("Programmed")) {
            elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            Boot.CloseButton->click();
        }
    });
    driver.start();
    Windows.ZRSetupForm.DownloadButton->click();
    return elapsed;
}

// Tells when a widget has painted since a given moment; the paint may happen on the GUI thread
// while another thread waits for it.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(QWidget *Widget) { Widget->installEventFilter(this); }

    // Any thread: waits until the widget has painted at or after From (steady clock), at most
    // Timeout; the time of that paint, or nothing.
    std::optional<std::chrono::steady_clock::time_point>
    WaitForPaintAfter(std::chrono::steady_clock::time_point From, std::chrono::milliseconds Timeout)
    {
        std::unique_lock lock(FLock);
        if (!FPainted.wait_for(lock, Timeout, [&] { return FLastPaint >= From; }))
            return std::nullopt;
        return FLastPaint;
    }

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::Paint) {
            std::lock_guard lock(FLock);
            FLastPaint = std::chrono::steady_clock::now();
            FPainted.notify_all();
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::mutex FLock;
    std::condition_variable FPainted;
    std::chrono::steady_clock::time_point FLastPaint{};
};

// While discovery cycles through two ports that never answer, arrow keys reach the ZN ID slider
// at random moments. A second thread queues them, as the window system does whatever the GUI
// thread is busy with; the figure is the time from a key being queued to the slider's repaint.
// With SlowFirst the first port takes seconds to open (a Bluetooth port, say).
std::vector<double> KeyToRepaintWhileSearching(int Samples, bool SlowFirst)
{
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    TUnitSimPty first(silent);
    TUnitSimPty second(silent);
    const std::vector<TSlowPort> slowPorts = SlowPorts();
    if (SlowFirst && slowPorts.empty())
        return {};
    std::optional<TSlowPortLink> slow;
    if (SlowFirst)
        slow.emplace(slowPorts.front(), first.SlavePath());
    const std::string firstPath = SlowFirst ? slowPorts.front().Path : first.SlavePath();
    qputenv("ZARNELL_PORTS", QByteArray::fromStdString(firstPath + ":" + second.SlavePath()));
    TProgramWindows windows;
    TZRSetupForm &form = windows.ZRSetupForm;
    form.show();
    form.IDSlider->setFocus();
    TPaintWatch watch(form.IDSlider);
    RunUntil([&] { return second.ProbeCount() > 0; }, 10000);

    std::vector<double> delays;
    std::atomic<bool> done = false;
    // The keyboard device that key events name is created on first use: here, on its thread.
    QInputDevice::primaryKeyboard();
    std::thread keys([&] {
        std::mt19937 random(20261208);
        std::uniform_int_distribution<int> pause(5, 120);
        for (int i = 0; i < Samples; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            // Right and left in turn, so that every key moves the thumb.
            const int key = i % 2 == 0 ? Qt::Key_Right : Qt::Key_Left;
            const auto sent = std::chrono::steady_clock::now();
            QCoreApplication::postEvent(form.IDSlider, new QKeyEvent(QEvent::KeyPress, key, {}));
            QCoreApplication::postEvent(form.IDSlider, new QKeyEvent(QEvent::KeyRelease, key, {}));
            const auto painted = watch.WaitForPaintAfter(sent, std::chrono::seconds(5));
            if (!painted)
                break;
            delays.push_back(std::chrono::duration<double, std::milli>(*painted - sent).count());
        }
        done = true;
    });
    RunUntil([&] { return done.load(); }, Samples * 1000);
    keys.join();
    qunsetenv("ZARNELL_PORTS");
    return delays;
}

// From the window's start to Download enabled, with the dongle on a port that takes Port's delay
// to open (behind a Bluetooth or a slow USB bridge); 0 when it was not found within a minute.
double SlowDongleFoundMs(const TSlowPort &Port)
{
    TUnitSimPty unit;
    const TSlowPortLink link(Port, unit.SlavePath());
    qputenv("ZARNELL_PORTS", QByteArray::fromStdString(Port.Path));
    QElapsedTimer clock;
    clock.start();
    TProgramWindows windows;
    windows.ZRSetupForm.show();
    const bool found =
        RunUntil([&] { return windows.ZRSetupForm.DownloadButton->isEnabled(); }, 60000);
    qunsetenv("ZARNELL_PORTS");
    return found ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : 0;
}

// Closes the error box that is up, if any, as the user would; true when there was one.
bool AcknowledgeBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return false;
    box->button(QMessageBox::Ok)->click();
    return true;
}

// The dongle pulled out after discovery and put back under the same name, Cycles times: the
// milliseconds from the pull to the search running again (Download disabled), and from the
// dongle's return to Download enabled.
std::pair<std::vector<double>, std::vector<double>> UnplugAndReplug(int Cycles)
{
    std::string folder = (std::filesystem::temp_directory_path() / "zarnell-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return {};
    const std::filesystem::path link = std::filesystem::path(folder) / "dongle";
    auto unit = std::make_unique<TUnitSimPty>();
    std::filesystem::create_symlink(unit->SlavePath(), link);
    qputenv("ZARNELL_PORTS", QByteArray::fromStdString(link.string()));
    TProgramWindows windows;
    TZRSetupForm &form = windows.ZRSetupForm;
    form.show();
    std::vector<double> toSearching;
    std::vector<double> toFound;
    const auto found = [&] { return form.DownloadButton->isEnabled() && unit->LoaderListening(); };
    for (int i = 0; i < Cycles && RunUntil(found, 10000); ++i) {
        QElapsedTimer clock;
        clock.start();
        unit->Unplug();
        // The box that tells of it is up while the search runs; the user closes it, and only
        // then can this loop, which runs beneath the box's, end.
        double searching = 0;
        const auto searchingAndTold = [&] {
            if (searching == 0 && form.Timer1->isActive() && !form.DownloadButton->isEnabled())
                searching = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            return searching > 0 && !AcknowledgeBox();
        };
        if (!RunUntil(searchingAndTold, 10000))
            break;
        toSearching.push_back(searching);

        auto next = std::make_unique<TUnitSimPty>();
        const std::filesystem::path linkNext = link.string() + ".next";
        std::filesystem::create_symlink(next->SlavePath(), linkNext);
        clock.start();
        std::filesystem::rename(linkNext, link);
        unit = std::move(next);
        if (!RunUntil(found, 10000))
            break;
        toFound.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    form.close();
    std::filesystem::remove_all(folder);
    qunsetenv("ZARNELL_PORTS");
    return {toSearching, toFound};
}

// The processor time a port costs while its device has vanished and the port stays open.
double CpuWhileDeviceVanished()
{
    TUnitSimPty unit;
    TSerComm comm;
    comm.SetDeviceName(unit.SlavePath());
    comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
    // The loss is announced once; what it raises is not this figure's concern.
    comm.OnNotifyException =
        TSerCommExceptionEvent(&comm, [](TSerCustomComm *, std::exception_ptr) {});
    comm.Open();
    unit.Unplug();
    RunFor(200);
    const double before = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    RunFor(2000);
    const double cpu = (CpuSeconds() - before) / (static_cast<double>(clock.elapsed()) / 1000);
    comm.Close();
    return cpu;
}

// A pseudo-terminal on which nobody answers: a port that is not the dongle's.
class TSilentPort {
public:
    TSilentPort()
        : FMaster(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
            throw std::system_error(errno, std::generic_category(), "posix_openpt");
        FPath = ptsname(FMaster);
    }
    ~TSilentPort() { close(FMaster); }
    TSilentPort(const TSilentPort &) = delete;
    TSilentPort &operator=(const TSilentPort &) = delete;
    const std::string &Path() const { return FPath; }

private:
    int FMaster;
    std::string FPath;
};

// How a run of zarnell-cli ended: its exit status (-1 when it did not end by itself) and the
// CPU time it used.
struct TCliRun {
    int Status = -1;
    double CpuSeconds = 0;
};

// zarnell-cli with Arguments on the ports that Ports lists, its standard streams on /dev/null.
TCliRun RunCli(std::string Ports, std::vector<std::string> Arguments)
{
    Arguments.insert(Arguments.begin(), ZARNELL_CLI);
    std::vector<char *> argv;
    for (std::string &argument : Arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    Ports.insert(0, "ZARNELL_PORTS=");
    char *environment[] = {Ports.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    TCliRun run;
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, ZARNELL_CLI, &actions, nullptr, argv.data(), environment) == 0 &&
        wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        run.Status = WEXITSTATUS(status);
        run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// zarnell-cli program --yes from its start to its exit, Runs times, with SilentBefore ports that
// never answer listed before the dongle's and SilentAfter after it; empty when a run did not end
// "Programmed".
std::vector<double> CliStartToExit(int Runs, int SilentBefore, int SilentAfter = 0)
{
    TUnitSimPty unit;
    std::vector<std::unique_ptr<TSilentPort>> silent;
    std::vector<std::string> list;
    for (int i = 0; i < SilentBefore + SilentAfter; ++i) {
        silent.push_back(std::make_unique<TSilentPort>());
        list.push_back(silent.back()->Path());
    }
    list.insert(list.begin() + SilentBefore, unit.SlavePath());
    std::string ports;
    for (const std::string &port : list)
        ports += (ports.empty() ? "" : ":") + port;
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const auto started = std::chrono::steady_clock::now();
        if (RunCli(ports, {"program", "--zn-id", "2", "--value", "9", "--yes"}).Status != 0)
            return {};
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
    }
    return times;
}

// The share of one core that zarnell-cli program uses while it searches, for Seconds, two ports
// that are not there, whose opens fail at once; -1 when it did not end "no dongle".
double CliSearchCpu(int Seconds)
{
    const auto started = std::chrono::steady_clock::now();
    const TCliRun run = RunCli("/dev/zarnell-bench-absent-1:/dev/zarnell-bench-absent-2",
                               {"program", "--zn-id", "2", "--value", "9", "--yes",
                                "--search-timeout", std::to_string(Seconds)});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    return run.Status == 3 ? run.CpuSeconds / took.count() : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallSerialHandOver(&app);
    InstallFontSubstitutes();
    InstallQuietPulse(&app);

    TUnitSimPty unit;
    qputenv("ZARNELL_PORTS", QByteArray::fromStdString(unit.SlavePath()));

    QElapsedTimer start;
    start.start();
    TProgramWindows windows;
    TZRSetupForm &form = windows.ZRSetupForm;
    form.show();
    if (!RunUntil([&] { return form.DownloadButton->isEnabled(); }, 30000) ||
        !RunUntil([&] { return unit.LoaderListening(); }, 5000)) {
        std::fprintf(stderr, "zarnell-bench: the dongle was not found\n");
        return 1;
    }
    const double startupMs = static_cast<double>(start.nsecsElapsed()) / 1e6;

    // Idle: discovery is over and nothing arrives; the program should sleep in the kernel.
    const double cpuBefore = CpuSeconds();
    QElapsedTimer idle;
    idle.start();
    RunFor(3000);
    const double idleCpu =
        (CpuSeconds() - cpuBefore) / (static_cast<double>(idle.elapsed()) / 1000);

    // Downloads: enough runs for well over a thousand frames.
    constexpr int runs = 260;
    std::vector<double> runMs;
    for (int i = 0; i < runs; ++i)
        runMs.push_back(Download(windows));

    // Turnaround: from an acknowledgement leaving the simulator to the next frame arriving.
    const std::vector<TUnitFrame> frames = unit.Frames();
    const std::vector<TUnitReply> replies = unit.Replies();
    std::vector<double> turnaroundMs;
    std::size_t f = 0;
    for (const TUnitReply &reply : replies) {
        while (f < frames.size() && frames[f].Time < reply.Time)
            ++f;
        if (f == frames.size())
            break;
        // Only acknowledgements of frames within a run are followed by a frame sent on them.
        if (frames[f].Kind != TFrameKind::PageStart && reply.Bytes == "A\r")
            turnaroundMs.push_back(
                std::chrono::duration<double, std::milli>(frames[f].Time - reply.Time).count());
    }

    windows.ZRSetupForm.close();

    constexpr int keySamples = 200;
    const std::vector<double> keyMs = KeyToRepaintWhileSearching(keySamples, false);
    const std::vector<double> slowKeyMs = KeyToRepaintWhileSearching(keySamples, true);
    const auto [unplugMs, replugMs] = UnplugAndReplug(8);
    // The slow-ports library's further ports are the dongle's own, slow to open.
    std::vector<std::pair<TSlowPort, double>> slowDongles;
    for (const TSlowPort &port : SlowPorts() | std::views::drop(1))
        slowDongles.emplace_back(port, SlowDongleFoundMs(port));
    const double vanishedCpu = CpuWhileDeviceVanished();
    constexpr int cliRuns = 10;
    const std::vector<double> cliAloneMs = CliStartToExit(cliRuns, 0);
    const std::vector<double> cliFirstMs = CliStartToExit(cliRuns, 0, 3);
    const std::vector<double> cliBehindMs = CliStartToExit(cliRuns, 3);
    const double cliSearchCpu = CliSearchCpu(3);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double frameMs = 34.0 * (1 + 8 + 2) / 500000 * 1000;

    std::printf("Zarnell Setup figures (simulated unit on a pseudo-terminal)\n");
    std::printf("  start to Download enabled         %8.1f ms\n", startupMs);
    std::printf("  OK to \"Programmed\" (median of %d)  %8.1f ms   (99th percentile %.1f ms)\n",
                runs, Percentile(runMs, 0.5), Percentile(runMs, 0.99));
    std::printf("  reply to next frame (%zu frames)   median %.3f ms, 99th percentile %.3f ms\n",
                turnaroundMs.size(), Percentile(turnaroundMs, 0.5), Percentile(turnaroundMs, 0.99));
    std::printf("  one 34-byte frame on the line      %8.3f ms   (500000 bit/s, 8 data bits, 2 "
                "stop bits)\n",
                frameMs);
    std::printf("  CPU while idle after discovery     %8.2f %% of one core\n", idleCpu * 100);
    if (!keyMs.empty())
        std::printf(
            "  slider key to repaint while searching (2 silent ports, %zu keys)\n"
            "                                     median %.1f ms, 99th percentile %.1f ms\n",
            keyMs.size(), Percentile(keyMs, 0.5), Percentile(keyMs, 0.99));
    if (!slowKeyMs.empty())
        std::printf(
            "  slider key to repaint while a port takes 5 s to open (%zu keys)\n"
            "                                     median %.1f ms, 99th percentile %.1f ms\n",
            slowKeyMs.size(), Percentile(slowKeyMs, 0.5), Percentile(slowKeyMs, 0.99));
    else
        std::printf("  (no slow port: run through ./zarnell bench, which preloads the "
                    "slow-ports library)\n");
    if (!unplugMs.empty() && !replugMs.empty())
        std::printf("  dongle pulled out to searching again (median of %zu)  %6.1f ms\n"
                    "  dongle put back to Download enabled (median of %zu)   %6.1f ms\n",
                    unplugMs.size(), Percentile(unplugMs, 0.5), replugMs.size(),
                    Percentile(replugMs, 0.5));
    for (const auto &[port, foundMs] : slowDongles) {
        if (foundMs > 0)
            std::printf("  dongle whose port takes %.1f s to open: found after %.1f s\n",
                        static_cast<double>(port.Delay.count()) / 1000, foundMs / 1000);
        else
            std::printf("  dongle whose port takes %.1f s to open: NOT FOUND within a minute\n",
                        static_cast<double>(port.Delay.count()) / 1000);
    }
    std::printf("  CPU while a vanished device stays open %4.2f %% of one core\n",
                vanishedCpu * 100);
    if (!cliAloneMs.empty() && !cliFirstMs.empty() && !cliBehindMs.empty())
        std::printf("  zarnell-cli program, start to exit (median of %d)\n"
                    "    dongle the only port             %8.1f ms\n"
                    "    dongle before three silent ports %8.1f ms   (the pass goes on: a second "
                    "dongle?)\n"
                    "    dongle behind three silent ports %8.1f ms\n",
                    cliRuns, Percentile(cliAloneMs, 0.5), Percentile(cliFirstMs, 0.5),
                    Percentile(cliBehindMs, 0.5));
    else
        std::printf("  zarnell-cli program: a run did not end \"Programmed\"\n");
    if (cliSearchCpu >= 0)
        std::printf("  zarnell-cli searching two absent ports (3 s)  %4.2f %% of one core\n",
                    cliSearchCpu * 100);
    else
        std::printf("  zarnell-cli searching two absent ports: it did not end \"no dongle\"\n");
    std::printf("  peak memory (resident)             %8.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
