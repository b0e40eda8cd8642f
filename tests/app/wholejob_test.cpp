// From start-up to "Programmed" and everything that can go wrong on the way.
#include "wholejob.h"

#include "numedit.h"
#include "rulerslider.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

using TKinds = std::vector<std::string>;
const TKinds OneRun{"SN", "SB", "SB", "SE", "SZ"};

} // namespace

TEST_F(TWholeJob, FindsTheDongleAndWritesExactlyTheChosenSettings)
{
    TUnitSimPty &unit = StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    EXPECT_GE(unit.ProbeCount(), 1);
    EXPECT_EQ(FForm->Ports->count(), 1);

    // The first run with the sliders as they start: the frames byte for byte. The run may end
    // "Programmed" from its tick before the unit has even read the finish frame.
    DownloadToProgrammed();
    ASSERT_TRUE(unit.WaitForFrames(5, 5s));
    const std::vector<TUnitFrame> frames = unit.Frames();
    EXPECT_EQ(frames[0].Bytes, ExpectedFrame("SN"));
    EXPECT_EQ(frames[1].Bytes, ExpectedFrame("SB" + std::string(1, '\0') +
                                             SettingsBlock(0, 1).substr(0, BlockDataSize)));
    EXPECT_EQ(frames[2].Bytes, ExpectedFrame("SB\x10" + SettingsBlock(0, 1).substr(BlockDataSize)));
    EXPECT_EQ(frames[3].Bytes, ExpectedFrame(std::string("SE\x05\x00", 4)));
    EXPECT_EQ(frames[4].Bytes, ExpectedFrame("SZ"));
    EXPECT_EQ(EepromPage(unit), SettingsBlock(0, 1));
    EXPECT_EQ(FBoot->Percent->text(), QLatin1String("100"));
    EXPECT_EQ(FBoot->Progress->value(), 100);

    // Further downloads on the same open port, each with the sliders as they stand then.
    for (auto [solDelay, id] : {std::pair{31, 4}, std::pair{17, 2}, std::pair{13, 3}}) {
        SetSliders(solDelay, id);
        EXPECT_EQ(FForm->SolDelay->text(), QString::number(solDelay));
        EXPECT_EQ(FForm->ID->text(), QString::number(id));
        DownloadToProgrammed();
        EXPECT_EQ(EepromPage(unit), SettingsBlock(solDelay, id)) << solDelay << " " << id;
    }
    // Four runs; a finish frame that was not acknowledged before the next tick went out twice.
    TKinds fourRuns;
    for (int run = 0; run < 4; ++run)
        fourRuns.insert(fourRuns.end(), OneRun.begin(), OneRun.end());
    EXPECT_EQ(RunFrameKinds(fourRuns.size()), fourRuns);
    EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(TWholeJob, AnswersToTheProbeCountInEveryEncoding)
{
    TUnitSimOptions split;
    split.SplitPause = 20ms;
    TUnitSimOptions escaped;
    escaped.EscapeAnswers = true;
    TUnitSimOptions late;
    late.AnswerDelay = 60ms; // still before the next tick
    for (const TUnitSimOptions &options : {split, escaped, late}) {
        StartWithUnit(options);
        EXPECT_TRUE(WaitForDownloadEnabled());
        TearDown();
    }
}

TEST_F(TWholeJob, ASilentPortIsNeverTakenForTheDongle)
{
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    TUnitSimPty &unit = StartWithUnit(silent);
    // Several passes over the list: each probes the port again, none finds it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return unit.ProbeCount() >= 3; }, 20000));
    EXPECT_FALSE(FForm->DownloadButton->isEnabled());
}

TEST_F(TWholeJob, OnlyTheExactAnswerCounts)
{
    for (const char *answer : {"IWRX ", "iwrx", "IWR", "XIWRX"}) {
        TUnitSimOptions wrong;
        wrong.ProbeAnswer = answer;
        TUnitSimPty &unit = StartWithUnit(wrong);
        ASSERT_TRUE(QTest::qWaitFor([&] { return unit.ProbeCount() >= 2; }, 20000));
        EXPECT_FALSE(FForm->DownloadButton->isEnabled()) << answer;
        TearDown();
    }
}

TEST_F(TWholeJob, AnAnswerThatComesAfterTheNextTickDoesNotCountForAnotherPort)
{
    // The first port answers too late, every time; the second never answers. Without care the
    // first port's late answer would be taken for the second port's.
    TUnitSimOptions late;
    late.AnswerDelay = 330ms;
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(late));
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    StartProgram({FUnits[0].get(), FUnits[1].get()});
    ASSERT_TRUE(QTest::qWaitFor([this] { return FUnits[1]->ProbeCount() >= 3; }, 30000));
    EXPECT_FALSE(FForm->DownloadButton->isEnabled());
}

