// The loader window's steps against a unit that the test plays on a pseudo-terminal, for the
// timings that the simulator cannot pin down: replies that race the window's own tick.
#include "bootloader.h"
#include "frames.h"
#include "modaldriver.h"
#include "ptypair.h"
#include "sercomm.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class TLoaderWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Comm.SetDeviceName(Unit.SlavePath());
        Comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
        Comm.Open();
    }

    // The frame the window sent last, as the unit reads it.
    std::string ReceiveFrame() { return Unit.Read(FrameSize, 2s); }
    void Acknowledge() { Unit.Write("A\r"); }

    TPtyPair Unit;
    TSerComm Comm;
    TBoot Boot;
    TBoot::TImage Image{};
    std::vector<std::string> Frames;
};

} // namespace

TEST_F(TLoaderWindow, AnAcknowledgementBeforeTheFirstTickStartsTheRunInsteadOfSkippingAStep)
{
    // The first tick is far away, so the reply surely comes first.
    Boot.Timer1->setInterval(60000);
    TModalDriver driver;
    driver.When([&] { return Boot.isVisible(); }, [&] { Acknowledge(); });
    driver.When([&] { return !Boot.TickDriven(); },
                [&] {
                    EXPECT_EQ(Boot.Step(), TBoot::StepPageStart);
                    EXPECT_FALSE(Boot.Timer1->isActive()) << "the tick no longer drives the run";
                    Frames.push_back(ReceiveFrame());
                    Acknowledge();
                });
    for (std::uint8_t step :
         {TBoot::StepBlockLow, TBoot::StepBlockHigh, TBoot::StepPageAddress, TBoot::StepFinish}) {
        driver.When([&, step] { return Boot.Step() == step; },
                    [&] {
                        Frames.push_back(ReceiveFrame());
                        Acknowledge();
                    });
    }
    driver.When([&] { return Boot.Status->text() == QLatin1String("Programmed"); },
                [&] { Boot.close(); });
    Boot.StartLoading(&Comm, Image);
    ASSERT_TRUE(driver.Finished());
    ASSERT_EQ(Frames.size(), 5u);
    EXPECT_EQ(Frames[0], BuildFrame(PageStartPayload()));
    EXPECT_EQ(Frames[1], BuildFrame(BlockPayload(Image.data(), 0)));
    EXPECT_EQ(Frames[4], BuildFrame(FinishPayload()));
    EXPECT_EQ(Unit.ReadUntilQuiet(100ms), "") << "nothing but the five frames";
}

TEST_F(TLoaderWindow, AnAcknowledgementAfterTheTickHasReachedTheLastStepEndsTheRun)
{
    TModalDriver driver;
    for (std::uint8_t step : {TBoot::StepPageStart, TBoot::StepBlockLow, TBoot::StepBlockHigh,
                              TBoot::StepPageAddress}) {
        driver.When([&, step] { return Boot.Step() == step && !Boot.TickDriven(); },
                    [&] {
                        Frames.push_back(ReceiveFrame());
                        Acknowledge();
                    });
    }
    // The finish frame goes unanswered until the tick has moved on to the last step; then the
    // acknowledgement comes, and the tick is held back so that the reply is what ends the run.
    driver.When([&] { return Boot.Step() == TBoot::StepProgrammed; },
                [&] {
                    Boot.Timer1->setInterval(60000);
                    Acknowledge();
                });
    driver.When([&] { return Boot.Status->text() == QLatin1String("Programmed"); },
                [&] {
                    EXPECT_EQ(Boot.Step(), TBoot::StepProgrammed);
                    EXPECT_FALSE(Boot.Timer1->isActive());
                    // More replies change nothing: the step never passes the end of the run.
                    Acknowledge();
                    Unit.Write("N\r");
                });
    driver.When(
        [&] { return !QTest::qWaitFor([&] { return Boot.Step() != TBoot::StepProgrammed; }, 150); },
        [&] { Boot.close(); });
    Boot.StartLoading(&Comm, Image);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(Boot.Step(), TBoot::StepProgrammed);
    EXPECT_EQ(Frames.size(), 4u);
    // The finish frame, and once more from the tick that found it unanswered; nothing after.
    EXPECT_EQ(ReceiveFrame(), BuildFrame(FinishPayload()));
    EXPECT_EQ(ReceiveFrame(), BuildFrame(FinishPayload()));
    EXPECT_EQ(Unit.ReadUntilQuiet(100ms), "");
}

TEST_F(TLoaderWindow, OnAPortThatIsNotOpenNothingHappensUntilTheWindowIsClosed)
{
    Comm.Close();
    TModalDriver driver;
    driver.When([&] { return Boot.isVisible() && !Boot.TickDriven(); },
                [&] {
                    EXPECT_EQ(Boot.Status->text(), QLatin1String("Programming EEPROM"));
                    EXPECT_EQ(Boot.Step(), TBoot::StepPageStart);
                    Boot.close();
                });
    EXPECT_EQ(Boot.StartLoading(&Comm, Image), TBoot::mrCancel);
    EXPECT_TRUE(driver.Finished());
    EXPECT_FALSE(Comm.OnRxChar.Assigned());
}
