// Discovery on a technician's laptop: ports that take seconds to open (the slow-ports library,
// preloaded into this test program, delays their open() for real), and a dongle that is pulled
// out and put back (a symbolic link that the program knows as the port, pointed at a new
// simulated unit).
#include "wholejob.h"

#include "numedit.h"
#include "rulerslider.h"
#include "slowports.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

// A port name of its own, a symbolic link in a folder of its own, that can be pointed at another
// device: the same name for the dongle after it was put back.
class TPortLink {
public:
    explicit TPortLink(const std::string &Target)
    {
        std::string folder = (fs::temp_directory_path() / "zarnell-link-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        FFolder = folder;
        PointAt(Target);
    }
    ~TPortLink() { fs::remove_all(FFolder); }
    TPortLink(const TPortLink &) = delete;
    TPortLink &operator=(const TPortLink &) = delete;

    QString Path() const { return QString::fromStdString((FFolder / "dongle").string()); }

    // At one stroke, as a device node appears: a new link replaces the old one.
    void PointAt(const std::string &Target)
    {
        const fs::path next = FFolder / "dongle.next";
        fs::create_symlink(Target, next);
        fs::rename(next, FFolder / "dongle");
    }

private:
    fs::path FFolder;
};

// The longest time the event loop went without running a 10 ms timer, while it lives.
class TLoopWatch : public QObject {
public:
    TLoopWatch()
    {
        connect(&FTimer, &QTimer::timeout, this,
                [this] { Longest = std::max(Longest, FClock.restart()); });
        FClock.start();
        FTimer.start(10);
    }

    qint64 Longest = 0;

private:
    QTimer FTimer;
    QElapsedTimer FClock;
};

// While it lives, writes of this process to a pseudo-terminal fail with ENODEV, as they do on a
// USB adapter that has just been pulled out (the preloaded library looks for the file).
class TGoneWrites {
public:
    TGoneWrites()
        : FFlag(std::string(std::getenv("ZARNELL_GONE_WRITES")) + "." + std::to_string(getpid()))
    {
        std::ofstream(FFlag).put('\n');
    }
    ~TGoneWrites() { fs::remove(FFlag); }
    TGoneWrites(const TGoneWrites &) = delete;
    TGoneWrites &operator=(const TGoneWrites &) = delete;

private:
    fs::path FFlag;
};

} // namespace

using TDiscovery = TWholeJob;

TEST_F(TDiscovery, PortsSlowToOpenNeitherFreezeTheWindowNorHoldUpTheSearch)
{
    const std::vector<TSlowPort> slow = SlowPorts();
    if (slow.size() < 2)
        GTEST_SKIP() << "the slow-ports library is not preloaded";
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    const TSlowPortLink first(slow[0], FUnits[0]->SlavePath());
    const TSlowPortLink second(slow[1], FUnits[1]->SlavePath());
    const QStringList slowPaths{QString::fromStdString(slow[0].Path),
                                QString::fromStdString(slow[1].Path)};
    QElapsedTimer clock;
    clock.start();
    StartProgramOnPorts(
        {slowPaths[0], slowPaths[1], QString::fromStdString(FUnits[2]->SlavePath())});
    FForm->ShortOpenBound = SerShortOpenBound;

    // Keys reach the ZN ID slider while the slow ports open.
    const TLoopWatch loop;
    FForm->IDSlider->setFocus();
    int keys = 0;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        QTest::keyClick(FForm->IDSlider, ++keys % 2 ? Qt::Key_Right : Qt::Key_Left);
    });
    typist.start(50);
    ASSERT_TRUE(WaitForDownloadEnabled());
    const qint64 found = clock.elapsed();
    typist.stop();
    std::printf("the dongle, behind two ports that take %lld ms to open, found after %lld ms; "
                "the event loop stood still for %lld ms at most\n",
                static_cast<long long>(slow[0].Delay.count()), static_cast<long long>(found),
                static_cast<long long>(loop.Longest));
    EXPECT_LT(found, slow[0].Delay.count()) << "the search waited for a slow port";
    EXPECT_LT(loop.Longest, slow[0].Delay.count() / 5) << "the window froze";
    EXPECT_EQ(FForm->ID->Value(), FForm->IDSlider->Value());
    EXPECT_GT(keys, 10);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(FUnits[i]->ProbeCount(), 0) << i;
        EXPECT_TRUE(FForm->Ports->itemData(i, Qt::ToolTipRole)
                        .toString()
                        .startsWith(slowPaths[i] + QStringLiteral(": slow to open, skipped: its "
                                                                  "open has not returned after")));
    }

    FForm->IDSlider->SetValue(1);
    DownloadToProgrammed();
    EXPECT_EQ(RunFrameKinds(*FUnits[2], 5).size(), 5u);
    EXPECT_EQ(FUnits[2]->Eeprom()[6], 1);
    EXPECT_EQ(FUnits[0]->ProbeCount() + FUnits[1]->ProbeCount(), 0);
    EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(u'\n').toStdString();
}

