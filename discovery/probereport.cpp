#include "probereport.h"

#include "exceptiontext.h"
#include "frames.h"
#include "latin1.h"
#include "replyparser.h"
#include "sercomm.h"
#include "serexception.h"
#include "seropentimes.h"

Q_LOGGING_CATEGORY(lcDiscovery, "zarnell.discovery", QtWarningMsg)

namespace {

QString MessageOf(std::exception_ptr Error)
{
    return QString::fromStdString(ExceptionText(Error));
}

// A time as a person reads it: "1.5 s".
QString Seconds(std::chrono::milliseconds Time)
{
    return QStringLiteral("%1 s").arg(static_cast<double>(Time.count()) / 1000.0, 0, 'f', 1);
}

TSerOpenProblem ProblemOf(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const ESerCommError &e) {
        return SerOpenProblemOf(e.Step(), e.SystemCode());
    } catch (...) {
    }
    return TSerOpenProblem::opOther;
}

// An open that failed, in the words of what to do about it; "" when there are none.
QString ProblemText(TSerOpenProblem Problem)
{
    switch (Problem) {
    case TSerOpenProblem::opMissing:
        return QStringLiteral("not present (unplugged?)");
    case TSerOpenProblem::opNoPermission:
        return QStringLiteral("permission denied — add your user to the dialout group and log in "
                              "again");
    case TSerOpenProblem::opInUse:
        return QStringLiteral("in use by another program");
    case TSerOpenProblem::opRateRefused:
        return QStringLiteral("the adapter's driver refuses %1 bit/s").arg(DongleBitRate);
    case TSerOpenProblem::opTimedOut:
        return QStringLiteral("timed out while opening");
    case TSerOpenProblem::opOther:
        break;
    }
    return {};
}

} // namespace

void TProbeReport::PassStarted(const QStringList &Ports)
{
    qCInfo(lcDiscovery).noquote() << "ports:"
                                  << (Ports.isEmpty() ? QStringLiteral("none")
                                                      : Ports.join(QStringLiteral(", ")));
}

void TProbeReport::Started(const QString &Port)
{
    FPort = Port;
    FClock.start();
    FOpened = false;
    FSlowOpen.clear();
    FAnswered = false;
    FOtherLine.clear();
    FVanished.clear();
}

void TProbeReport::Opened(std::chrono::milliseconds Took)
{
    FOpened = true;
    if (Took >= SerShortOpenBound)
        FSlowOpen = QStringLiteral(" (slow to open: %1)").arg(Seconds(Took));
}

void TProbeReport::Failed(std::exception_ptr Error)
{
    if (FPort.isEmpty())
        return;
    if (FOpened) {
        FVanished = MessageOf(Error);
        return;
    }
    // The log keeps the system's message, for the people who look further.
    const QString message = MessageOf(Error);
    const QString problem = ProblemText(ProblemOf(Error));
    if (problem.isEmpty()) {
        qCInfo(lcDiscovery).noquote() << FPort + QStringLiteral(":") << message;
        Record(QStringLiteral("%1: cannot be opened (%2)").arg(FPort, message));
    } else {
        qCInfo(lcDiscovery).noquote() << FPort + QStringLiteral(":") << message << "—" << problem;
        Record(QStringLiteral("%1: %2").arg(FPort, problem));
    }
    FPort.clear();
}

void TProbeReport::SkippedSlowOpen(std::chrono::milliseconds Opening)
{
    if (FPort.isEmpty())
        return;
    qCInfo(lcDiscovery).noquote()
        << QStringLiteral("%1: still opening after %2 ms, skipped").arg(FPort).arg(Opening.count());
    Record(QStringLiteral("%1: slow to open, skipped: its open has not returned after %2")
               .arg(FPort, Seconds(Opening)));
    FPort.clear();
}

void TProbeReport::LineReceived(const std::string &Line)
{
    if (FPort.isEmpty() || !FOpened)
        return;
    const QString text = QString::fromStdString(Latin1ToUtf8(Line));
    qCInfo(lcDiscovery).noquote()
        << QStringLiteral("%1: answered \"%2\" after %3 ms").arg(FPort, text).arg(FClock.elapsed());
    if (Line == ProbeAnswer)
        FAnswered = true;
    else if (FOtherLine.isEmpty())
        FOtherLine = text;
}

void TProbeReport::Concluded()
{
    if (FPort.isEmpty())
        return;
    const qint64 elapsed = FClock.elapsed();
    if (FAnswered) {
        qCInfo(lcDiscovery).noquote() << FPort + QStringLiteral(": the dongle");
        Record(QStringLiteral("%1: the dongle").arg(FPort));
    } else if (!FVanished.isEmpty()) {
        qCInfo(lcDiscovery).noquote()
            << QStringLiteral("%1: opened and probed, then gone (%2)").arg(FPort, FVanished);
        Record(QStringLiteral("%1: disappeared while it was probed").arg(FPort));
    } else if (!FOtherLine.isEmpty()) {
        qCInfo(lcDiscovery).noquote()
            << QStringLiteral("%1: opened and probed, no IWRX in %2 ms").arg(FPort).arg(elapsed);
        Record(QStringLiteral("%1: something answered, but not the dongle").arg(FPort));
    } else {
        qCInfo(lcDiscovery).noquote()
            << QStringLiteral("%1: opened and probed, no answer in %2 ms").arg(FPort).arg(elapsed);
        Record(QStringLiteral("%1: no answer to the probe").arg(FPort));
    }
    FPort.clear();
}

QString TProbeReport::Outcome(const QString &Port) const
{
    return FOutcomes.value(Port);
}

QString TProbeReport::Summary(const QStringList &Ports) const
{
    QStringList lines;
    for (const QString &port : Ports) {
        if (const QString outcome = Outcome(port); !outcome.isEmpty())
            lines << outcome;
    }
    return lines.join(QLatin1Char('\n'));
}

void TProbeReport::Record(const QString &Outcome)
{
    FOutcomes.insert(FPort, Outcome + FSlowOpen);
}

bool ReadProbeReplies(TSerCustomComm &Comm, int Count, TReplyLineParser &Reply,
                      TProbeReport &Report)
{
    bool answered = false;
    for (int i = 0; i < Count; ++i) {
        std::uint8_t byte = 0;
        if (!Comm.ReadChar(byte))
            break;
        if (std::optional<std::string> line = Reply.Feed(byte)) {
            Report.LineReceived(*line);
            answered = answered || *line == ProbeAnswer;
        }
    }
    return answered;
}