TEST_F(TWholeJob, NoPortsMeansNoDownload)
{
    StartProgram({});
    QSignalSpy ticks(FForm->Timer1, &QTimer::timeout);
    EXPECT_FALSE(QTest::qWaitFor([this] { return FForm->DownloadButton->isEnabled(); }, 700));
    // Only a tick of discovery enables Download: after three passes over the empty list it
    // stays disabled, however slowly the ticks came.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 3; }, 20000));
    EXPECT_FALSE(FForm->DownloadButton->isEnabled());
    EXPECT_EQ(FForm->Ports->count(), 0);
}

class TRefusedStep : public TWholeJob, public ::testing::WithParamInterface<int> {};

TEST_P(TRefusedStep, IsSentAgainAndTheRunGoesOn)
{
    const int refused = GetParam();
    TUnitSimOptions options;
    options.RefuseFrames = {refused};
    TUnitSimPty &unit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    DownloadToProgrammed();

    TKinds expected = OneRun;
    expected.insert(expected.begin() + refused, OneRun[refused - 1]);
    const TKinds kinds = FrameKinds(expected.size());
    if (refused == 5) {
        // The finish frame may also go out once more from the tick before the repeat's
        // acknowledgement comes in; either way the run ends "Programmed".
        ASSERT_GE(kinds.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), kinds.begin()));
    } else {
        EXPECT_EQ(kinds, expected);
    }
    EXPECT_EQ(EepromPage(unit), SettingsBlock(0, 1));
}

INSTANTIATE_TEST_SUITE_P(EachStep, TRefusedStep, ::testing::Values(1, 2, 3, 4, 5));