TEST_F(TDiscovery, ADonglePulledOutAfterDiscoveryIsToldOfOnceAndFoundAgainUnderItsName)
{
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    TPortLink link(FUnits[0]->SlavePath());
    StartProgramOnPorts({link.Path()});
    ASSERT_TRUE(WaitForDownloadEnabled());
    SetSliders(17, 3);

    {
        TModalDriver boxes;
        boxes.Whenever(ErrorBoxShown(), [this] {
            EXPECT_FALSE(FForm->DownloadButton->isEnabled()) << "Download stayed enabled";
            AcknowledgeErrorBox();
        });
        // Its device node goes with it; the name must not reach another pseudo-terminal that
        // takes the old one's number meanwhile.
        FUnits[0]->Unplug();
        link.PointAt("/dev/zarnell-no-such-port");
        ASSERT_TRUE(QTest::qWaitFor([this] { return !FErrors.isEmpty(); }, 10000));
        // Away for several passes over the list: still searched for, and nothing more shown.
        const int probesBefore = FUnits[0]->ProbeCount();
        EXPECT_FALSE(QTest::qWaitFor([this] { return FForm->DownloadButton->isEnabled(); }, 1500));
        EXPECT_EQ(FUnits[0]->ProbeCount(), probesBefore);
        EXPECT_TRUE(FForm->Timer1->isActive()) << "the search did not start again";

        FUnits.push_back(std::make_unique<TUnitSimPty>());
        link.PointAt(FUnits[1]->SlavePath());
        ASSERT_TRUE(WaitForDownloadEnabled());
    }
    ASSERT_EQ(FErrors.size(), 1);
    EXPECT_TRUE(IsDongleLostText(FErrors.front())) << FErrors.front().toStdString();
    EXPECT_EQ(FForm->SolDelay->text(), QLatin1String("17"));
    EXPECT_EQ(FForm->ID->text(), QLatin1String("3"));

    DownloadToProgrammed();
    EXPECT_EQ(RunFrameKinds(*FUnits[1], 5).size(), 5u);
    const std::vector<std::uint8_t> eeprom = FUnits[1]->Eeprom();
    EXPECT_EQ(eeprom[5], 17);
    EXPECT_EQ(eeprom[6], 3);
}

