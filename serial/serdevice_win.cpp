// The serial device on Windows: overlapped transfers with bounded waits, and an event waiter
// that a stop request always reaches. No request record is released while the system may still
// write into it: a request that the driver does not give back is kept by a thread that waits for
// its end. Windows holds a thread that ends until its requests are over, for minutes when a
// driver ignores the cancel, so the event thread ends its own wait before it returns for good,
// and keeps it otherwise.
#include "sercancel_win.h"
#include "serdevice.h"
#include "serexception.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// How long a cancelled transfer may take to report that the system is done with it.
constexpr DWORD FinishGraceMs = 1000;
// How long the event thread gives its wait to end once the event mask is empty, and then once
// it is cancelled: together well inside the time that closing waits for the thread.
constexpr DWORD MaskGraceMs = 50;
constexpr DWORD CancelGraceMs = 100;
// How often the event thread asks whether the device is still there while its wait is pending:
// a driver may leave the wait of a removed device pending for good.
constexpr DWORD PresenceCheckMs = 1000;
// A live driver fails a status query now and then (around USB suspend and resume): only this
// many failed looks in a row, or one with a removal code, mean that the device has gone.
constexpr int MissedLooksForLoss = 2;
// The pause before waiting again after a wait that brought nothing new. Wine completes a wait
// for EV_RXCHAR at once for as long as the input queue holds anything, and ends every wait
// empty-handed on a device whose modem lines it cannot read; without the pause either would
// keep the event thread spinning. Under Wine the paused state costs about 1 % of a core, less
// than Wine's own polling behind a pending wait.
constexpr DWORD RecheckMs = 20;

// For calls whose failure the next step covers anyway (a cancellation that finds the transfer
// over already, one of two wake-up signals): the failure is dropped, and its error code with
// it, so that no later message quotes a code that belongs to this call.
void BestEffort(BOOL Succeeded)
{
    if (!Succeeded)
        SetLastError(ERROR_SUCCESS);
}

// Owns one kernel handle.
class TWinHandle {
public:
    explicit TWinHandle(HANDLE Handle = nullptr)
        : FHandle(Handle)
    {
    }
    TWinHandle(TWinHandle &&Other) noexcept
        : FHandle(std::exchange(Other.FHandle, nullptr))
    {
    }
    ~TWinHandle() { Reset(); }
    TWinHandle(const TWinHandle &) = delete;
    TWinHandle &operator=(const TWinHandle &) = delete;

    HANDLE Get() const { return FHandle; }
    void Reset()
    {
        if (FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
        FHandle = nullptr;
    }

private:
    HANDLE FHandle;
};

HANDLE CreateManualResetEvent()
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        RaiseCommError("Error creating event (%d), %s");
    return event;
}

HANDLE CreateAutoResetEvent()
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
        RaiseCommError("Error creating event (%d), %s");
    return event;
}

// The COMSTAT hold and status flags as one word, in their declared order.
std::uint32_t StatusBits(const COMSTAT &Stat)
{
    return (Stat.fCtsHold ? 0x01u : 0u) | (Stat.fDsrHold ? 0x02u : 0u) |
           (Stat.fRlsdHold ? 0x04u : 0u) | (Stat.fXoffHold ? 0x08u : 0u) |
           (Stat.fXoffSent ? 0x10u : 0u) | (Stat.fEof ? 0x20u : 0u) | (Stat.fTxim ? 0x40u : 0u);
}

// One overlapped event wait. The system writes into the record until the wait has ended, so
// the record lives on the heap and is kept rather than freed if the end cannot be confirmed.
struct TWaitRequest {
    OVERLAPPED Overlapped{};
    DWORD Events = 0;
    TWinHandle Done{CreateManualResetEvent()};
};

// One overlapped read or write, with its own buffer, kept alike: the driver fills or reads the
// buffer until the transfer has ended.
struct TTransferRequest {
    OVERLAPPED Overlapped{};
    TWinHandle Done{CreateManualResetEvent()};
    std::vector<std::uint8_t> Data;
    bool InFlight = false; // started, and its end not confirmed yet

