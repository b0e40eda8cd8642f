// The windows as the user sees them: captions, sizes, places, texts, fonts and first states, and
// the setup window's own handlers.
#include "bootloader.h"
#include "bootmain.h"
#include "errorbox.h"
#include "modaldriver.h"
#include "numedit.h"
#include "replyparser.h"
#include "rulerslider.h"
#include "updatedlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QColor SkyBlue(166, 202, 240);

void ExpectPlace(const QWidget *Widget, int Left, int Top, int Width, int Height)
{
    EXPECT_EQ(Widget->geometry(), QRect(Left, Top, Width, Height))
        << Widget->objectName().toStdString();
}

void ExpectLabel(const QLabel *Label, const char *Text, int Left, int Top)
{
    EXPECT_EQ(Label->text(), QLatin1String(Text));
    EXPECT_EQ(Label->pos(), QPoint(Left, Top)) << Text;
    EXPECT_EQ(Label->size(), Label->sizeHint()) << Text << ": labels size themselves to their text";
}

// No port at all, so that no test here touches a device.
class TWindows : public ::testing::Test {
protected:
    void SetUp() override { qputenv("ZARNELL_PORTS", ""); }
    void TearDown() override { qunsetenv("ZARNELL_PORTS"); }
};

} // namespace

TEST_F(TWindows, SetupWindowIsBuiltAsDescribed)
{
    TZRSetupForm form;
    EXPECT_EQ(form.windowTitle(), QLatin1String("Zarnell Setup V1.0"));
    EXPECT_EQ(form.size(), QSize(207, 247));
    EXPECT_EQ(form.palette().color(QPalette::Window), SkyBlue);
    EXPECT_EQ(form.font().pixelSize(), 11);
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    ExpectPlace(form.Ports, 8, 8, 89, 21);
    EXPECT_TRUE(form.Ports->isEditable());
    QTest::keyClicks(form.Ports, QStringLiteral("COM9"));
    QTest::keyClick(form.Ports, Qt::Key_Return);
    EXPECT_EQ(form.Ports->count(), 0) << "typing into the box adds no port to the scan";
    ExpectPlace(form.SolDelaySlider, 1, 51, 132, 28);
    EXPECT_EQ(form.SolDelaySlider->MinValue(), 0);
    EXPECT_EQ(form.SolDelaySlider->MaxValue(), 31);
    EXPECT_EQ(form.SolDelaySlider->Increment(), 1);
    EXPECT_EQ(form.SolDelaySlider->Value(), 0);
    ExpectPlace(form.SolDelay, 168, 58, 26, 21);
    EXPECT_TRUE(form.SolDelay->isReadOnly());
    EXPECT_EQ(form.SolDelay->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form.SolDelay->text(), QLatin1String("0"));
    ExpectLabel(form.Label1, "Select ZN ID", 34, 96);
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label1->font().pixelSize(), 12);
    ExpectPlace(form.IDSlider, 1, 132, 145, 38);
    EXPECT_EQ(form.IDSlider->MinValue(), 1);
    EXPECT_EQ(form.IDSlider->MaxValue(), 4);
    EXPECT_EQ(form.IDSlider->Value(), 1);
    ExpectPlace(form.ID, 168, 132, 26, 21);
    EXPECT_TRUE(form.ID->isReadOnly());
    EXPECT_TRUE(form.ID->font().bold());
    EXPECT_EQ(form.ID->text(), QLatin1String("1"));
    ExpectLabel(form.LC, "Select Lane", 38, 176);
    EXPECT_TRUE(form.LC->font().bold());
    ExpectPlace(form.DownloadButton, 54, 205, 75, 25);
    EXPECT_EQ(form.DownloadButton->text(), QLatin1String("Download"));
    EXPECT_TRUE(form.DownloadButton->font().bold());
    EXPECT_TRUE(form.DownloadButton->isDefault());
    EXPECT_FALSE(form.DownloadButton->isEnabled());

    EXPECT_EQ(form.Timer1->interval(), 200);
    EXPECT_TRUE(form.Timer1->isActive()) << "discovery starts with the window";
    EXPECT_FALSE(form.SerComm1.Active());
    EXPECT_EQ(form.SerComm1.UserBaudrate(), 500000);
    EXPECT_EQ(form.SerComm1.Baudrate(), TSerBaudrate::brUser);
    EXPECT_EQ(form.SerComm1.Stopbits(), TSerStopbits::sb2);
    EXPECT_EQ(form.SerComm1.Databits(), TSerDatabits::db8);
    EXPECT_EQ(form.SerComm1.Parity(), TSerParity::paNone);
    EXPECT_EQ(form.SerComm1.MonitorEvents(), TSerCommEvents{TSerCommEvent::ceRxChar});
    EXPECT_EQ(form.SerComm1.EventPriority(), TThreadPriority::tpHighest);
    EXPECT_TRUE(form.SerComm1.DirectWrite());
    EXPECT_EQ(form.SerComm1.OnRxChar.Target(), &form);
}

