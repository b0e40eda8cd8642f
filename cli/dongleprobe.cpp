#include "dongleprobe.h"

#include "console.h"
#include "frames.h"
#include "sercomm.h"
#include "serdevicename.h"
#include "seropentimes.h"
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
    if (!WaitForOpen(SerOpenBound(path)))
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

// The bound counts the open itself, which may begin late, after an earlier close of the same
// device. An open still under way at the bound is left to finish on its own: the device is
// closed again, with nothing written to it, and how long it took is the port's bound next time.
bool TDongleProbe::WaitForOpen(std::chrono::milliseconds Bound)
{
    TCliClock::time_point deadline = TCliClock::now() + Bound;
    while (!ServeUntil([this] { return FOpenDone; }, deadline)) {
        if (Interrupted())
            break;
        const std::chrono::milliseconds opening = FComm.OpeningFor();
        if (opening.count() > 0 && opening < Bound) {
            deadline = TCliClock::now() + (Bound - opening);
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
    if (ReadProbeReplies(FComm, Count, FReply, FReport))
        FFound = true;
}

// A probed port that vanished, say: one more reason why it is not the dongle's.
void TDongleProbe::ComPortNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    FReport.Failed(Error);
}
