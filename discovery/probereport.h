// What discovery learns of each port, for the people who wonder why their dongle is not found:
// the outcome of each port's last probe in plain words (the Ports box's tooltips) and a log of
// every pass and probe in the category zarnell.discovery.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <chrono>
#include <exception>
#include <string>

class TReplyLineParser;
class TSerCustomComm;

Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)

class TProbeReport {
public:
    void PassStarted(const QStringList &Ports);

    // One probe: started, then the port opened (its open having taken Took), or the open failed
    // or had not returned after Opening; then what came back; concluded when the next tick
    // moves on.
    void Started(const QString &Port);
    void Opened(std::chrono::milliseconds Took);
    void Failed(std::exception_ptr Error);
    void SkippedSlowOpen(std::chrono::milliseconds Opening);
    void LineReceived(const std::string &Line);
    void Concluded();

    // The last outcome of Port ("" while it has none yet), and of every port, a line each.
    QString Outcome(const QString &Port) const;
    QString Summary(const QStringList &Ports) const;

private:
    void Record(const QString &Outcome);

    QString FPort; // the port of the probe under way, "" between probes
    QElapsedTimer FClock;
    bool FOpened = false;
    QString FSlowOpen; // how long the port took to open, when that was long
    bool FAnswered = false;
    QString FOtherLine; // the first line that was not the dongle's answer
    QString FVanished;  // the failure of a notification: the port went while it was probed
    QHash<QString, QString> FOutcomes;
};

// Reads the Count bytes that have come on a probed port, line by line, into Report; true when
// one of the lines was the dongle's answer to the probe.
bool ReadProbeReplies(TSerCustomComm &Comm, int Count, TReplyLineParser &Reply,
                      TProbeReport &Report);
