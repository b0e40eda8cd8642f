// The platform layer: one open serial device. Implemented once per platform
// (serdevice_linux.cpp, serdevice_win.cpp); the component keeps every rule about properties,
// messages and notifications, the layer knows only the operating system.
#pragma once

#include "sertypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The line settings as the device must apply them, resolved from the component's properties,
// which hold their defaults: every field is set from them.
struct TSerLineSettings {
    std::int32_t Baudrate{}; // bits per second
    int DataBits{};          // 4 to 8
    TSerParity Parity{};
    TSerStopbits Stopbits{};
    bool ParityCheck{}; // coParityCheck
    bool ErrorChar{};   // coErrorChar: replace bytes received with a parity error
    bool NullStrip{};   // coNullStrip: discard received null bytes
    bool OutCtsFlow{};
    bool OutDsrFlow{};
    TSerControlDtr ControlDtr{};
    TSerControlRts ControlRts{};
    bool DsrSensitivity{};
    bool TxContinueOnXoff{};
    bool XonXoffOut{};
    bool XonXoffIn{};
    std::uint16_t XonLimit{};
    std::uint16_t XoffLimit{};
    std::uint8_t XonChar{};
    std::uint8_t XoffChar{};
    std::uint8_t ErrorCharValue{};
    std::uint8_t EofChar{};
    std::uint8_t EventChar{};
};

class TSerDevice {
public:
    // Opens the device at Path for reading and writing, exclusively. Raises ESerCommError with
    // "Specified device not found (%s)." or "Can't open specified device %s (Error %d, %s)".
    // Nothing changes the device before it is this program's alone, and a device that is refused
    // is closed as it was found. When GivenUp answers true once the system's open has returned,
    // the device is closed again untouched and nothing is returned.
    static std::unique_ptr<TSerDevice> Open(const std::string &Path,
                                            const std::function<bool()> &GivenUp = {});

    // Closing never hangs on what waits to be sent: it is discarded first.
    virtual ~TSerDevice() = default;

    virtual void WriteSettings(const TSerLineSettings &Settings) = 0; // "Error writing dcb"
    virtual void SetupBuffers(std::int32_t ReadSize, std::int32_t WriteSize) = 0;
    virtual void SetTimeouts() = 0;
    virtual void SetEventMask(std::uint32_t Mask) = 0;

    // Returns at once with what has arrived, possibly nothing ("Read error (%d), %s").
    virtual int Read(std::uint8_t *Buffer, int Count, int TimeoutMs) = 0;
    // Waits at most TimeoutMs for the device to take the bytes; 0 on time-out, and then nothing
    // of the write goes out later ("Write error (%d), %s").
    virtual int Write(const std::uint8_t *Buffer, int Count, int TimeoutMs) = 0;
    virtual void Purge(std::uint32_t Flags) = 0; // "Error clearing buffers (%d), %s"
    virtual TSerStatistics Statistics() = 0;     // "Error retrieving statistics (%d), %s"

    // True once the device has gone away (the adapter was removed, the far end hung up); asks
    // the device when it does not know yet. The component asks after an operation failed.
    virtual bool Vanished() = 0;

    // Event thread: blocks until monitored events happen and returns their EV_* flags, or 0
    // once Wake has been called. A Wake is never lost, also when it comes before the wait.
    // A device that has gone away leaves the caller blocked until Wake. After a Wake it returns
    // only once the system is done with the thread's wait, or has failed to end it in time.
    virtual std::uint32_t WaitEvents() = 0;
    // Any thread: ends the current or next WaitEvents.
    virtual void Wake() = 0;
    // Event thread, once WaitEvents has returned after a Wake: the wait that the system did not
    // give back (its driver ignores the cancel), as a call that returns when the system is done
    // with it and owns whatever the system may still write into. Empty when no wait is left.
    // The thread must not end before the call has returned; the device may go meanwhile.
    virtual std::function<void()> LeaveUnfinishedWait() { return {}; }
};
