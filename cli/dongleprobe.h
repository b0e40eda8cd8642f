// Finds the dongle as the setup window does: every listed port in turn, opened with the
// dongle's line, one probe "N" each, and only the exact answer "IWRX" on the port just probed
// counts. Unlike the window it waits for no tick: the next port is probed as soon as the answer
// is overdue.
#pragma once

#include "probereport.h"
#include "replyparser.h"
#include "serveloop.h"

#include <chrono>
#include <exception>
#include <string>
#include <vector>

class TSerCustomComm;

class TDongleProbe {
public:
    // As long as the window's tick gives an answer; an open has the window's bound of the port
    // (seropentimes.h).
    static constexpr std::chrono::milliseconds AnswerDue{200};

    // Comm is closed and set up for the dongle's line; the probe binds its receiver and its
    // failure handler until it is destroyed.
    explicit TDongleProbe(TSerCustomComm &Comm);
    ~TDongleProbe();
    TDongleProbe(const TDongleProbe &) = delete;
    TDongleProbe &operator=(const TDongleProbe &) = delete;

    // Probes Port once. True when the dongle answered: the port is left open. Otherwise it is
    // closed, on a thread of its own.
    bool Probe(const std::string &Port);

    // Passes over the port list, built afresh for each pass, until the dongle answers, Deadline
    // has passed or the command is interrupted. The dongle's port, or "" when none answered.
    std::string Search(TCliClock::time_point Deadline);

    // The outcome of Port's last probe in the words of the window's Ports box, "" before any;
    // and the ports that the last pass probed.
    std::string Outcome(const std::string &Port) const;
    const std::vector<std::string> &PassPorts() const { return FPassPorts; }

private:
    void ComPortRxChar(TSerCustomComm *Sender, int Count);
    void ComPortNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    void ComPortOpened(TSerCustomComm *Sender, std::exception_ptr Error);
    bool WaitForOpen(std::chrono::milliseconds Bound);
    void CloseQuietly();

    TSerCustomComm &FComm;
    TReplyLineParser FReply;
    TProbeReport FReport;
    std::vector<std::string> FPassPorts;
    bool FFound = false;
    bool FOpenDone = false;
    std::exception_ptr FOpenError;
};