    // Ready for the next transfer of Count bytes.
    OVERLAPPED *Start(std::size_t Count)
    {
        Overlapped = OVERLAPPED{};
        Overlapped.hEvent = Done.Get();
        Data.resize(Count);
        InFlight = true;
        return &Overlapped;
    }
};

// A request that the system has not given back, as a call that returns once the system is done
// with it. The call owns the request's record, which the system may still write into, and, when
// given the device, a duplicate of its handle, so that the handle the request was made on stays
// open for as long as the request.
template <typename Request>
std::function<void()> KeepUntilDone(std::shared_ptr<Request> Record, HANDLE Device)
{
    HANDLE duplicate = nullptr;
    if (Device != nullptr && !DuplicateHandle(GetCurrentProcess(), Device, GetCurrentProcess(),
                                              &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        duplicate = nullptr; // the record is kept all the same
    const auto handle = std::make_shared<TWinHandle>(duplicate);
    return [Record, handle] {
        while (WaitForSingleObject(Record->Done.Get(), INFINITE) != WAIT_OBJECT_0)
            Sleep(FinishGraceMs);
    };
}

// Runs Keep on a thread of its own that nobody waits for; without a thread, what Keep owns is
// deliberately kept for good.
void KeepOnThread(std::function<void()> Keep)
{
    try {
        std::thread(Keep).detach();
    } catch (const std::system_error &) {
        std::make_unique<std::function<void()>>(std::move(Keep)).release();
    }
}

// A transfer on a handle whose device was removed fails with a removal code, or with
// ERROR_ACCESS_DENIED (usbser and the common adapters' drivers do once unplugged).
bool TransferRemovalCode(DWORD Code)
{
    return Code == ERROR_ACCESS_DENIED || SerDeviceGoneCode(static_cast<int>(Code));
}

class TSerDeviceWin final : public TSerDevice {
public:
    explicit TSerDeviceWin(TWinHandle &&Handle)
        : FHandle(std::move(Handle))
    {
    }
    ~TSerDeviceWin() override;

    void WriteSettings(const TSerLineSettings &Settings) override;
    void SetupBuffers(std::int32_t ReadSize, std::int32_t WriteSize) override;
    void SetTimeouts() override;
    void SetEventMask(std::uint32_t Mask) override;
    int Read(std::uint8_t *Buffer, int Count, int TimeoutMs) override;
    int Write(const std::uint8_t *Buffer, int Count, int TimeoutMs) override;
    void Purge(std::uint32_t Flags) override;
    TSerStatistics Statistics() override;
    bool Vanished() override;
    std::uint32_t WaitEvents() override;
    void Wake() override;
    std::function<void()> LeaveUnfinishedWait() override;

private:
    TSerStatistics ReadStatus(const char *Pattern);
    void CheckStillThere(const char *Pattern);
    TTransferRequest &Ready(const std::unique_ptr<TTransferRequest> &Request, const char *Pattern);
    [[noreturn]] void RaiseTransferError(const char *Pattern, DWORD Code);
    bool TransferLost(DWORD Code);
    int FinishTransfer(std::unique_ptr<TTransferRequest> &Request, int TimeoutMs,
                       const char *Pattern);
    [[noreturn]] void GiveUpTransfer(std::unique_ptr<TTransferRequest> &Request,
                                     const char *Pattern);
    bool Look(COMSTAT &Stat);
    bool PresenceLost();
    std::uint32_t AwaitDeviceEvents();
    std::uint32_t NewsOnly(std::uint32_t Events);
    void PauseBeforeNextWait();
    void EndOwnWait();
    void ForgetUnannounced(DWORD Consumed);

    TWinHandle FHandle;
    std::unique_ptr<TTransferRequest> FRead = std::make_unique<TTransferRequest>();
    std::unique_ptr<TTransferRequest> FWrite = std::make_unique<TTransferRequest>();
    TWinHandle FStopEvent{CreateManualResetEvent()};
    TWinHandle FConsumed{CreateAutoResetEvent()};
    std::unique_ptr<TWaitRequest> FWait = std::make_unique<TWaitRequest>();
    // The event thread's alone, like the record above, until it has ended.
    bool FWaitPending = false;
    bool FWaitUnending = false; // neither the empty mask nor the cancel has ended it
    bool FWaitRefused = false;  // the device refused or failed a wait: the event thread idles
    int FMissedLooks = 0;       // failed status queries of the event thread in a row
    bool FLookAgain = false;    // the last look at the queue failed
    std::atomic<bool> FDeviceGone{false};
    bool FLossAnnounced = false; // the event thread has announced that the device has gone
    std::uint32_t FMask = 0;     // set before the event thread starts
    bool FUnreadQueued = false;  // the last wait completed for bytes that were announced already
    std::atomic<bool> FStopRequested{false};

    // Line errors that the event thread read while it looked at the queue; the next Statistics
    // reports them, since reading them clears them in the device.
    std::mutex FStatusLock;
    std::uint32_t FPendingErrors = 0;
    // Bytes in the input queue that were already announced and not read since.
    std::uint32_t FAnnounced = 0;
};

TSerDeviceWin::~TSerDeviceWin()
{
    // Nothing that waits to be sent may hold up closing.
    BestEffort(PurgeComm(FHandle.Get(), PURGE_TXABORT | PURGE_TXCLEAR));
    // What the system has not given back is kept, never freed: a transfer whose replacement
    // could not be made, a wait that its caller did not take with it.
    for (std::unique_ptr<TTransferRequest> *transfer : {&FRead, &FWrite}) {
        if ((*transfer)->InFlight)
            KeepOnThread(
                KeepUntilDone(std::shared_ptr<TTransferRequest>(std::move(*transfer)), nullptr));
    }
    if (FWaitPending)
        KeepOnThread(LeaveUnfinishedWait());
}

void TSerDeviceWin::WriteSettings(const TSerLineSettings &Settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // Only the reserved words are taken over from the device; every other member is set below,
    // so a device that cannot report its state still receives a complete record, and a device
    // that has gone refuses SetCommState as well.
    BestEffort(GetCommState(FHandle.Get(), &dcb));

    dcb.BaudRate = static_cast<DWORD>(Settings.Baudrate);
    dcb.fBinary = 1;
    dcb.fParity = Settings.ParityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = Settings.OutCtsFlow ? 1 : 0;
    dcb.fOutxDsrFlow = Settings.OutDsrFlow ? 1 : 0;
    dcb.fDtrControl = static_cast<DWORD>(Settings.ControlDtr); // DTR_CONTROL_* in the same order
    dcb.fDsrSensitivity = Settings.DsrSensitivity ? 1 : 0;
    dcb.fTXContinueOnXoff = Settings.TxContinueOnXoff ? 1 : 0;
    dcb.fOutX = Settings.XonXoffOut ? 1 : 0;
    dcb.fInX = Settings.XonXoffIn ? 1 : 0;
    dcb.fErrorChar = Settings.ErrorChar ? 1 : 0;
    dcb.fNull = Settings.NullStrip ? 1 : 0;
    dcb.fRtsControl = static_cast<DWORD>(Settings.ControlRts); // RTS_CONTROL_* in the same order
    dcb.fAbortOnError = 0;
    dcb.fDummy2 = 0;
    dcb.XonLim = Settings.XonLimit;
    dcb.XoffLim = Settings.XoffLimit;
    dcb.ByteSize = static_cast<BYTE>(Settings.DataBits);
    dcb.Parity = static_cast<BYTE>(Settings.Parity);
    dcb.StopBits = static_cast<BYTE>(Settings.Stopbits);
    dcb.XonChar = static_cast<char>(Settings.XonChar);
    dcb.XoffChar = static_cast<char>(Settings.XoffChar);
    dcb.ErrorChar = static_cast<char>(Settings.ErrorCharValue);
    dcb.EofChar = static_cast<char>(Settings.EofChar);
    dcb.EvtChar = static_cast<char>(Settings.EventChar);

    CheckCommResult(SerSetLineSettings(FHandle.Get(), &dcb), SWriteDcbError);
}

void TSerDeviceWin::SetupBuffers(std::int32_t ReadSize, std::int32_t WriteSize)
{
    CheckCommResult(
        SetupComm(FHandle.Get(), static_cast<DWORD>(ReadSize), static_cast<DWORD>(WriteSize)),
        SBuffersError);
}

void TSerDeviceWin::SetTimeouts()
{
    // A read returns at once with what has arrived; writes have no driver time-out.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    CheckCommResult(SetCommTimeouts(FHandle.Get(), &timeouts), STimeoutsError);
}

void TSerDeviceWin::SetEventMask(std::uint32_t Mask)
{
    CheckCommResult(SetCommMask(FHandle.Get(), Mask), SEventMaskError);
    FMask = Mask;
}

TSerStatistics TSerDeviceWin::ReadStatus(const char *Pattern)
{
    DWORD errors = 0;
    COMSTAT stat{};
    CheckCommResult(ClearCommError(FHandle.Get(), &errors, &stat), Pattern);
    return {errors, StatusBits(stat), stat.cbInQue, stat.cbOutQue};
}

// Asked after an operation failed: an open handle whose device has gone fails every request, so a
// status query that fails as well is the test. A live driver's generic failure (a refused
// setting, ERROR_GEN_FAILURE around USB suspend and resume) leaves the query answering.
bool TSerDeviceWin::Vanished()
{
    if (!FDeviceGone) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (ClearCommError(FHandle.Get(), &errors, &stat)) {
            std::lock_guard lock(FStatusLock);
            FPendingErrors |= errors;
        } else {
            FDeviceGone = true;
        }
    }
    return FDeviceGone;
}

// The event thread's look at the queue and the line; false when the query failed. Line errors
// that it finds are kept for the next Statistics. A removal code means that the device has gone
// at once, any other failure only when the looks before it failed too.
bool TSerDeviceWin::Look(COMSTAT &Stat)
{
    DWORD errors = 0;
    if (ClearCommError(FHandle.Get(), &errors, &Stat)) {
        FMissedLooks = 0;
        std::lock_guard lock(FStatusLock);
        FPendingErrors |= errors;
        return true;
    }
    if (SerDeviceGoneCode(static_cast<int>(GetLastError())) || ++FMissedLooks >= MissedLooksForLoss)
        FDeviceGone = true;
    return false;
}

bool TSerDeviceWin::PresenceLost()
{
    COMSTAT stat{};
    if (!FDeviceGone)
        Look(stat);
    return FDeviceGone;
}

TSerStatistics TSerDeviceWin::Statistics()
{
    TSerStatistics result = ReadStatus(SStatisticsError);
    std::lock_guard lock(FStatusLock);
    result.Errors |= std::exchange(FPendingErrors, 0);
    return result;
}

void TSerDeviceWin::ForgetUnannounced(DWORD Consumed)
{
    {
        std::lock_guard lock(FStatusLock);
        FAnnounced -= std::min<std::uint32_t>(FAnnounced, Consumed);
    }
    BestEffort(SetEvent(FConsumed.Get())); // without it the waiter looks again after its pause
}

// Raises with Pattern when the device has gone; line errors that the query finds are kept for
// the next Statistics.
void TSerDeviceWin::CheckStillThere(const char *Pattern)
{
    const TSerStatistics status = ReadStatus(Pattern);
    std::lock_guard lock(FStatusLock);
    FPendingErrors |= status.Errors;
}

// The record for the next transfer. While the driver still holds the last one (its replacement
// could not be made) nothing more goes to the device, which counts as gone.
TTransferRequest &TSerDeviceWin::Ready(const std::unique_ptr<TTransferRequest> &Request,
                                       const char *Pattern)
{
    if (Request->InFlight) {
        FDeviceGone = true;
        RaiseCommError(Pattern, WAIT_TIMEOUT);
    }
    return *Request;
}

void TSerDeviceWin::RaiseTransferError(const char *Pattern, DWORD Code)
{
    if (TransferRemovalCode(Code))
        FDeviceGone = true;
    RaiseCommError(Pattern, static_cast<int>(Code));
}

// A failed transfer: has its device gone? A removal code says so at once, any other code only
// when a status query fails as well.
bool TSerDeviceWin::TransferLost(DWORD Code)
{
    if (TransferRemovalCode(Code))
        FDeviceGone = true;
    return Vanished();
}

// The count is what the transfer moved, also when it ended just before its cancel or was cut
// short by it; 0 when it moved nothing in time. A transfer that fails, or stays pending, because
// the device has gone raises with Pattern, so that the loss is reported.
int TSerDeviceWin::FinishTransfer(std::unique_ptr<TTransferRequest> &Request, int TimeoutMs,
                                  const char *Pattern)
{
    OVERLAPPED &overlapped = Request->Overlapped;
    const bool inTime =
        WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(std::max(TimeoutMs, 0))) ==
        WAIT_OBJECT_0;
    if (!inTime) {
        // Timed out, or the wait failed: the transfer is cancelled (it may have ended
        // meanwhile) and must be over before its record is used again.
        BestEffort(SerCancelRequest(FHandle.Get(), &overlapped));
        if (WaitForSingleObject(overlapped.hEvent, FinishGraceMs) != WAIT_OBJECT_0)
            GiveUpTransfer(Request, Pattern);
    }
    Request->InFlight = false;
    DWORD moved = 0;
    if (!GetOverlappedResult(FHandle.Get(), &overlapped, &moved, FALSE)) {
        const DWORD code = GetLastError();
        if (code != ERROR_OPERATION_ABORTED && TransferLost(code))
            RaiseCommError(Pattern, static_cast<int>(code));
    }
    if (!inTime && moved == 0)
        CheckStillThere(Pattern);
    return static_cast<int>(moved);
}

