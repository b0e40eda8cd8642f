// The serial communications component.
#pragma once

#include "serdevice.h"
#include "serevents.h"
#include "sereventthread.h"
#include "serexception.h"
#include "serobjects.h"
#include "serpersistent.h"
#include "sertypes.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TSerDisplay;

// A device that vanishes while it is open (a USB adapter pulled, the far end of a
// pseudo-terminal closed) is reported once: the operation that finds the loss raises
// ESerDeviceLost, and from then on every transfer, purge and status query does nothing, as on a
// closed port, until Close.
//
// Part of the interface is kept for the component's contract although this program never
// reaches it; it is complete as it stands, not dead code or work left undone:
//   - the data consumers: OnRxBuf, NotifyConsumers and DeliverData (none can be attached here);
//   - the monitor control: Display is always empty, SetDisplay links nothing;
//   - Version, a fixed text;
//   - WritePriority and DirectWrite = false, the queued writes of a write thread: every write
//     goes out directly on the calling thread, whatever they hold.
class TSerCustomComm {
public:
    TSerCustomComm();
    // Closes an open port first; OnClose is not raised then.
    virtual ~TSerCustomComm();
    TSerCustomComm(const TSerCustomComm &) = delete;
    TSerCustomComm &operator=(const TSerCustomComm &) = delete;

    // Called at the end of loading the owner's description: opens the port when AutoOpen is set.
    virtual void Loaded();

    // Lifecycle. Close also gives an open in the background up (see below). However the driver
    // behaves, Close returns within CloseBound and the pause after it (CloseHold).
    void Open();
    void Close();
    bool Active() const;

    // The lifecycle without waiting, for devices that take seconds to open or to close (a
    // Bluetooth port first connects to its far end). BeginOpen opens and sets up the device of
    // DeviceName, with the settings as they are now, on a thread of its own; when that has
    // finished, Opened runs on the GUI thread, and the port is then open or Error holds the
    // failure. Until then Opening is true, and the settings that need a closed port refuse.
    // AbandonOpen, Close and the component's end give an open under way up: Opened is not
    // called, and the device is closed on its thread as soon as its open returns, with nothing
    // written to it.
    void BeginOpen(TSerOpenedEvent Opened);
    bool Opening() const { return FPendingOpen != nullptr; }
    // How long the device's open has taken so far; zero while it still waits for its turn
    // behind an earlier open or close of the same device.
    std::chrono::milliseconds OpeningFor() const;
    void AbandonOpen();
    // Like Close, except that the device is closed, and the pause after it taken, on a thread of
    // its own; the next BeginOpen of the same device waits for them.
    void CloseInBackground();
    // Waits until every close in the background, of any component, has ended, or until
    // Deadline; true when they all have. A program that ends at once after its last close waits
    // for them first: a device whose close never ran may stay busy for the next program.
    static bool AwaitClosesInBackground(std::chrono::steady_clock::time_point Deadline);

    // True once the device of the open port has gone away (see above), until the port closes.
    bool DeviceLost() const { return Active() && FDeviceLost; }

    // Transfers.
    int WriteBuf(const void *Buffer, int Count);
    bool WriteText(std::string_view Text);
    bool WriteChar(std::uint8_t Ch);
    int ReadBuf(void *Buffer, int Count);
    bool ReadChar(std::uint8_t &Ch);
    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();
    TSerStatistics GetStatistics();
    int InQueCount();

    // Properties.
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    TSerBaudrate Baudrate() const { return FBaudrate; }
    void SetBaudrate(TSerBaudrate Value);
    TSerParity Parity() const { return FParity; }
    void SetParity(TSerParity Value);
    TSerDatabits Databits() const { return FDatabits; }
    void SetDatabits(TSerDatabits Value);
    TSerStopbits Stopbits() const { return FStopbits; }
    void SetStopbits(TSerStopbits Value);
    TSerEventChars &EventChars() { return FEventChars; }
    void SetEventChars(const TSerEventChars &Value);
    TSerFlowControl &FlowControl() { return FFlowControl; }
    void SetFlowControl(const TSerFlowControl &Value);
    TSerCommOptions Options() const { return FOptions; }
    void SetOptions(TSerCommOptions Value);
    std::int32_t PortNum() const { return FPortNum; }
    void SetPortNum(std::int32_t Value);
    const std::string &DeviceName() const { return FDeviceName; }
    void SetDeviceName(const std::string &Value);
    TSerCommEvents MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TSerCommEvents Value);
    TSerBuffers &Buffers() { return FBuffers; }
    void SetBuffers(const TSerBuffers &Value);
    TThreadPriority EventPriority() const { return FEventPriority; }
    void SetEventPriority(TThreadPriority Value);
    TThreadPriority WritePriority() const { return FWritePriority; }
    void SetWritePriority(TThreadPriority Value) { FWritePriority = Value; }
    bool DirectWrite() const { return FDirectWrite; }
    void SetDirectWrite(bool Value);
    bool UpdateDCB() const { return FUpdateDCB; }
    void SetUpdateDCB(bool Value);
    std::int32_t UserBaudrate() const { return FUserBaudrate; }
    void SetUserBaudrate(std::int32_t Value);
    TSerDisplay *Display() const { return nullptr; }
    void SetDisplay(TSerDisplay *) {}
    std::string Version() const { return "1.3.8.0"; }
    void SetVersion(const std::string &) {}

    // Events. Each is read afresh at every notification, so a change made inside a handler
    // takes effect from the next notification on.
    TNotifyEvent OnOpen, OnClose;
    TSerCommRxCharEvent OnRxChar;
    TSerCommRxBufEvent OnRxBuf;
    TSerCommErrorEvent OnError;
    TNotifyEvent OnCts, OnDsr, OnRlsd, OnRing, OnBreak, OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full,
        OnEvent1, OnEvent2;
    // Where the failures of notifications go, once the notification has returned; unbound, they
    // go to the application's exception handler (the error box).
    TSerCommExceptionEvent OnNotifyException;

    // The device path that Open opens.
    std::string GetDevicePath() const;