TEST_F(TWholeJob, UnexpectedAndEmptyLinesAreShownAndNothingIsSentAgain)
{
    TUnitSimOptions options;
    options.UnexpectedBeforeFrames = {2};
    options.EmptyLineBeforeFrames = {4};
    // The stray line and the real answer arrive apart, as separate notifications, also on a
    // busy machine; the probe's answer still comes in three pieces before the next tick.
    options.SplitPause = 70ms;
    options.SplitPieceSize = 2;
    TUnitSimPty &unit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    Download([this](TModalDriver &Driver) {
        Driver.When(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
        Driver.When(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
        Driver.When([this] { return Programmed(); }, [this] { FBoot->CloseButton->click(); });
    });
    EXPECT_EQ(FErrors, QStringList({QStringLiteral("Unexpected Response X."),
                                    QStringLiteral("Unexpected Response ")}));
    EXPECT_EQ(RunFrameKinds(OneRun.size()), OneRun);
    EXPECT_EQ(EepromPage(unit), SettingsBlock(0, 1));
}

TEST_F(TWholeJob, AFinishFrameNeverAcknowledgedIsSentTwiceAndTheRunEnds)
{
    TUnitSimOptions options;
    options.StopAnsweringAfterFrame = 4;
    StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    DownloadToProgrammed();
    EXPECT_EQ(FrameKinds(6), TKinds({"SN", "SB", "SB", "SE", "SZ", "SZ"}));
}

TEST_F(TWholeJob, ClosingTheLoaderMidRunStopsSendingAndALaterDownloadStartsAfresh)
{
    TUnitSimOptions options;
    options.StopAnsweringAfterFrame = 2;
    TUnitSimPty &unit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    Download([&](TModalDriver &Driver) {
        Driver.When(
            [&] { return unit.Frames().size() == 3 && FBoot->Step() == TBoot::StepBlockHigh; },
            [this] {
                EXPECT_FALSE(FBoot->CloseButton->isEnabled());
                FBoot->close(); // the close box works while the button is disabled
            });
    });
    EXPECT_FALSE(QTest::qWaitFor([&] { return unit.Frames().size() > 3; }, 300));
    EXPECT_FALSE(FBoot->Timer1->isActive());

    // The next run's first frame must come, and a frame of the closed run, however late, would
    // come before it: the frames below hold nothing between the two runs.
    Download([&](TModalDriver &Driver) {
        Driver.When([&] { return unit.Frames().size() == 4; }, [this] { FBoot->close(); });
    });
    EXPECT_EQ(FrameKinds(4), TKinds({"SN", "SB", "SB", "SN"}));
    EXPECT_TRUE(FErrors.isEmpty());
}

TEST_F(TWholeJob, CancelInTheCautionDialogLeavesEverythingAsItWas)
{
    TUnitSimPty &unit = StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    {
        TModalDriver driver;
        driver.When([this] { return FDialog->isVisible(); },
                    [this] { FDialog->CancelBtn->click(); });
        FForm->DownloadButton->click();
        ASSERT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(unit.Frames().empty());
    EXPECT_FALSE(FBoot->isVisible());
    EXPECT_TRUE(FForm->SerComm1.Active());
    EXPECT_TRUE(FForm->SerComm1.OnRxChar.Assigned());
    EXPECT_EQ(FForm->SerComm1.OnRxChar.Target(), FForm);

    // A later OK uses the sliders as they are then.
    SetSliders(9, 3);
    DownloadToProgrammed();
    EXPECT_EQ(EepromPage(unit), SettingsBlock(9, 3));
}

TEST_F(TWholeJob, ADeviceThatDisappearsMidRunIsReportedOnceAndTheWindowsCloseAtOnce)
{
    TUnitSimOptions options;
    options.UnplugAfterFrame = 2;
    TUnitSimPty &unit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    Download([&](TModalDriver &Driver) {
        Driver.Whenever(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
        // The run cannot go on: Close is enabled, and its first press closes the window.
        Driver.When([this] { return !FErrors.isEmpty() && FBoot->CloseButton->isEnabled(); },
                    [this] { FBoot->CloseButton->click(); });
    });
    ASSERT_EQ(FErrors.size(), 1);
    EXPECT_TRUE(IsDongleLostText(FErrors.front())) << FErrors.front().toStdString();
    EXPECT_EQ(FBoot->Status->text(), QLatin1String("Dongle disconnected"));
    EXPECT_EQ(FBoot->Step(), TBoot::StepBlockLow) << "the run went on after the loss";
    EXPECT_EQ(unit.Frames().size(), 2u);
    EXPECT_TRUE(unit.Unplugged());

    // Closing the program shows nothing more either.
    TModalDriver boxes;
    boxes.Whenever(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
    FForm->close();
    EXPECT_FALSE(FForm->SerComm1.Active());
    EXPECT_EQ(FErrors.size(), 1);
}

// The dongle goes just as the window closes: the close serves the notification that tells of it,
// which must neither start a search nor open a box in a window on its way out.
TEST_F(TWholeJob, ALossThatTheCloseDeliversStartsNoSearchAndShowsNoBox)
{
    StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    TModalDriver boxes;
    boxes.Whenever(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
    FForm->FormClose();
    const ESerCommError failure(VanishedDeviceError().toStdString());
    FForm->ComPortNotifyException(&FForm->SerComm1,
                                  std::make_exception_ptr(ESerDeviceLost(failure)));
    EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(u'\n').toStdString();
    EXPECT_FALSE(FForm->Timer1->isActive());
    EXPECT_FALSE(FForm->DownloadButton->isEnabled());
}

TEST_F(TWholeJob, APortThatHangsUpWhenProbedIsSkippedSilently)
{
    // The port before the dongle's goes as the probe arrives, or while its answer is on its way.
    for (bool midAnswer : {false, true}) {
        TUnitSimOptions vanishing;
        (midAnswer ? vanishing.UnplugMidProbeAnswer : vanishing.UnplugOnProbe) = true;
        FUnits.push_back(std::make_unique<TUnitSimPty>(vanishing));
        FUnits.push_back(std::make_unique<TUnitSimPty>());
        StartProgram({FUnits[0].get(), FUnits[1].get()});
        {
            TModalDriver boxes;
            boxes.Whenever(ErrorBoxShown(), [this] { AcknowledgeErrorBox(); });
            ASSERT_TRUE(WaitForDownloadEnabled()) << midAnswer;
            EXPECT_TRUE(FUnits[0]->Unplugged()) << FForm->Ports->toolTip().toStdString();
            DownloadToProgrammed();
        }
        EXPECT_EQ(EepromPage(*FUnits[1]), SettingsBlock(0, 1));
        EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(QLatin1Char('\n')).toStdString();
        TearDown();
    }
}

TEST_F(TWholeJob, AnErrorBoxOfANotificationNeitherFreezesNorStopsDiscovery)
{
    TUnitSimOptions vanishing;
    vanishing.UnplugOnProbe = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(vanishing));
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    StartProgram({FUnits[0].get(), FUnits[1].get()});
    // Shown rather than swallowed, the failure opens a box; the discovery ticks run in its event
    // loop, and each closes a port, which once waited for the box for ever. The box must come
    // from the event loop, as the hang-up's notification does, and not from inside the next
    // tick, which would deliver it while it closes the port if a busy machine held it up so
    // long: ticks a second apart leave no doubt.
    FForm->SerComm1.OnNotifyException = {};
    FForm->Timer1->setInterval(1000);
    {
        TModalDriver driver(30000);
        driver.When(ErrorBoxShown(), [] {});
        driver.When([this] { return FForm->DownloadButton->isEnabled(); },
                    [this] { AcknowledgeErrorBox(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return driver.Finished() || driver.TimedOut(); }, 40000));
        ASSERT_FALSE(driver.TimedOut());
    }
    EXPECT_EQ(FErrors, QStringList{VanishedDeviceError()});
    ASSERT_TRUE(WaitForDownloadEnabled());
    DownloadToProgrammed();
    EXPECT_EQ(EepromPage(*FUnits[1]), SettingsBlock(0, 1));
}

TEST_F(TWholeJob, WhileTheBoxOfAnUnexpectedLineIsUpTheTickEndsTheRun)
{
    TUnitSimOptions options;
    options.UnexpectedBeforeFrames = {5};
    StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    Download([this](TModalDriver &Driver) {
        Driver.When(ErrorBoxShown(), [] {});
        // The reply to the finish frame waits behind the box; the tick sends the frame again
        // and shows "Programmed".
        Driver.When([this] { return Programmed(); }, [this] { AcknowledgeErrorBox(); });
        Driver.When([] { return ActiveErrorBox() == nullptr; },
                    [this] { FBoot->CloseButton->click(); });
    });
    EXPECT_EQ(FErrors, QStringList{QStringLiteral("Unexpected Response X.")});
    EXPECT_EQ(FrameKinds(6), TKinds({"SN", "SB", "SB", "SE", "SZ", "SZ"}));
}

TEST_F(TWholeJob, ASilentUnitIsToldOfAndAReplyThatComesLateGoesOnWithTheRun)
{
    // The unit answers the first frame of each run only after 3 s, the second after half a
    // second, which leaves time to look at the window in between.
    TUnitSimOptions options;
    options.LateFrames = {{1, 3000ms}, {2, 500ms}};
    TUnitSimPty &unit = StartWithUnit(options);
    ASSERT_TRUE(WaitForDownloadEnabled());
    QElapsedTimer clock;
    qint64 hintShown = 0;
    Download([&](TModalDriver &Driver) {
        Driver.When([this] { return FBoot->Status->text() == QLatin1String("Programming EEPROM"); },
                    [&] {
                        clock.start();
                        EXPECT_FALSE(FBoot->CloseButton->isEnabled());
                    });
        Driver.When(
            [this] {
                return FBoot->Status->text().startsWith(QLatin1String("No answer from unit"));
            },
            [&] {
                hintShown = clock.elapsed();
                EXPECT_TRUE(FBoot->CloseButton->isEnabled());
                EXPECT_EQ(unit.Frames().size(), 1u);
            });
        // The late reply: the run goes on as before, and says so again.
        Driver.When([this] { return FBoot->Step() == TBoot::StepBlockLow; },
                    [this] {
                        EXPECT_EQ(FBoot->Status->text(), QLatin1String("Programming EEPROM"));
                        EXPECT_FALSE(FBoot->CloseButton->isEnabled());
                    });
        Driver.When([this] { return Programmed(); }, [this] { FBoot->CloseButton->click(); });
    });
    // About two seconds: the timer may be a little early, and the first check a little late.
    EXPECT_GE(hintShown, TBoot::SilenceMs * 9 / 10);
    EXPECT_LT(hintShown, 3000);
    EXPECT_EQ(RunFrameKinds(OneRun.size()), OneRun) << "a frame was sent again";
    EXPECT_EQ(EepromPage(unit), SettingsBlock(0, 1));
    EXPECT_TRUE(FErrors.isEmpty());
}
