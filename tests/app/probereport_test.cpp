// Discovery that explains itself: the Ports box's tooltips and the log categories.
#include "wholejob.h"

#include "ptypair.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Collects the messages of the program's log categories while it lives.
class TLogCapture {
public:
    explicit TLogCapture(const QString &Rules)
    {
        QLoggingCategory::setFilterRules(Rules);
        Current = this;
        FPrevious = qInstallMessageHandler(&TLogCapture::Handle);
    }
    ~TLogCapture()
    {
        qInstallMessageHandler(FPrevious);
        Current = nullptr;
        QLoggingCategory::setFilterRules(QStringLiteral("zarnell.*=false"));
    }
    TLogCapture(const TLogCapture &) = delete;
    TLogCapture &operator=(const TLogCapture &) = delete;

    QStringList Lines;

private:
    static void Handle(QtMsgType, const QMessageLogContext &Context, const QString &Message)
    {
        const QString category = QString::fromLatin1(Context.category ? Context.category : "");
        if (Current && category.startsWith(QLatin1String("zarnell.")))
            Current->Lines << category + QStringLiteral(": ") + Message;
    }

    static inline TLogCapture *Current = nullptr;
    QtMessageHandler FPrevious = nullptr;
};

QStringList Matching(const QStringList &Lines, const QString &Prefix)
{
    QStringList found;
    for (const QString &line : Lines) {
        if (line.startsWith(Prefix))
            found << line.mid(Prefix.size());
    }
    return found;
}

} // namespace

TEST_F(TWholeJob, ThePortsBoxTellsWhatBecameOfEachPort)
{
    TUnitSimOptions silent;
    silent.SilentDongle = true;
    FUnits.push_back(std::make_unique<TUnitSimPty>(silent));
    FUnits.push_back(std::make_unique<TUnitSimPty>());
    const QString missing = QStringLiteral("/dev/zarnell-no-such-port");
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
        EXPECT_FALSE(Matching(log.Lines, QStringLiteral("zarnell.loader: step 26")).isEmpty());
    }
    {
        TLogCapture log(QStringLiteral("zarnell.*=false"));
        DownloadToProgrammed();
        FForm->close();
        EXPECT_TRUE(log.Lines.isEmpty()) << log.Lines.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(TDiscoveryReport, APortWithoutPermissionIsNamedWithTheFixAndTheDongleIsFoundAfterIt)
{
    // Root may open anything, so the program runs as nobody then; a port of mode 000 refuses
    // its owner too.
    TUnitSimPty unit;
    TPtyPair locked;
    ASSERT_EQ(chmod(locked.SlavePath().c_str(), 0), 0);
    ASSERT_EQ(chmod(unit.SlavePath().c_str(), 0666), 0);
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_EQ(chmod(home.path().toLocal8Bit().constData(), 0777), 0);
    const QString program = home.filePath(QStringLiteral("zarnell-discovery-report"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZARNELL_DISCOVERY_REPORT), program));

    QProcess report;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZARNELL_PORTS"),
                       QString::fromStdString(locked.SlavePath() + ":" + unit.SlavePath()));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("zarnell.*=true"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    report.setProcessEnvironment(environment);
    if (geteuid() == 0)
        report.start(QStringLiteral("setpriv"),
                     {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), QStringLiteral("--"), program});
    else
        report.start(program, {});
    ASSERT_TRUE(report.waitForFinished(60000));
    const QString tooltips = QString::fromUtf8(report.readAllStandardOutput());
    const QString log = QString::fromUtf8(report.readAllStandardError());
    EXPECT_EQ(report.exitCode(), 0) << log.toStdString();

    const QString port = QString::fromStdString(locked.SlavePath());
    EXPECT_TRUE(log.contains(QStringLiteral("zarnell.discovery: %1: Can't open specified device "
                                            "%1 (Error 13, Permission denied)")
                                 .arg(port)))
        << log.toStdString();
    EXPECT_TRUE(tooltips.contains(port + QStringLiteral(": permission denied — add your user to "
                                                        "the dialout group and log in again")))
        << tooltips.toStdString();
    EXPECT_TRUE(tooltips.contains(QString::fromStdString(unit.SlavePath()) +
                                  QStringLiteral(": the dongle")))
        << tooltips.toStdString();
}
