// The platform layer: one open serial device. Implemented once per platform
// (serdevice_posix.cpp, serdevice_win.cpp); the component keeps every rule about properties,
// messages and notifications, the layer knows only the operating system.
#pragma once

#include "sertypes.h"

#include <cstdint>
#include <memory>
#include <string>

// The line settings as the device must apply them, resolved from the component's properties.
struct TSerLineSettings {
    std::int32_t Baudrate = 1200; // bits per second
    int DataBits = 8;             // 4 to 8
    TSerParity Parity = TSerParity::paNone;
    TSerStopbits Stopbits = TSerStopbits::sb1;
    bool ParityCheck = false; // coParityCheck
    bool ErrorChar = false;   // coErrorChar: replace bytes received with a parity error
    bool NullStrip = false;   // coNullStrip: discard received null bytes
    bool OutCtsFlow = false;
    bool OutDsrFlow = false;
    TSerControlDtr ControlDtr = TSerControlDtr::dtrDisabled;
    TSerControlRts ControlRts = TSerControlRts::rtsDisabled;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    std::uint16_t XonLimit = 1024;
    std::uint16_t XoffLimit = 1024;
    std::uint8_t XonChar = 17;
    std::uint8_t XoffChar = 19;
    std::uint8_t ErrorCharValue = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EventChar = 0;
};

class TSerDevice {
public:
    // Opens the device at Path for reading and writing, exclusively. Raises ESerCommError with
    // "Specified device not found (%s)." or "Can't open specified device %s (Error %d, %s)".
    static std::unique_ptr<TSerDevice> Open(const std::string &Path);

    // Closing never hangs: what waits to be sent is discarded first.
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
    // A device that has gone away leaves the caller blocked until Wake.
    virtual std::uint32_t WaitEvents() = 0;
    // Any thread: ends the current or next WaitEvents.
    virtual void Wake() = 0;
};