protected:
    // Everything that an open gives the device before its event thread starts.
    struct TDeviceSetup {
        std::string Path;
        bool UpdateDCB = true;
        TSerLineSettings Line;
        std::int32_t ReadSize = 0;
        std::int32_t WriteSize = 0;
        std::uint32_t EventMask = 0;
    };

    virtual void CreateHandle();
    virtual void StartThreads();
    virtual void HandleRxChar();
    virtual void HandleEvents(std::uint32_t Mask);
    virtual void NotifyConsumers(std::uint32_t Mask);
    virtual void DeliverData(const std::uint8_t *Data, std::int32_t Count);

    bool HandleError();
    void CheckClosed() const;
    void WriteDCB();
    void SetupBuffers();
    TDeviceSetup DeviceSetup() const;
    static void ApplySetup(TSerDevice &Device, const TDeviceSetup &Setup);
    void StopThreads();
    void CloseDevice();
    void DoOpen();
    void DoClose();

    // The pause at the end of Close that lets the line settle before the next open. Tests that
    // cycle a port many times override it.
    static constexpr std::chrono::milliseconds CloseHold{300};
    virtual void HoldAfterClose();
    // How long Close waits for the event thread and the device to close, together.
    static constexpr std::chrono::milliseconds CloseBound{1000};

private:
    struct TPendingOpen;
    void FinishOpen();
    void LogOpened() const;
    // Takes the open device away from the component: its event thread has stopped.
    std::shared_ptr<TSerDevice> DetachDevice();
    static void CloseDeviceBy(std::shared_ptr<TSerDevice> Device, const std::string &Path,
                              std::chrono::steady_clock::time_point Deadline);
    static void CloseDeviceInBackground(std::shared_ptr<TSerDevice> Device,
                                        const std::string &Path);

    friend class TSerCommEventThread;
    void Purge(std::uint32_t Flags);
    TSerFailures DispatchEvents(std::uint32_t Mask) noexcept;
    void ReportFailures(const TSerFailures &Failures) noexcept;
    // Keeps a failure of the dispatch under way for the report after it.
    void Collect(std::exception_ptr Failure);
    void JoinRetiredThreads();
    TSerLineSettings LineSettings() const;
    template <typename Result, typename Operation>
    Result OnDevice(Result Closed, Operation &&Operate);

    // Shared with the event thread, which keeps it until it has ended.
    std::shared_ptr<TSerDevice> FDevice;
    std::string FDevicePath; // of the device open now or last
    std::shared_ptr<TPendingOpen> FPendingOpen;
    TSerOpenedEvent FOpened;
    TSerCriticalSection FWriteLock;
    TSerCriticalSection FReadLock;
    std::unique_ptr<TSerCommEventThread> FEventThread;
    // Threads stopped from inside their own notification: they end once it has returned.
    std::vector<std::unique_ptr<TSerCommEventThread>> FRetiredThreads;
    std::uint32_t FEventMask = 0;
    bool FDestroying = false;
    bool FClosing = false;
    bool FDeviceLost = false;          // the device has vanished and that has been raised
    std::uint64_t FCloseCount = 0;     // a dispatch stops when the port was closed under it
    TSerFailures *FFailures = nullptr; // what the dispatch under way has raised so far

    bool FAutoOpen = false;
    std::int32_t FPortNum = 0;
    std::string FDeviceName = "COM%d";
    TSerCommEvents FMonitorEvents{TSerCommEvent::ceError, TSerCommEvent::ceRxChar,
                                  TSerCommEvent::ceTxEmpty};
    TSerBuffers FBuffers;
    TThreadPriority FEventPriority = TThreadPriority::tpNormal;
    TThreadPriority FWritePriority = TThreadPriority::tpHighest;
    bool FDirectWrite = false;
    TSerBaudrate FBaudrate = TSerBaudrate::br1200;
    TSerParity FParity = TSerParity::paNone;
    TSerDatabits FDatabits = TSerDatabits::db8;
    TSerStopbits FStopbits = TSerStopbits::sb1;
    TSerCommOptions FOptions;
    TSerFlowControl FFlowControl;
    TSerEventChars FEventChars;
    bool FUpdateDCB = true;
    std::int32_t FUserBaudrate = 0;
};

// The component as the windows use it: everything is published by TSerCustomComm already.
class TSerComm : public TSerCustomComm {};
