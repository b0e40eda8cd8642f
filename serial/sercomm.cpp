#include "sercomm.h"

#include "exceptiontext.h"
#include "serapplication.h"
#include "serdevicename.h"
#include "sereventthread.h"
#include "serformat.h"

#include <array>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr std::array<std::int32_t, 16> BaudrateValues = {0,     110,    300,    600,   1200,  2400,
                                                         4800,  9600,   14400,  19200, 38400, 56000,
                                                         57600, 115200, 128000, 256000};

// The device's event flag of each TSerCommEvent, by ordinal.
constexpr std::array<std::uint32_t, 13> EventFlags = {
    SerEv::Break,    SerEv::Cts,    SerEv::Dsr,     SerEv::Err,    SerEv::Ring,
    SerEv::Rlsd,     SerEv::RxChar, SerEv::TxEmpty, SerEv::RxFlag, SerEv::PErr,
    SerEv::Rx80Full, SerEv::Event1, SerEv::Event2};

// The line settings as a person reads them, for the log.
std::string DescribeLine(const TSerLineSettings &Line)
{
    static constexpr const char *parities[] = {"no", "odd", "even", "mark", "space"};
    static constexpr const char *stopbits[] = {"1", "1.5", "2"};
    return std::to_string(Line.Baudrate) + " bit/s, " + std::to_string(Line.DataBits) +
           " data bits, " + parities[static_cast<int>(Line.Parity)] + " parity, " +
           stopbits[static_cast<int>(Line.Stopbits)] + " stop bits, flow control " +
           (Line.OutCtsFlow || Line.OutDsrFlow || Line.XonXoffOut || Line.XonXoffIn ? "on" : "off");
}

// Calls a copy of the handler pair, so that a handler may rebind or clear its own event.
template <typename Pair, typename... Args> void Raise(const Pair &Event, Args... Arguments)
{
    if (Event.Assigned()) {
        const Pair handler = Event;
        handler(Arguments...);
    }
}

} // namespace

TSerCustomComm::TSerCustomComm()
{
    FBuffers.OnChange = [this](TSerPersistent *) {
        CheckClosed();
        SetupBuffers();
        WriteDCB();
    };
    FEventChars.OnChange = [this](TSerPersistent *) { WriteDCB(); };
    FFlowControl.OnChange = [this](TSerPersistent *) { WriteDCB(); };
}

TSerCustomComm::~TSerCustomComm()
{
    FDestroying = true;
    Close();
    FRetiredThreads.clear();
}

void TSerCustomComm::Loaded()
{
    if (FAutoOpen)
        Open();
}

// Lifecycle ------------------------------------------------------------------------------------

void TSerCustomComm::Open()
{
    CheckClosed();
    JoinRetiredThreads();
    const TDeviceSetup setup = DeviceSetup();
    try {
        CreateHandle();
    } catch (...) {
        SerLog([] { return "cannot open: " + ExceptionText(std::current_exception()); });
        throw;
    }
    try {
        ApplySetup(*FDevice, setup);
        FEventMask = setup.EventMask;
        StartThreads();
    } catch (...) {
        SerLog([this] {
            return "cannot set up " + FDevicePath + ": " + ExceptionText(std::current_exception());
        });
        CloseDevice();
        throw;
    }
    LogOpened();
    DoOpen();
}

void TSerCustomComm::LogOpened() const
{
    SerLog([this] { return "opened " + FDevicePath + ": " + DescribeLine(LineSettings()); });
}

void TSerCustomComm::Close()
{
    AbandonOpen();
    // A Close that comes while the event thread is being stopped (from the event loop of an
    // error box that a notification on its way opened) leaves the work to the one under way.
    if (!Active() || FClosing)
        return;
    const auto deadline = std::chrono::steady_clock::now() + CloseBound;
    // Closed from inside its own notification, the event thread keeps the device until that
    // notification has returned, and closes it then; the next open waits for that thread.
    const bool insideNotification = FEventThread && FEventThread->Dispatching();
    std::shared_ptr<TSerDevice> device = DetachDevice();
    if (insideNotification)
        device.reset();
    else
        CloseDeviceBy(std::move(device), FDevicePath, deadline);
    SerLog([this] { return "closed " + FDevicePath; });
    DoClose();
    HoldAfterClose();
}

std::shared_ptr<TSerDevice> TSerCustomComm::DetachDevice()
{
    FClosing = true;
    {
        std::lock_guard lock(FReadLock);
        StopThreads();
    }
    std::shared_ptr<TSerDevice> device = std::move(FDevice);
    ++FCloseCount;
    FClosing = false;
    return device;
}

bool TSerCustomComm::Active() const
{
    return FDevice != nullptr;
}

