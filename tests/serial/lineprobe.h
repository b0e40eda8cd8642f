// Reads a tty's line settings the way the kernel holds them (termios2), for checking what the
// component wrote; kept apart because <asm/termbits.h> clashes with <termios.h>.
#pragma once

#include <cstdint>

struct TLineProbe {
    unsigned Speed = 0;
    bool OtherSpeed = false; // BOTHER: the speed is a plain number
    int DataBits = 0;
    bool Parity = false;
    bool OddParity = false;
    bool StickParity = false; // CMSPAR: mark or space
    bool TwoStopBits = false;
    bool RtsCts = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool Raw = false; // no canonical mode, echo, signals or output processing
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
};

TLineProbe ProbeLine(int Fd);

// Sets the tty to a plain 9600 bits per second, as another program might have left it.
void SetLineTo9600(int Fd);