TEST_F(TDiscovery, ADonglePulledOutMidRunIsSearchedForOnceTheLoaderWindowIsClosed)
{
    TUnitSimOptions options;
    options.UnplugAfterFrame = 2;
    FUnits.push_back(std::make_unique<TUnitSimPty>(options));
    TPortLink link(FUnits[0]->SlavePath());
    StartProgramOnPorts({link.Path()});
    ASSERT_TRUE(WaitForDownloadEnabled());

    Download([&](TModalDriver &Driver) {
        Driver.Whenever(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
        Driver.When(
            [this] {
                return !FErrors.isEmpty() && FBoot->CloseButton->isEnabled() &&
                       FBoot->Status->text() == QLatin1String("Dongle disconnected");
            },
            [&] {
                // Nothing is searched for while the loader window is up. The device node went
                // with the device; the name must not reach a pseudo-terminal that takes the old
                // one's number.
                EXPECT_FALSE(FForm->Timer1->isActive());
                link.PointAt("/dev/zarnell-no-such-port");
                FBoot->CloseButton->click();
            });
    });
    ASSERT_EQ(FErrors.size(), 1);
    EXPECT_TRUE(IsDongleLostText(FErrors.front())) << FErrors.front().toStdString();
    EXPECT_TRUE(FForm->Timer1->isActive()) << "the search did not start again";
    EXPECT_FALSE(FForm->DownloadButton->isEnabled());

    FUnits.push_back(std::make_unique<TUnitSimPty>());
    link.PointAt(FUnits[1]->SlavePath());
    ASSERT_TRUE(WaitForDownloadEnabled());
    DownloadToProgrammed();
    EXPECT_EQ(RunFrameKinds(*FUnits[1], 5).size(), 5u);
    EXPECT_EQ(FUnits[1]->Eeprom()[6], 1);
    EXPECT_EQ(FErrors.size(), 1);
}

// A dongle behind a Bluetooth or a slow USB bridge: its port is passed over while its first open
// runs past the bound, and is given the time that open took on the next pass.
class TSlowDongle : public TDiscovery, public ::testing::WithParamInterface<const char *> {};

TEST_P(TSlowDongle, IsGivenMoreTimeFoundAndProgrammed)
{
    const std::optional<TSlowPort> slow = SlowPortNamed(GetParam());
    if (!slow)
        GTEST_SKIP() << "the slow-ports library is not preloaded";
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    const TSlowPortLink link(*slow, FUnits[0]->SlavePath());
    QElapsedTimer clock;
    clock.start();
    StartProgramOnPorts({QString::fromStdString(slow->Path)});
    FForm->ShortOpenBound = SerShortOpenBound;
    ASSERT_TRUE(WaitForDownloadEnabled(static_cast<int>(4 * slow->Delay.count()) + 20000));
    std::printf("the dongle, whose port takes %lld ms to open, found after %lld ms\n",
                static_cast<long long>(slow->Delay.count()),
                static_cast<long long>(clock.elapsed()));
    const QString outcome = FForm->Ports->itemData(0, Qt::ToolTipRole).toString();
    EXPECT_TRUE(outcome.contains(
        QStringLiteral(": the dongle (slow to open: %1.").arg(slow->Delay.count() / 1000)))
        << outcome.toStdString();

    SetSliders(9, 2);
    DownloadToProgrammed();
    EXPECT_EQ(EepromPage(*FUnits[0]), SettingsBlock(9, 2));
    EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(OpenTimes, TSlowDongle, ::testing::Values("dongle-1", "dongle-2"));

TEST_F(TDiscovery, APortWhoseOpenNeverReturnsHoldsUpNeitherSearchNorWindowNorClose)
{
    const std::optional<TSlowPort> hung = SlowPortNamed("hung");
    if (!hung)
        GTEST_SKIP() << "the slow-ports library is not preloaded";
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    const TSlowPortLink link(*hung, FUnits[0]->SlavePath());
    StartProgramOnPorts(
        {QString::fromStdString(hung->Path), QString::fromStdString(FUnits[1]->SlavePath())});
    FForm->ShortOpenBound = SerShortOpenBound;

    const TLoopWatch loop;
    ASSERT_TRUE(WaitForDownloadEnabled());
    EXPECT_LT(loop.Longest, 500) << "the window froze";
    EXPECT_EQ(FUnits[0]->ProbeCount(), 0);
    EXPECT_TRUE(FForm->Ports->itemData(0, Qt::ToolTipRole)
                    .toString()
                    .contains(QLatin1String("slow to open, skipped: its open has not returned")));

    QElapsedTimer clock;
    clock.start();
    FForm->close();
    FWindows.reset();
    std::printf("the program closed in %lld ms while a port's open hung\n",
                static_cast<long long>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 1000);
}

// The adapter is pulled out just as a write goes to it: the write fails (ENODEV) a moment before
// the system hangs the tty up. That is one loss, told of once.
enum class TWriteAt { LoaderCommand, LoaderRun };

class TGoneWrite : public TDiscovery, public ::testing::WithParamInterface<TWriteAt> {
protected:
    // Every error box stays up until the hang-up has had a second to be announced, so that a
    // second box would open inside it.
    void AcknowledgeAfterHangUp(TModalDriver &Driver)
    {
        Driver.Whenever(ErrorBoxShown(), [this] {
            if (!FUnits[0]->Unplugged()) {
                FUnits[0]->Unplug();
                FSinceHangUp.start();
            } else if (FSinceHangUp.elapsed() > 1000) {
                AcknowledgeErrorBox();
            }
        });
    }

    std::optional<TGoneWrites> FGone;
    QElapsedTimer FSinceHangUp;
};

TEST_P(TGoneWrite, IsOneLossAndOneBox)
{
    TUnitSimOptions options;
    // The answer to the second frame comes late, so that the third frame's write meets the
    // pulled adapter.
    options.LateFrames[2] = 500ms;
    TUnitSimPty &unit = StartWithUnit(options);
    if (GetParam() == TWriteAt::LoaderCommand) {
        // Between the probe and the tick that sends "Z".
        ASSERT_TRUE(QTest::qWaitFor([&unit] { return unit.ProbeCount() > 0; }, 20000));
        FGone.emplace();
        TModalDriver boxes;
        AcknowledgeAfterHangUp(boxes);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !FErrors.isEmpty(); }, 20000));
        EXPECT_FALSE(QTest::qWaitFor([this] { return FErrors.size() > 1; }, 1000));
        EXPECT_FALSE(FForm->DownloadButton->isEnabled());
        EXPECT_TRUE(FForm->Timer1->isActive()) << "the search did not start again";
    } else {
        ASSERT_TRUE(WaitForDownloadEnabled());
        Download([&](TModalDriver &Driver) {
            Driver.When([&unit] { return unit.Frames().size() >= 2; }, [this] { FGone.emplace(); });
            AcknowledgeAfterHangUp(Driver);
            Driver.When(
                [this] {
                    return !FErrors.isEmpty() && ActiveErrorBox() == nullptr &&
                           FBoot->CloseButton->isEnabled();
                },
                [this] { FBoot->CloseButton->click(); });
        });
    }
    ASSERT_EQ(FErrors.size(), 1) << FErrors.join(u'\n').toStdString();
    EXPECT_TRUE(FErrors.front().startsWith(QLatin1String("The dongle was disconnected. ")))
        << FErrors.front().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Writes, TGoneWrite,
                         ::testing::Values(TWriteAt::LoaderCommand, TWriteAt::LoaderRun),
                         [](const ::testing::TestParamInfo<TWriteAt> &Info) {
                             return Info.param == TWriteAt::LoaderCommand ? "LoaderCommand"
                                                                          : "LoaderRun";
                         });
