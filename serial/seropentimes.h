// How long the opens of each device take, as the threads that open them see it. A port behind a
// Bluetooth or a slow USB bridge, or one whose driver first wakes a suspended adapter, takes
// seconds to open; one whose driver hangs never returns. Discovery gives a slow port more time
// on its next try and skips one whose open has not returned, rather than giving either up.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct TSerOpenTime {
    bool Returned = false;             // false while the open is under way
    std::chrono::milliseconds Took{0}; // so far, while it is under way
};

// The open of Path under way, or else the last one that returned; nothing before the first.
std::optional<TSerOpenTime> SerOpenTime(const std::string &Path);

// Real USB adapters open in well under 100 ms; a port that has not opened after a second is
// passed over for the moment.
inline constexpr std::chrono::milliseconds SerShortOpenBound{1000};

// The bound for the next open of Path: Short, or a little more than its last open took when that
// was longer, up to a minute. A port whose open never returned keeps Short.
std::chrono::milliseconds SerOpenBound(const std::string &Path,
                                       std::chrono::milliseconds Short = SerShortOpenBound);

struct TSerOpenRecords;

// Times the opens of one device on the threads that open it. Made where an open is asked for, so
// that the record it writes into outlives every open that may still return, also one that
// returns while the program's static objects are being destroyed.
class TSerOpenClock {
public:
    explicit TSerOpenClock(std::string Path);

    // One open, timed from its start until it goes.
    class TRun {
    public:
        explicit TRun(const TSerOpenClock &Clock);
        ~TRun();
        TRun(const TRun &) = delete;
        TRun &operator=(const TRun &) = delete;

    private:
        const TSerOpenClock &FClock;
    };

    // On the opening thread, as the open begins.
    TRun Start() const { return TRun(*this); }

private:
    std::string FPath;
    std::shared_ptr<TSerOpenRecords> FRecords;
};
