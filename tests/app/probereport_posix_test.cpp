// The Ports box's tooltip for a port that the user may not open: a POSIX matter of file modes
// and users.
#include "ptypair.h"
#include "unitsimpty.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
