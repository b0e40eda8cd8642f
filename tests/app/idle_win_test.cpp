// While the program waits, nothing on its windows moves. The Windows Vista style pulses a
// default button without end; the program's setup stops that, so the Download button is no
// longer repainted once discovery is over and the window sits idle.
#include "wholejob.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <memory>

namespace {

// The time of a widget's last paint.
class TLastPaint : public QObject {
public:
    explicit TLastPaint(QWidget *Widget)
    {
        FClock.start();
        Widget->installEventFilter(this);
    }
    int Count = 0;
    qint64 SinceLast() const { return FClock.elapsed() - FLast; }

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        if (Event->type() == QEvent::Paint) {
            ++Count;
            FLast = FClock.elapsed();
        }
        return false;
    }

private:
    QElapsedTimer FClock;
    qint64 FLast = 0;
};

} // namespace

TEST_F(TWholeJob, TheDefaultButtonStaysStillWhileTheProgramWaits)
{
    const std::unique_ptr<QStyle> vista(QStyleFactory::create(QStringLiteral("windowsvista")));
    ASSERT_TRUE(vista) << "the program's Windows style is missing from the build";
    StartWithUnit();
    QPushButton *download = FForm->DownloadButton;
    download->setStyle(vista.get());
    TLastPaint paints(download);
    ASSERT_TRUE(WaitForDownloadEnabled());
    FForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm));
    download->update();

    // The enabled default button in the active window is painted once and then left alone; a
    // pulse would repaint it some thirty times a second.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return paints.Count > 0 && paints.SinceLast() > 500; }, 20000))
        << paints.Count << " paints";
    const int settled = paints.Count;
    QTest::qWait(1000); // a stretch of idleness to look at, not a synchronisation
    EXPECT_EQ(paints.Count, settled);
    download->setStyle(nullptr);
}