std::string TSerCustomComm::GetDevicePath() const
{
    return SerDevicePath(SerFormat(FDeviceName, {std::int64_t{FPortNum}}));
}

void TSerCustomComm::CreateHandle()
{
    FDevicePath = GetDevicePath();
    FDevice = TSerDevice::Open(FDevicePath);
    FDeviceLost = false;
}

void TSerCustomComm::CloseDevice()
{
    FDevice.reset();
    ++FCloseCount;
}

TSerCustomComm::TDeviceSetup TSerCustomComm::DeviceSetup() const
{
    TDeviceSetup setup;
    setup.Path = GetDevicePath();
    setup.UpdateDCB = FUpdateDCB;
    setup.Line = LineSettings();
    setup.ReadSize = FBuffers.ReadSize();
    setup.WriteSize = FBuffers.WriteSize();
    for (std::size_t ordinal = 0; ordinal < EventFlags.size(); ++ordinal) {
        if (FMonitorEvents.Contains(static_cast<TSerCommEvent>(ordinal)))
            setup.EventMask |= EventFlags[ordinal];
    }
    return setup;
}

// Line settings, driver queues, time-outs and the event mask, in this order.
void TSerCustomComm::ApplySetup(TSerDevice &Device, const TDeviceSetup &Setup)
{
    if (Setup.UpdateDCB)
        Device.WriteSettings(Setup.Line);
    Device.SetupBuffers(Setup.ReadSize, Setup.WriteSize);
    Device.SetTimeouts();
    Device.SetEventMask(Setup.EventMask);
}

template <typename Result, typename Operation>
Result TSerCustomComm::OnDevice(Result Closed, Operation &&Operate)
{
    if (!Active() || FDeviceLost)
        return Closed;
    try {
        return Operate(*FDevice);
    } catch (const ESerCommError &error) {
        if (!SerDeviceGoneCode(error.SystemCode()) && !FDevice->Vanished())
            throw;
        FDeviceLost = true;
        SerLog([&] { return "the device " + FDevicePath + " has gone: " + error.what(); });
        throw ESerDeviceLost(error);
    }
}

void TSerCustomComm::CheckClosed() const
{
    if (Active() || Opening())
        throw ESerCommError(SOpenPortError);
}

void TSerCustomComm::WriteDCB()
{
    if (!FUpdateDCB)
        return;
    OnDevice(false, [this](TSerDevice &Device) {
        Device.WriteSettings(LineSettings());
        return true;
    });
}

void TSerCustomComm::SetupBuffers()
{
    if (Active())
        FDevice->SetupBuffers(FBuffers.ReadSize(), FBuffers.WriteSize());
}

void TSerCustomComm::StartThreads()
{
    if (FEventMask == 0)
        return;
    FEventThread = std::make_unique<TSerCommEventThread>(*this, FDevice, FEventPriority);
    FEventThread->Start();
}

void TSerCustomComm::StopThreads()
{
    JoinRetiredThreads();
    if (!FEventThread)
        return;
    FEventThread->Stop();
    if (FEventThread->Dispatching()) {
        // Closed from inside the thread's own notification (from a modal loop that a handler
        // opened): the thread waits for that notification to return, so waiting for the thread
        // here would wait for ever. It ends as soon as the notification returns.
        FRetiredThreads.push_back(std::move(FEventThread));
        return;
    }
    FEventThread->WaitFor();
    FEventThread.reset();
}

// A retired thread keeps its device until it has ended: joined before a new open, it has let go.
void TSerCustomComm::JoinRetiredThreads()
{
    std::erase_if(FRetiredThreads, [](const std::unique_ptr<TSerCommEventThread> &Thread) {
        return !Thread->Dispatching();
    });
}

void TSerCustomComm::DoOpen()
{
    try {
        Raise(OnOpen, this);
    } catch (...) {
        SerHandleException(std::current_exception());
    }
}

void TSerCustomComm::DoClose()
{
    if (!FDestroying)
        Raise(OnClose, this);
}

// The windows stay responsive during the pause, except while the component is torn down.
void TSerCustomComm::HoldAfterClose()
{
    if (FDestroying)
        std::this_thread::sleep_for(CloseHold);
    else
        SerGuiWait(CloseHold);
}

