#include "wholejob.h"

#include "errorbox.h"
#include "frames.h"
#include "numedit.h"
#include "platformports.h"
#include "rulerslider.h"
#include "serexception.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace std::chrono_literals;

QMessageBox *ActiveErrorBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

void TWholeJob::TearDown()
{
    FWindows.reset();
    FUnits.clear();
    qunsetenv("ZARNELL_PORTS");
}

void TWholeJob::StartProgram(const std::vector<const TUnitSimPty *> &Units)
{
    QStringList paths;
    for (const TUnitSimPty *unit : Units)
        paths << QString::fromStdString(unit->SlavePath());
    StartProgramOnPorts(paths);
}

void TWholeJob::StartProgramOnPorts(const QStringList &Ports)
{
    qputenv("ZARNELL_PORTS", Ports.join(QLatin1Char(':')).toLocal8Bit());
    FWindows = std::make_unique<TProgramWindows>();
    FForm = &FWindows->ZRSetupForm;
    // A busy machine, under Wine above all, may take more than the bound of an open to open a
    // port and would skip it for a pass; only the tests of slow ports hold the program to it.
    FForm->ShortOpenBound = 10s;
    FBoot = &FWindows->Boot;
    FDialog = &FWindows->UpdateDlgM;
    FForm->show();
}

TUnitSimPty &TWholeJob::StartWithUnit(TUnitSimOptions Options)
{
    FUnits.push_back(std::make_unique<TUnitSimPty>(Options));
    StartProgram({FUnits.back().get()});
    return *FUnits.back();
}

bool TWholeJob::WaitForDownloadEnabled(int TimeoutMs)
{
    // Also until the dongle (the last unit started) has read the "Z" that came with it: a purge
    // discards what a pseudo-terminal's far end has not read yet, and the tests press Download
    // far sooner after it than any person could.
    return QTest::qWaitFor(
        [this] {
            return FForm->DownloadButton->isEnabled() &&
                   (FUnits.empty() || FUnits.back()->LoaderListening());
        },
        TimeoutMs);
}

std::function<bool()> TWholeJob::ErrorBoxShown() const
{
    return [] { return ActiveErrorBox() != nullptr; };
}

void TWholeJob::AcknowledgeErrorBox()
{
    QMessageBox *box = ActiveErrorBox();
    FErrors << box->text();
    box->button(QMessageBox::Ok)->click();
}

void TWholeJob::WaitForQuietLine() const
{
    if (FUnits.empty())
        return;
    const TUnitSimPty &unit = *FUnits.back();
    const auto quietSince = [&unit] {
        const TUnitRecord record = unit.Record();
        TUnitTime last{};
        if (!record.Frames.empty())
            last = std::max(last, record.Frames.back().Time);
        if (!record.Replies.empty())
            last = std::max(last, record.Replies.back().Time);
        return TUnitClock::now() - last;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return quietSince() >= 500ms; }, 10000))
        << "the unit never went quiet";
}

void TWholeJob::Download(const std::function<void(TModalDriver &)> &Script)
{
    WaitForQuietLine();
    TModalDriver driver;
    driver.When([this] { return FDialog->isVisible(); }, [this] { FDialog->OKBtn->click(); });
    Script(driver);
    FForm->DownloadButton->click();
    ASSERT_FALSE(driver.TimedOut()) << "the loader window did not reach the expected state";
    ASSERT_TRUE(driver.Finished());
    ASSERT_FALSE(FBoot->isVisible());
}

void TWholeJob::DownloadToProgrammed()
{
    Download([this](TModalDriver &Driver) {
        Driver.When([this] { return Programmed(); }, [this] { FBoot->CloseButton->click(); });
    });
}

bool TWholeJob::Programmed() const
{
    // Visible: the status is this run's, not what the run before left in the hidden window.
    if (!FBoot->isVisible() || FBoot->Status->text() != QLatin1String("Programmed"))
        return false;
    if (FUnits.empty())
        return true;
    const std::vector<TUnitFrame> frames = FUnits.back()->Frames();
    return !frames.empty() && frames.back().Kind == TFrameKind::Finish;
}

void TWholeJob::SetSliders(int SolDelay, int Id)
{
    FForm->SolDelaySlider->SetValue(SolDelay);
    FForm->IDSlider->SetValue(Id);
}

namespace {

// The kinds of the frames Unit received, once it has received at least AtLeast of them (or 5 s
// have passed).
std::vector<std::string> FrameKindsOf(const TUnitSimPty &Unit, std::size_t AtLeast)
{
    Unit.WaitForFrames(AtLeast, 5s);
    std::vector<std::string> kinds;
    for (const TUnitFrame &frame : Unit.Frames())
        kinds.push_back(FrameKindName(frame.Kind));
    return kinds;
}

} // namespace

std::vector<std::string> TWholeJob::FrameKinds(std::size_t AtLeast) const
{
    return FrameKindsOf(*FUnits.front(), AtLeast);
}

QString VanishedDeviceError()
{
    try {
        RaiseCommError(SStatisticsError, VanishedDeviceCode());
    } catch (const ESerCommError &Error) {
        return StandardErrorText(QString::fromUtf8(Error.what()));
    }
}

std::vector<std::string> TWholeJob::RunFrameKinds(std::size_t AtLeast) const
{
    return RunFrameKinds(*FUnits.front(), AtLeast);
}

std::vector<std::string> TWholeJob::RunFrameKinds(const TUnitSimPty &Unit, std::size_t AtLeast)
{
    std::vector<std::string> kinds = FrameKindsOf(Unit, AtLeast);
    const auto repeatedFinish = [](const std::string &Before, const std::string &Kind) {
        return Before == "SZ" && Kind == "SZ";
    };
    kinds.erase(std::unique(kinds.begin(), kinds.end(), repeatedFinish), kinds.end());
    return kinds;
}

bool IsDongleLostText(const QString &Text)
{
    return Text.startsWith(QLatin1String("The dongle was disconnected. ")) &&
           Text.endsWith(QLatin1String("\n\n") + VanishedDeviceError());
}

std::string SettingsBlock(int SolDelay, int Id)
{
    std::string block(SettingsBlockSize, '\xff');
    block[0] = static_cast<char>(SolDelay);
    block[1] = static_cast<char>(Id);
    return block;
}

std::string EepromPage(const TUnitSimPty &Unit)
{
    const std::vector<std::uint8_t> eeprom = Unit.Eeprom();
    return std::string(eeprom.begin() + PageAddressBase,
                       eeprom.begin() + PageAddressBase + EepromPageSize);
}

std::string ExpectedFrame(const std::string &Payload)
{
    std::string frame = "D ";
    frame += Payload;
    frame.resize(34, '\0');
    return frame;
}
