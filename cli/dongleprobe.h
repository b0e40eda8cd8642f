// Finds the dongle as the setup window does: every listed port in turn, opened with the
// dongle's line, one probe "N" each, and only the exact answer "IWRX" on the port just probed
// counts. Unlike the window it waits for no tick: the next port is probed as soon as the answer
// is overdue; and unlike the window it finishes the pass in which the dongle answered, so that
// a second dongle on the machine is seen.
#pragma once

#include "probereport.h"
#include "replyparser.h"
#include "seropentimes.h"
#include "serveloop.h"

#include <chrono>
#include <exception>
#include <string>
#include <vector>

class TSerCustomComm;

class TDongleProbe {
public:
    // As long as the window's tick gives an answer.
    static constexpr std::chrono::milliseconds AnswerDue{200};
    // A pass over the ports takes at least as long as one of the window's ticks, so that ports
    // that all fail at once are not asked again and again.
    static constexpr std::chrono::milliseconds PassPause{200};

    // Comm is closed and set up for the dongle's line; the probe binds its receiver and its
    // failure handler until it is destroyed.
    explicit TDongleProbe(TSerCustomComm &Comm);
    ~TDongleProbe();
    TDongleProbe(const TDongleProbe &) = delete;
    TDongleProbe &operator=(const TDongleProbe &) = delete;

    // Probes Port once, waiting for nothing past Deadline. Its open is waited for ShortOpen, or
    // longer when the port's last open took longer (seropentimes.h). True when the dongle
    // answered: the port is left open. Otherwise it is closed, on a thread of its own.
    bool Probe(const std::string &Port, TCliClock::time_point Deadline,
               std::chrono::milliseconds ShortOpen = SerShortOpenBound);

    // Passes over the port list, built afresh for each pass, until a pass finds the dongle,
    // Deadline has passed or the command is interrupted. Every port that answered in that pass,
    // in the list's order, or none; the pass may have been cut short (PassComplete).
    std::vector<std::string> Search(TCliClock::time_point Deadline);

    // Leaves Port open on the dongle: at once when it is the port that the last probe left
    // open, else by probing it again. False when it does not answer by Deadline.
    bool Hold(const std::string &Port, TCliClock::time_point Deadline);

    // The outcome of Port's last probe in the words of the window's Ports box, "" before any;
    // the ports of the last pass, and whether it probed every one of them.
    std::string Outcome(const std::string &Port) const;
    // The same without its port: "no answer to the probe".
    std::string Words(const std::string &Port) const;
    const std::vector<std::string> &PassPorts() const { return FPassPorts; }
    bool PassComplete() const { return FPassComplete; }

private:
    std::vector<std::string> ProbePass(TCliClock::time_point Deadline);
    void ComPortRxChar(TSerCustomComm *Sender, int Count);
    void ComPortNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    void ComPortOpened(TSerCustomComm *Sender, std::exception_ptr Error);
    bool WaitForOpen(std::chrono::milliseconds Bound, TCliClock::time_point Deadline);
    void CloseQuietly();

    TSerCustomComm &FComm;
    TReplyLineParser FReply;
    TProbeReport FReport;
    std::vector<std::string> FPassPorts;
    bool FPassComplete = false;
    std::string FOpenPort; // the port that the last probe left open on the dongle
    bool FFound = false;
    bool FOpenDone = false;
    std::exception_ptr FOpenError;
};