TSerLineSettings TSerCustomComm::LineSettings() const
{
    TSerLineSettings line;
    line.Baudrate = FBaudrate == TSerBaudrate::brUser
                        ? FUserBaudrate
                        : BaudrateValues[static_cast<std::size_t>(FBaudrate)];
    line.DataBits = 4 + static_cast<int>(FDatabits);
    line.Parity = FParity;
    line.Stopbits = FStopbits;
    line.ParityCheck = FOptions.Contains(TSerCommOption::coParityCheck);
    line.ErrorChar = FOptions.Contains(TSerCommOption::coErrorChar);
    line.NullStrip = FOptions.Contains(TSerCommOption::coNullStrip);
    line.OutCtsFlow = FFlowControl.OutCtsFlow();
    line.OutDsrFlow = FFlowControl.OutDsrFlow();
    line.ControlDtr = FFlowControl.ControlDtr();
    line.ControlRts = FFlowControl.ControlRts();
    line.DsrSensitivity = FFlowControl.DsrSensitivity();
    line.TxContinueOnXoff = FFlowControl.TxContinueOnXoff();
    line.XonXoffOut = FFlowControl.XonXoffOut();
    line.XonXoffIn = FFlowControl.XonXoffIn();
    line.XonLimit = static_cast<std::uint16_t>(FBuffers.XonLimit());
    line.XoffLimit = static_cast<std::uint16_t>(FBuffers.XoffLimit());
    line.XonChar = FEventChars.XonChar();
    line.XoffChar = FEventChars.XoffChar();
    line.ErrorCharValue = FEventChars.ErrorChar();
    line.EofChar = FEventChars.EofChar();
    line.EventChar = FEventChars.EventChar();
    return line;
}

// Transfers ------------------------------------------------------------------------------------

int TSerCustomComm::WriteBuf(const void *Buffer, int Count)
{
    if (!Active() || Count <= 0)
        return 0;
    std::lock_guard lock(FWriteLock);
    return OnDevice(0, [&](TSerDevice &Device) {
        return Device.Write(static_cast<const std::uint8_t *>(Buffer), Count,
                            FBuffers.WriteTimeout());
    });
}

bool TSerCustomComm::WriteText(std::string_view Text)
{
    const auto length = static_cast<int>(Text.size());
    return WriteBuf(Text.data(), length) == length;
}

bool TSerCustomComm::WriteChar(std::uint8_t Ch)
{
    return WriteBuf(&Ch, 1) == 1;
}

int TSerCustomComm::ReadBuf(void *Buffer, int Count)
{
    if (!Active() || Count <= 0)
        return 0;
    std::lock_guard lock(FReadLock);
    return OnDevice(0, [&](TSerDevice &Device) {
        return Device.Read(static_cast<std::uint8_t *>(Buffer), Count, FBuffers.ReadTimeout());
    });
}

bool TSerCustomComm::ReadChar(std::uint8_t &Ch)
{
    return ReadBuf(&Ch, 1) == 1;
}

void TSerCustomComm::Purge(std::uint32_t Flags)
{
    if (!Active())
        return;
    std::lock_guard lock(FReadLock);
    OnDevice(false, [Flags](TSerDevice &Device) {
        Device.Purge(Flags);
        return true;
    });
}

void TSerCustomComm::PurgeRead()
{
    Purge(SerPurge::RxAbort | SerPurge::RxClear);
}

void TSerCustomComm::PurgeWrite()
{
    Purge(SerPurge::TxAbort | SerPurge::TxClear);
}

void TSerCustomComm::PurgeReadWrite()
{
    Purge(SerPurge::TxAbort | SerPurge::RxAbort | SerPurge::TxClear | SerPurge::RxClear);
}

TSerStatistics TSerCustomComm::GetStatistics()
{
    std::lock_guard lock(FReadLock);
    return OnDevice(TSerStatistics{}, [](TSerDevice &Device) { return Device.Statistics(); });
}

int TSerCustomComm::InQueCount()
{
    if (!Active())
        return 0;
    return static_cast<int>(GetStatistics().InQue);
}

// Notifications (GUI thread) -------------------------------------------------------------------

TSerFailures TSerCustomComm::DispatchEvents(std::uint32_t Mask) noexcept
{
    TSerFailures failures;
    TSerFailures *const outer = std::exchange(FFailures, &failures);
    const std::uint64_t closes = FCloseCount;
    try {
        if (Mask & SerEv::RxChar) {
            HandleRxChar();
            Mask &= ~SerEv::RxChar;
        }
        // A handler that closed the port from a modal loop of its own ends the dispatch: what
        // is left of the batch belongs to a device that is gone.
        if (Mask != 0 && FCloseCount == closes)
            HandleEvents(Mask);
    } catch (...) {
        failures.push_back(std::current_exception());
    }
    FFailures = outer;
    return failures;
}

void TSerCustomComm::ReportFailures(const TSerFailures &Failures) noexcept
{
    for (const std::exception_ptr &failure : Failures) {
        try {
            if (OnNotifyException.Assigned())
                Raise(OnNotifyException, this, failure);
            else
                SerHandleException(failure);
        } catch (...) {
            SerHandleException(std::current_exception());
        }
    }
}

void TSerCustomComm::Collect(std::exception_ptr Failure)
{
    if (FFailures)
        FFailures->push_back(Failure);
    else
        SerHandleException(Failure);
}