// The driver neither ends the transfer nor confirms its cancel, as some drivers do once their
// adapter has been pulled out: the device counts as gone, and the record goes to a thread that
// keeps it until the driver lets go of it. Its replacement is made first, so that a failure to
// make one leaves the held record in place, where Ready refuses it.
void TSerDeviceWin::GiveUpTransfer(std::unique_ptr<TTransferRequest> &Request, const char *Pattern)
{
    FDeviceGone = true;
    auto replacement = std::make_unique<TTransferRequest>();
    KeepOnThread(KeepUntilDone(
        std::shared_ptr<TTransferRequest>(std::exchange(Request, std::move(replacement))),
        nullptr));
    RaiseCommError(Pattern, WAIT_TIMEOUT);
}

int TSerDeviceWin::Read(std::uint8_t *Buffer, int Count, int TimeoutMs)
{
    if (Count <= 0)
        return 0;
    // Some drivers leave a read of an empty queue pending despite the immediate-return
    // time-outs, so only what is already queued is asked for.
    const TSerStatistics status = ReadStatus(SReadError);
    {
        std::lock_guard lock(FStatusLock);
        FPendingErrors |= status.Errors;
    }
    const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(Count), status.InQue);
    if (wanted == 0)
        return 0;

    TTransferRequest &read = Ready(FRead, SReadError);
    OVERLAPPED *overlapped = read.Start(wanted);
    if (!ReadFile(FHandle.Get(), read.Data.data(), wanted, nullptr, overlapped)) {
        const DWORD code = GetLastError();
        if (code != ERROR_IO_PENDING) {
            read.InFlight = false;
            RaiseTransferError(SReadError, code);
        }
    }
    const int result = FinishTransfer(FRead, TimeoutMs, SReadError);
    std::copy_n(FRead->Data.data(), result, Buffer);
    ForgetUnannounced(static_cast<DWORD>(result));
    return result;
}