TEST_F(TWindows, SlidersShowTheirValueAtOnceInTheirBoxes)
{
    TZRSetupForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.IDSlider->setFocus();
    QTest::keyClick(form.IDSlider, Qt::Key_Right);
    EXPECT_EQ(form.ID->text(), QLatin1String("2"));
    QTest::keyClick(form.IDSlider, Qt::Key_End);
    EXPECT_EQ(form.ID->text(), QLatin1String("4"));

    form.SolDelaySlider->setFocus();
    QTest::keyClick(form.SolDelaySlider, Qt::Key_End);
    EXPECT_EQ(form.SolDelay->text(), QLatin1String("31"));
    // A drag along the whole track ends at the low end.
    const QPoint thumb(form.SolDelaySlider->ValueToOffset(31) + 4, 14);
    QTest::mousePress(form.SolDelaySlider, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(form.SolDelaySlider, QPoint(0, 14));
    QTest::mouseRelease(form.SolDelaySlider, Qt::LeftButton, {}, QPoint(0, 14));
    EXPECT_EQ(form.SolDelay->text(), QLatin1String("0"));
    form.close(); // no port is open: closing only ends discovery
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST_F(TWindows, CautionDialogIsBuiltAsDescribedAndAnswersOkOrCancel)
{
    TUpdateDlgM dialog;
    EXPECT_EQ(dialog.windowTitle(), QLatin1String("Zarnell Settings Update"));
    EXPECT_EQ(dialog.size(), QSize(384, 179));
    ExpectPlace(dialog.Bevel1, 8, 11, 286, 160);
    ExpectLabel(dialog.Label1, "**** CAUTION ****", 72, 16);
    EXPECT_EQ(dialog.Label1->font().family(), QLatin1String("Tahoma"));
    EXPECT_EQ(dialog.Label1->font().pixelSize(), 15);
    EXPECT_TRUE(dialog.Label1->font().bold());
    ExpectLabel(dialog.Label2, "Ensure only one dongle is connected to PC", 46, 38);
    ExpectLabel(dialog.Label3, "Make sure no other devices are powered", 52, 56);
    ExpectLabel(dialog.Label4, "Cancel update if dongle needs to be removed and restart", 13, 73);
    ExpectLabel(dialog.Label5, "To Proceed with Update", 63, 104);
    ExpectLabel(dialog.Label6, "Apply Power to Zarnell", 72, 126);
    ExpectLabel(dialog.Label7, "Press Reset on ZN and then Press OK", 53, 143);
    ExpectPlace(dialog.OKBtn, 300, 8, 75, 25);
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    ExpectPlace(dialog.CancelBtn, 300, 38, 75, 25);

    struct TCase {
        std::function<void()> Answer;
        int Result;
    };
    const TCase cases[] = {
        {[&] { dialog.OKBtn->click(); }, TUpdateDlgM::mrOk},
        {[&] { dialog.CancelBtn->click(); }, TUpdateDlgM::mrCancel},
        {[&] { QTest::keyClick(&dialog, Qt::Key_Escape); }, TUpdateDlgM::mrCancel},
        {[&] { QTest::keyClick(&dialog, Qt::Key_Return); }, TUpdateDlgM::mrOk},
        {[&] { dialog.close(); }, TUpdateDlgM::mrCancel},
    };
    for (const TCase &c : cases) {
        TModalDriver driver;
        driver.When([&] { return dialog.isVisible(); }, c.Answer);
        EXPECT_EQ(dialog.exec(), c.Result);
        EXPECT_TRUE(driver.Finished());
    }
}

TEST_F(TWindows, LoaderWindowIsBuiltAsDescribed)
{
    TBoot boot;
    EXPECT_EQ(boot.windowTitle(), QLatin1String("Boot Loader V3.0"));
    EXPECT_EQ(boot.size(), QSize(373, 135));
    EXPECT_EQ(boot.minimumSize(), boot.maximumSize()) << "a fixed-size border";
    EXPECT_EQ(boot.palette().color(QPalette::Window), SkyBlue);
    EXPECT_EQ(boot.Status->pos(), QPoint(44, 16));
    EXPECT_TRUE(boot.Status->text().isEmpty());
    EXPECT_EQ(boot.Status->font().family(), QLatin1String("Arial"));
    EXPECT_EQ(boot.Status->font().pixelSize(), 16);
    ExpectPlace(boot.Progress, 16, 64, 257, 16);
    EXPECT_EQ(boot.Progress->minimum(), 0);
    EXPECT_EQ(boot.Progress->maximum(), 100);
    EXPECT_EQ(boot.Progress->value(), 0);
    ExpectPlace(boot.Percent, 296, 64, 33, 21);
    EXPECT_EQ(boot.Percent->text(), QLatin1String("0"));
    EXPECT_FALSE(boot.Percent->hasFrame());
    EXPECT_TRUE(boot.Percent->isReadOnly());
    EXPECT_EQ(boot.Percent->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(boot.Label1->text(), QLatin1String("%"));
    EXPECT_EQ(boot.Label1->font().pixelSize(), 19);
    ExpectPlace(boot.CloseButton, 128, 102, 75, 25);
    EXPECT_TRUE(boot.CloseButton->isDefault());
    EXPECT_TRUE(boot.CloseButton->isEnabled());
    EXPECT_EQ(boot.Timer1->interval(), 20);
    EXPECT_FALSE(boot.Timer1->isActive());
}

TEST(TErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(StandardErrorText(QStringLiteral("Unexpected Response X")),
              QLatin1String("Unexpected Response X."));
    EXPECT_EQ(StandardErrorText(QStringLiteral("Unexpected Response ")),
              QLatin1String("Unexpected Response "));
    EXPECT_EQ(StandardErrorText(QStringLiteral("Done.")), QLatin1String("Done."));
    EXPECT_EQ(StandardErrorText(QStringLiteral("(5)")), QLatin1String("(5)"));
    EXPECT_EQ(StandardErrorText(QStringLiteral("port /")), QLatin1String("port /."));
    EXPECT_EQ(StandardErrorText(QString()), QString());
}

TEST(TErrorBox, ShowsTheMessageUnderTheProgramsNameAndCarriesOn)
{
    TModalDriver driver;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    driver.When([] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); },
                [&] {
                    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                    title = box->windowTitle();
                    text = box->text();
                    icon = box->icon();
                    box->button(QMessageBox::Ok)->click();
                });
    HandleApplicationException(std::make_exception_ptr(std::runtime_error("Write error (5), I/O")));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(text, QLatin1String("Write error (5), I/O."));
    EXPECT_EQ(title, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(TErrorBox, ShowsAnUnexpectedLineWholeWithItsNulAndHighBytes)
{
    TModalDriver driver;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    driver.When([] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); },
                [&] {
                    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                    text = box->text();
                    format = box->textFormat();
                    box->button(QMessageBox::Ok)->click();
                });
    try {
        ClassifyReply(std::string("X\0Y\xE9", 4));
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(text,
              QStringLiteral("Unexpected Response X") + QChar(0) + QStringLiteral("Y\u00E9."));
    // A line that looks like markup is shown as it came.
    EXPECT_EQ(format, Qt::PlainText);
}