void TSerCustomComm::HandleRxChar()
{
    const int count = InQueCount();
    if (count > 0)
        Raise(OnRxChar, this, count);
}

bool TSerCustomComm::HandleError()
{
    const std::uint32_t errors = GetStatistics().Errors;
    if (errors != 0) {
        SerLog([&] { return FDevicePath + ": line errors, flags " + std::to_string(errors); });
        try {
            Raise(OnError, this, static_cast<int>(errors));
        } catch (...) {
            Collect(std::current_exception());
        }
    }
    return errors != 0;
}

void TSerCustomComm::HandleEvents(std::uint32_t Mask)
{
    const auto present = [Mask](std::uint32_t Flag) { return (Mask & Flag) != 0; };
    if (present(SerEv::Err))
        HandleError();
    const std::pair<std::uint32_t, TNotifyEvent TSerCustomComm::*> table[] = {
        {SerEv::RxFlag, &TSerCustomComm::OnRxFlag},
        {SerEv::Cts, &TSerCustomComm::OnCts},
        {SerEv::Dsr, &TSerCustomComm::OnDsr},
        {SerEv::Ring, &TSerCustomComm::OnRing},
        {SerEv::Rlsd, &TSerCustomComm::OnRlsd},
        {SerEv::TxEmpty, &TSerCustomComm::OnTxEmpty},
        {SerEv::Break, &TSerCustomComm::OnBreak},
        {SerEv::PErr, &TSerCustomComm::OnPErr},
        {SerEv::Rx80Full, &TSerCustomComm::OnRx80Full},
        {SerEv::Event1, &TSerCustomComm::OnEvent1},
        {SerEv::Event2, &TSerCustomComm::OnEvent2}};
    for (const auto &[flag, event] : table) {
        if (present(flag))
            Raise(this->*event, this);
    }
}

// No data consumer can be attached in this system, so there is nobody to tell.
void TSerCustomComm::NotifyConsumers(std::uint32_t) {}

void TSerCustomComm::DeliverData(const std::uint8_t *Data, std::int32_t Count)
{
    Raise(OnRxBuf, this, Data, static_cast<int>(Count));
}

// Properties -----------------------------------------------------------------------------------

void TSerCustomComm::SetBaudrate(TSerBaudrate Value)
{
    if (Value == FBaudrate)
        return;
    FBaudrate = Value;
    if (Value != TSerBaudrate::brUser)
        FUserBaudrate = 0;
    WriteDCB();
}

void TSerCustomComm::SetUserBaudrate(std::int32_t Value)
{
    if (Value == FUserBaudrate)
        return;
    FUserBaudrate = Value;
    FBaudrate = TSerBaudrate::brUser;
    WriteDCB();
}

void TSerCustomComm::SetParity(TSerParity Value)
{
    if (Value == FParity)
        return;
    FParity = Value;
    WriteDCB();
}

void TSerCustomComm::SetDatabits(TSerDatabits Value)
{
    if (Value == FDatabits)
        return;
    FDatabits = Value;
    WriteDCB();
}

void TSerCustomComm::SetStopbits(TSerStopbits Value)
{
    if (Value == FStopbits)
        return;
    FStopbits = Value;
    WriteDCB();
}

void TSerCustomComm::SetOptions(TSerCommOptions Value)
{
    if (Value == FOptions)
        return;
    FOptions = Value;
    WriteDCB();
}

void TSerCustomComm::SetEventChars(const TSerEventChars &Value)
{
    FEventChars.Assign(Value);
}

void TSerCustomComm::SetFlowControl(const TSerFlowControl &Value)
{
    FFlowControl.Assign(Value);
}

void TSerCustomComm::SetBuffers(const TSerBuffers &Value)
{
    CheckClosed();
    FBuffers.Assign(Value);
}

void TSerCustomComm::SetPortNum(std::int32_t Value)
{
    CheckClosed();
    FPortNum = Value;
}

void TSerCustomComm::SetDeviceName(const std::string &Value)
{
    CheckClosed();
    FDeviceName = Value;
}

void TSerCustomComm::SetMonitorEvents(TSerCommEvents Value)
{
    CheckClosed();
    FMonitorEvents = Value;
}

void TSerCustomComm::SetDirectWrite(bool Value)
{
    CheckClosed();
    FDirectWrite = Value;
}

void TSerCustomComm::SetUpdateDCB(bool Value)
{
    CheckClosed();
    FUpdateDCB = Value;
}

void TSerCustomComm::SetEventPriority(TThreadPriority Value)
{
    if (Value == FEventPriority)
        return;
    FEventPriority = Value;
    if (FEventThread)
        FEventThread->SetPriority(Value);
}
