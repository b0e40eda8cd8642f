// The simulated unit's end of the serial line, on each platform: a pseudo-terminal on POSIX
// systems (unitsimline_posix.cpp), on Windows a COM port that the test harness links back to
// back with the program's (unitsimline_win.cpp). Only the unit's serving thread uses a line,
// except Wake.
#pragma once

#include "unitsim.h"

#include <memory>
#include <string>
#include <string_view>

class TUnitSimLine {
public:
    // Opens a line. Raises std::system_error or std::runtime_error on failure.
    static std::unique_ptr<TUnitSimLine> Open();

    virtual ~TUnitSimLine() = default;

    // The port the program opens: /dev/pts/3, COM20.
    virtual const std::string &ProgramPort() const = 0;

    // Waits until bytes arrive, Wake is called, Due passes or, when WantRoom, the line takes
    // bytes again; returns what arrived, possibly nothing. A line whose far end has hung up
    // closes itself.
    virtual std::string Wait(TUnitTime Due, bool WantRoom) = 0;
    // Writes what the line takes without waiting for the program to read; returns how many of
    // Bytes went.
    virtual std::size_t Write(std::string_view Bytes) = 0;

    // From any thread: ends the Wait under way, or the next one.
    virtual void Wake() = 0;

    // The device goes: the program's port sees a hang-up.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};
