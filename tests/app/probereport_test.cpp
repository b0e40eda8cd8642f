// Discovery that explains itself: the Ports box's tooltips and the log categories.
#include "wholejob.h"

#include "logcapture.h"
#include "platformports.h"

#include <QComboBox>
#include <QPushButton>

TEST_F(TWholeJob, ThePortsBoxTellsWhatBecameOfEachPort)
{
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    const QString missing = MissingPortName();
    qputenv("ZARNELL_PORTS",
            (missing + QLatin1Char(':') + QString::fromStdString(FUnits[0]->SlavePath()) +
             QLatin1Char(':') + QString::fromStdString(FUnits[1]->SlavePath()))
                .toLocal8Bit());
    FWindows = std::make_unique<TProgramWindows>();
    FForm = &FWindows->ZRSetupForm;
    FForm->show();
    ASSERT_TRUE(WaitForDownloadEnabled());

    const QStringList expected{
        missing + QStringLiteral(": not present (unplugged?)"),
        QString::fromStdString(FUnits[0]->SlavePath()) + QStringLiteral(": no answer to the probe"),
        QString::fromStdString(FUnits[1]->SlavePath()) + QStringLiteral(": the dongle")};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FForm->Ports->itemData(i, Qt::ToolTipRole).toString(), expected[i]);
    EXPECT_EQ(FForm->Ports->toolTip(), expected.join(QLatin1Char('\n')));
    EXPECT_EQ(FForm->Ports->count(), 3) << "the box's items are still the ports";
}

TEST_F(TWholeJob, TheLogShowsEveryFrameAndReplyInOrderAndNothingWhenOff)
{
    StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    {
        TLogCapture log(QStringLiteral("zarnell.*=true"));
        DownloadToProgrammed();
        QStringList exchange;
        for (const QString &line : Matching(log.Lines, QStringLiteral("zarnell.loader: "))) {
            if (line.startsWith(QLatin1String("frame ")))
                exchange << line.mid(6, 2);
            else if (line.startsWith(QLatin1String("reply line: ")))
                exchange << line.mid(12);
        }
        // "A" is 41; the finish frame may go out twice when the tick comes before its reply.
        const QStringList run{QStringLiteral("SN"), QStringLiteral("41"), QStringLiteral("SB"),
                              QStringLiteral("41"), QStringLiteral("SB"), QStringLiteral("41"),
                              QStringLiteral("SE"), QStringLiteral("41"), QStringLiteral("SZ")};
        ASSERT_GE(exchange.size(), run.size()) << log.Lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(exchange.mid(0, run.size()), run);
        EXPECT_FALSE(
            Matching(log.Lines, QStringLiteral("zarnell.loader: step programmed (26)")).isEmpty());
    }
    {
        TLogCapture log(QStringLiteral("zarnell.*=false"));
        DownloadToProgrammed();
        FForm->close();
        EXPECT_TRUE(log.Lines.isEmpty()) << log.Lines.join(QLatin1Char('\n')).toStdString();
    }
}
