#include "dongleprobe.h"

#include "console.h"
#include "frames.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "serports.h"

#include <QStringList>

#include <algorithm>

namespace {

QString Q(const std::string &Text)
{
    return QString::fromStdString(Text);
}

// With no port listed, the list is looked at again after this long.
constexpr std::chrono::milliseconds EmptyListPause{200};

} // namespace

TDongleProbe::TDongleProbe(TSerCustomComm &Comm)
    : FComm(Comm)
{
    FComm.OnRxChar = TSerCommRxCharEvent(this, &TDongleProbe::ComPortRxChar);
    FComm.OnNotifyException = TSerCommExceptionEvent(this, &TDongleProbe::ComPortNotifyException);
}

TDongleProbe::~TDongleProbe()
{
    FComm.OnRxChar = {};
    FComm.OnNotifyException = {};
}

void TDongleProbe::CloseQuietly()
{
    try {
        FComm.CloseInBackground();
    } catch (...) {
    }
}

// Every failure only means that this port is not the dongle's; the report says why.
bool TDongleProbe::Probe(const std::string &Port)
{
    CloseQuietly();
    // An answer counts only for the port probed here: whatever the previous port still
    // delivered while it closed is forgotten.
    FFound = false;
    FReply.Reset();
    FOpenDone = false;
    FOpenError = nullptr;
    FReport.Started(Q(Port));
    try {
        FComm.SetDeviceName(SerPortDeviceName(Port));
        FComm.BeginOpen(TSerOpenedEvent(this, &TDongleProbe::ComPortOpened));
    } catch (...) {
        FReport.Failed(std::current_exception());
        return false;
    }
    if (!ServeUntil([this] { return FOpenDone; }, TCliClock::now() + OpenBound)) {
        // Left to finish on its own: the device is closed again, with nothing written to it.
        FComm.AbandonOpen();
        FReport.SkippedSlowOpen();
        return false;
    }
    if (FOpenError) {
        FReport.Failed(FOpenError);
        return false;
    }
    FReport.Opened();
    try {
        FComm.PurgeReadWrite();
        FComm.WriteChar(ProbeByte);
        ServeUntil([this] { return FFound || FComm.DeviceLost(); }, TCliClock::now() + AnswerDue);
    } catch (...) {
        FReport.Failed(std::current_exception());
    }
    FReport.Concluded();
    // An answer from a port that went away afterwards finds nothing to program.
    if (FFound && !FComm.DeviceLost())
        return true;
    CloseQuietly();
    return false;
}

std::string TDongleProbe::Search(TCliClock::time_point Deadline)
{
    while (!Interrupted() && TCliClock::now() < Deadline) {
        FPassPorts = SerPortNames();
        QStringList names;
        for (const std::string &port : FPassPorts)
            names << Q(port);
        FReport.PassStarted(names);
        for (const std::string &port : FPassPorts) {
            if (Probe(port))
                return port;
            if (Interrupted() || TCliClock::now() >= Deadline)
                return {};
        }
        if (FPassPorts.empty())
            ServeUntil([] { return false; }, std::min(Deadline, TCliClock::now() + EmptyListPause));
    }
    return {};
}

std::string TDongleProbe::Outcome(const std::string &Port) const
{
    return FReport.Outcome(Q(Port)).toStdString();
}

void TDongleProbe::ComPortOpened(TSerCustomComm *, std::exception_ptr Error)
{
    FOpenDone = true;
    FOpenError = Error;
}

void TDongleProbe::ComPortRxChar(TSerCustomComm *, int Count)
{
    for (int i = 0; i < Count; ++i) {
        std::uint8_t byte = 0;
        if (!FComm.ReadChar(byte))
            return;
        if (std::optional<std::string> line = FReply.Feed(byte)) {
            FReport.LineReceived(*line);
            if (*line == ProbeAnswer)
                FFound = true;
        }
    }
}

// A probed port that vanished, say: one more reason why it is not the dongle's.
void TDongleProbe::ComPortNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    FReport.Failed(Error);
}