int TSerDeviceWin::Write(const std::uint8_t *Buffer, int Count, int TimeoutMs)
{
    if (Count <= 0)
        return 0;
    TTransferRequest &write = Ready(FWrite, SWriteError);
    OVERLAPPED *overlapped = write.Start(static_cast<std::size_t>(Count));
    std::copy_n(Buffer, Count, write.Data.data());
    if (!WriteFile(FHandle.Get(), write.Data.data(), static_cast<DWORD>(Count), nullptr,
                   overlapped)) {
        const DWORD code = GetLastError();
        if (code != ERROR_IO_PENDING) {
            write.InFlight = false;
            RaiseTransferError(SWriteError, code);
        }
    }
    return FinishTransfer(FWrite, TimeoutMs, SWriteError);
}

void TSerDeviceWin::Purge(std::uint32_t Flags)
{
    CheckCommResult(PurgeComm(FHandle.Get(), Flags), SPurgeError);
    if (Flags & SerPurge::RxClear)
        ForgetUnannounced(MAXDWORD);
}

// Starts a wait for the device's events, or goes on with the one still pending, and returns
// the flags of the completed wait; 0 when a stop came first or the wait ended without events.
std::uint32_t TSerDeviceWin::AwaitDeviceEvents()
{
    TWaitRequest &wait = *FWait;
    if (!FWaitPending) {
        if (!ResetEvent(wait.Done.Get())) {
            FWaitRefused = true;
            return 0;
        }
        wait.Overlapped = OVERLAPPED{};
        wait.Overlapped.hEvent = wait.Done.Get();
        wait.Events = 0;
        if (SerStartEventWait(FHandle.Get(), &wait.Events, &wait.Overlapped))
            return wait.Events;
        if (GetLastError() != ERROR_IO_PENDING) {
            // Refused (the device has gone away, or has nothing to wait for): stay idle until
            // the port is closed, rather than retrying without end.
            FWaitRefused = true;
            return 0;
        }
        FWaitPending = true;
    }

    const HANDLE signals[] = {FStopEvent.Get(), wait.Done.Get()};
    DWORD woken = WAIT_TIMEOUT;
    while ((woken = WaitForMultipleObjects(2, signals, FALSE, PresenceCheckMs)) == WAIT_TIMEOUT) {
        if (PresenceLost()) {
            FWaitRefused = true;
            return 0;
        }
    }
    if (woken == WAIT_OBJECT_0)
        return 0;
    if (woken != WAIT_OBJECT_0 + 1) {
        FWaitRefused = true;
        return 0;
    }
    FWaitPending = false;
    DWORD unused = 0;
    if (GetOverlappedResult(FHandle.Get(), &wait.Overlapped, &unused, FALSE))
        return wait.Events; // 0 when the event mask was changed under the wait
    if (GetLastError() != ERROR_OPERATION_ABORTED)
        FWaitRefused = true;
    return 0;
}

