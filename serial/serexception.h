// The serial component's exception and the formatting of its platform error messages.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// The step of the component's work whose failure a message reports, where the same system error
// means something else in another step.
enum class TSerStep { stOther, stOpen, stLineSettings };

class ESerCommError : public std::runtime_error {
public:
    // Code is the system error code the message quotes, 0 when it quotes none.
    explicit ESerCommError(const std::string &Message, int Code = 0,
                           TSerStep Step = TSerStep::stOther)
        : std::runtime_error(Message)
        , FCode(Code)
        , FStep(Step)
    {
    }

    // For telling the user what to do about a failure; the message stays what is shown.
    int SystemCode() const { return FCode; }
    TSerStep Step() const { return FStep; }

private:
    int FCode;
    TSerStep FStep;
};

// The device of an open port has gone away: its USB adapter was pulled, or its far end hung up.
// Raised once, by the operation that finds out, with the message of the failure it met.
class ESerDeviceLost : public ESerCommError {
public:
    explicit ESerDeviceLost(const ESerCommError &Failure)
        : ESerCommError(Failure.what(), Failure.SystemCode(), Failure.Step())
    {
    }
};

// True when the failure is the loss of an open port's device: the dongle was unplugged.
bool IsDeviceLost(std::exception_ptr Error);

// What the system error of a failed open says about a port.
enum class TSerOpenProblem {
    opMissing,
    opNoPermission,
    opInUse,
    opRateRefused, // the adapter's driver refuses the line's bit rate
    opTimedOut,    // the open itself timed out (a Bluetooth port whose far end does not answer)
    opOther
};

// Per platform, from the step that failed and its system error: ENOENT or ERROR_FILE_NOT_FOUND
// is a missing device, EACCES a lack of rights, EBUSY, a held lock or ERROR_ACCESS_DENIED
// (Windows lets no two programs open a COM port) a port in use; on Windows,
// ERROR_INVALID_PARAMETER from the line settings is a bit rate that the driver refuses, and
// ERROR_SEM_TIMEOUT from the open an open that timed out.
TSerOpenProblem SerOpenProblemOf(TSerStep Step, int Code);

// Per platform: the codes with which a request fails because the device has gone: ENODEV, EIO
// and ENXIO, or Windows' codes of a removed device. Such a failure is the loss of the device,
// also before the system has told the event thread of it; any other failure is one only when a
// status query of the device fails as well (TSerDevice::Vanished).
bool SerDeviceGoneCode(int Code);

// The calling thread's last system error code (errno, or GetLastError on Windows) and the
// system's text for a code, as each platform layer provides them.
int SerLastError();
std::string SerErrorText(int Code);

// A system text (UTF-8) as it goes into a message: at most 256 characters, without trailing
// control characters, blanks and full stops.
std::string SerTrimSystemText(std::string Text);

// Raises ESerCommError with Pattern formatted with the last system error code (for "%d") and its
// trimmed system text (for "%s"); a pattern without placeholders passes unchanged.
[[noreturn]] void RaiseCommError(const std::string &Pattern);
[[noreturn]] void RaiseCommError(const std::string &Pattern, int Code);

// RaiseCommError(Pattern) when Succeeded is false.
void CheckCommResult(bool Succeeded, const std::string &Pattern);

// Escapes the per cent signs of Text so that it can be placed into a pattern unchanged.
std::string SerEscapePattern(const std::string &Text);

// Raises the failure to open the device at Path with the system error Code: "Specified device
// not found (%s)." when Missing, otherwise "Can't open specified device %s (Error %d, %s)".
[[noreturn]] void RaiseOpenError(const std::string &Path, int Code, bool Missing);

// The messages of the component; every platform layer raises these.
inline constexpr const char *SOpenPortError = "Can't perform this operation while port is open";
inline constexpr const char *SWriteDcbError = "Error writing dcb (%d), %s";
inline constexpr const char *SBuffersError = "Error initializing buffers (%d), %s";
inline constexpr const char *STimeoutsError = "Error setting timeouts (%d), %s";
inline constexpr const char *SEventMaskError = " Error setting EventMask (%d), %s";
inline constexpr const char *SReadError = "Read error (%d), %s";
inline constexpr const char *SWriteError = "Write error (%d), %s";
inline constexpr const char *SStatisticsError = "Error retrieving statistics (%d), %s";
inline constexpr const char *SPurgeError = "Error clearing buffers (%d), %s";
