// What the simulated unit received and sent, with the times, and what its EEPROM holds: the
// matter of its report.
#pragma once

#include "unitsim.h"

#include <cstdint>
#include <string>
#include <vector>

// Bytes the simulator wrote towards the PC, as one write.
struct TUnitReply {
    TUnitTime Time;
    std::string Bytes;
};

struct TUnitRecord {
    TUnitTime Start; // times in the report are microseconds since this moment
    std::vector<TUnitFrame> Frames;
    std::vector<TUnitReply> Replies;
    std::vector<std::uint8_t> Eeprom;
    int ProbeCount = 0;
    bool Unplugged = false;
};