// EV_RXCHAR is passed on only when the input queue holds more than was already announced, so a
// wait that completes again for bytes the component knows about announces nothing.
std::uint32_t TSerDeviceWin::NewsOnly(std::uint32_t Events)
{
    FUnreadQueued = false;
    if (!(Events & SerEv::RxChar))
        return Events;
    COMSTAT stat{};
    FLookAgain = !Look(stat) && !FDeviceGone;
    if (FLookAgain || FDeviceGone) {
        FWaitRefused = FDeviceGone;
        return 0;
    }
    std::lock_guard lock(FStatusLock);
    if (stat.cbInQue > FAnnounced) {
        FAnnounced = stat.cbInQue;
        return Events;
    }
    FAnnounced = stat.cbInQue;
    FUnreadQueued = stat.cbInQue > 0;
    return Events & ~SerEv::RxChar;
}

// Waits until the component reads or purges, a stop comes, or the pause is over.
void TSerDeviceWin::PauseBeforeNextWait()
{
    const HANDLE signals[] = {FStopEvent.Get(), FConsumed.Get()};
    if (WaitForMultipleObjects(2, signals, FALSE, RecheckMs) == WAIT_FAILED)
        FWaitRefused = true;
}

std::uint32_t TSerDeviceWin::WaitEvents()
{
    while (!FStopRequested) {
        if (FWaitRefused) {
            // A device that has gone is announced once, so that the component's next status
            // query reports the loss; then, as for a device that refuses to wait, the thread
            // waits for the stop event, looking now and then whether the device has gone.
            if (PresenceLost() && !std::exchange(FLossAnnounced, true) && (FMask & SerEv::RxChar))
                return SerEv::RxChar;
            if (WaitForSingleObject(FStopEvent.Get(), PresenceCheckMs) == WAIT_FAILED)
                PauseBeforeNextWait();
            continue;
        }
        // After a failed look at the queue the bytes that woke the wait are looked at again,
        // after the pause, rather than waited for again.
        const std::uint32_t events = FLookAgain ? SerEv::RxChar : AwaitDeviceEvents();
        if (FStopRequested)
            break;
        const std::uint32_t news = NewsOnly(events);
        if (news != 0)
            return news;
        // A wait that ends empty-handed may be all a vanished device shows of itself (Wine
        // ends every wait so when the tty behind a COM port hangs up).
        if (events == 0 && PresenceLost()) {
            FWaitRefused = true;
            continue;
        }
        if (events == 0 || FUnreadQueued || FLookAgain)
            PauseBeforeNextWait();
    }
    EndOwnWait();
    return 0;
}

