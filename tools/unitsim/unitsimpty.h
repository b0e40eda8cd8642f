// The simulated dongle and unit on a serial line: the program opens SlavePath as its serial port,
// and a thread serves the line's other end with the simulator. The line is a pseudo-terminal on
// POSIX systems and a pair of linked COM ports on Windows (see unitsimline.h).
#pragma once

#include "unitrecord.h"
#include "unitsim.h"

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

class TUnitSimPty {
public:
    // Opens the line and starts serving it. Raises std::system_error or std::runtime_error on
    // failure.
    explicit TUnitSimPty(TUnitSimOptions Options = {});
    ~TUnitSimPty();
    TUnitSimPty(const TUnitSimPty &) = delete;
    TUnitSimPty &operator=(const TUnitSimPty &) = delete;

    // The port the program opens, for example /dev/pts/3 or COM20.
    const std::string &SlavePath() const;

    std::vector<std::uint8_t> Eeprom() const;
    std::vector<TUnitFrame> Frames() const;
    std::vector<TUnitReply> Replies() const;
    int ProbeCount() const;
    // The dongle has taken "Z": the unit's boot loader listens for frames.
    bool LoaderListening() const;
    bool Unplugged() const;

    // What went wrong in the serving thread, empty while all is well.
    std::string Failure() const;

    // Waits until Condition() holds, testing it again whenever the simulator's state changes;
    // false when Timeout passed first. Condition may call the accessors above.
    bool WaitFor(const std::function<bool()> &Condition, std::chrono::milliseconds Timeout) const;
    // The same without a time limit: waits until Condition() holds or Stop is requested, and
    // tells whether Condition() held in the end.
    bool WaitFor(const std::function<bool()> &Condition, std::stop_token Stop) const;
    bool WaitForFrames(std::size_t Count, std::chrono::milliseconds Timeout) const;

    // The device disappears: the line is closed, so the program's port sees a hang-up. Returns
    // once it is closed.
    void Unplug();

    // Frames and replies with their times, the EEPROM image, taken at one moment.
    TUnitRecord Record() const;

    // Ends the serving thread; the line is closed. Called by the destructor.
    void Stop();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
