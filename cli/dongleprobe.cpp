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
    FOpenPort.clear();
    try {
        FComm.CloseInBackground();
    } catch (...) {
    }
}

// Every failure only means that this port is not the dongle's; the report says why.
bool TDongleProbe::Probe(const std::string &Port, TCliClock::time_point Deadline,
                         std::chrono::milliseconds ShortOpen)
{
    CloseQuietly();
    // An answer counts only for the port probed here: whatever the previous port still
    // delivered while it closed is forgotten.
    FFound = false;
    FReply.Reset();
    FOpenDone = false;
    FOpenError = nullptr;
    FReport.Started(Q(Port));
    std::string path;
    try {
        FComm.SetDeviceName(SerPortDeviceName(Port));
        path = FComm.GetDevicePath();
        // The driver still has the port whose last open has not returned: it is not asked again.
        if (const std::optional<TSerOpenTime> last = SerOpenTime(path); last && !last->Returned) {
            FReport.SkippedSlowOpen(last->Took);
            return false;
        }
        FComm.BeginOpen(TSerOpenedEvent(this, &TDongleProbe::ComPortOpened));
    } catch (...) {
        FReport.Failed(std::current_exception());
        return false;
    }
    if (!WaitForOpen(SerOpenBound(path, ShortOpen), Deadline))
        return false;
    if (FOpenError) {
        FReport.Failed(FOpenError);
        return false;
    }
    const std::optional<TSerOpenTime> took = SerOpenTime(path);
    FReport.Opened(took ? took->Took : std::chrono::milliseconds{0});
    try {
        FComm.PurgeReadWrite();
        FComm.WriteChar(ProbeByte);
        ServeUntil([this] { return FFound || FComm.DeviceLost(); },
                   std::min(TCliClock::now() + AnswerDue, Deadline));
    } catch (...) {
        FReport.Failed(std::current_exception());
    }
    FReport.Concluded();
    // An answer from a port that went away afterwards finds nothing to program.
    if (FFound && !FComm.DeviceLost()) {
        FOpenPort = Port;
        return true;
    }
    CloseQuietly();
    return false;
}

// The bound counts the open itself, which may begin late, after an earlier close of the same
// device; Deadline is never passed. An open still under way then is left to finish on its own:
// the device is closed again, with nothing written to it, and how long it took is the port's
// bound next time.
bool TDongleProbe::WaitForOpen(std::chrono::milliseconds Bound, TCliClock::time_point Deadline)
{
    TCliClock::time_point until = std::min(TCliClock::now() + Bound, Deadline);
    while (!ServeUntil([this] { return FOpenDone; }, until)) {
        if (Interrupted())
            break;
        const std::chrono::milliseconds opening = FComm.OpeningFor();
        if (opening.count() > 0 && opening < Bound && TCliClock::now() < Deadline) {
            until = std::min(TCliClock::now() + (Bound - opening), Deadline);
            continue;
        }
        FComm.AbandonOpen();
        FReport.SkippedSlowOpen(opening);
        return false;
    }
    if (!FOpenDone) {
        FComm.AbandonOpen();
        return false;
    }
    return true;
}

std::vector<std::string> TDongleProbe::Search(TCliClock::time_point Deadline)
{
    std::vector<std::string> dongles;
    while (dongles.empty() && !Interrupted() && TCliClock::now() < Deadline) {
        const TCliClock::time_point started = TCliClock::now();
        dongles = ProbePass(Deadline);
        if (dongles.empty())
            ServeUntil([] { return false; }, std::min(started + PassPause, Deadline));
    }
    return dongles;
}

// One pass over the list as it is now. A port that answered is closed again when the next is
// probed: the pass goes on to its end, so that every dongle on the machine answers.
std::vector<std::string> TDongleProbe::ProbePass(TCliClock::time_point Deadline)
{
    FPassPorts = SerPortNames();
    FPassComplete = false;
    QStringList names;
    for (const std::string &port : FPassPorts)
        names << Q(port);
    FReport.PassStarted(names);
    std::vector<std::string> dongles;
    for (const std::string &port : FPassPorts) {
        if (Interrupted() || TCliClock::now() >= Deadline)
            return dongles;
        if (Probe(port, Deadline))
            dongles.push_back(port);
    }
    FPassComplete = true;
    return dongles;
}

bool TDongleProbe::Hold(const std::string &Port, TCliClock::time_point Deadline)
{
    if (FOpenPort == Port && !FComm.DeviceLost())
        return true;
    return Probe(Port, Deadline);
}

std::string TDongleProbe::Outcome(const std::string &Port) const
{
    return FReport.Outcome(Q(Port)).toStdString();
}

std::string TDongleProbe::Words(const std::string &Port) const
{
    const QString prefix = Q(Port) + QStringLiteral(": ");
    const QString outcome = FReport.Outcome(Q(Port));
    return (outcome.startsWith(prefix) ? outcome.mid(prefix.size()) : outcome).toStdString();
}

void TDongleProbe::ComPortOpened(TSerCustomComm *, std::exception_ptr Error)
{
    FOpenDone = true;
    FOpenError = Error;
}

void TDongleProbe::ComPortRxChar(TSerCustomComm *, int Count)
{
    if (ReadProbeReplies(FComm, Count, FReply, FReport))
        FFound = true;
}

// A probed port that vanished, say: one more reason why it is not the dongle's.
void TDongleProbe::ComPortNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    FReport.Failed(Error);
}