// The event thread ends its pending wait itself before it returns for good, so that it can end
// without the system holding it. The empty event mask ends the wait on Windows and under Wine
// alike; cancelling is the second resort. A wait that ends neither way stays pending, for
// LeaveUnfinishedWait.
void TSerDeviceWin::EndOwnWait()
{
    if (!FWaitPending || FWaitUnending)
        return;
    TWaitRequest &wait = *FWait;
    BestEffort(SerEndEventWait(FHandle.Get())); // the cancellation below still ends it
    if (WaitForSingleObject(wait.Done.Get(), MaskGraceMs) != WAIT_OBJECT_0) {
        BestEffort(SerCancelRequest(FHandle.Get(), &wait.Overlapped));
        FWaitUnending = WaitForSingleObject(wait.Done.Get(), CancelGraceMs) != WAIT_OBJECT_0;
        if (FWaitUnending)
            return;
    }
    // The wait is over, ended by us: its result says nothing more.
    DWORD unused = 0;
    BestEffort(GetOverlappedResult(FHandle.Get(), &wait.Overlapped, &unused, FALSE));
    FWaitPending = false;
}

std::function<void()> TSerDeviceWin::LeaveUnfinishedWait()
{
    EndOwnWait();
    if (!FWaitPending)
        return {};
    FWaitPending = false;
    return KeepUntilDone(std::shared_ptr<TWaitRequest>(std::move(FWait)), FHandle.Get());
}

void TSerDeviceWin::Wake()
{
    FStopRequested = true;
    // Either signal alone reaches the waiter: the stop event ends its wait, the empty mask ends
    // the device's wait (and makes a wait that starts just now return at once).
    BestEffort(SetEvent(FStopEvent.Get()));
    BestEffort(SerEndEventWait(FHandle.Get()));
}

} // namespace

std::unique_ptr<TSerDevice> TSerDevice::Open(const std::string &Path,
                                             const std::function<bool()> &GivenUp)
{
    TWinHandle handle(CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE) {
        const int code = static_cast<int>(GetLastError());
        RaiseOpenError(Path, code, code == ERROR_FILE_NOT_FOUND);
    }
    // Nobody else can hold the port while this handle is open: closing it leaves nothing changed.
    if (GivenUp && GivenUp())
        return nullptr;
    return std::make_unique<TSerDeviceWin>(std::move(handle));
}
