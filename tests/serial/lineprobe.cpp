#include "lineprobe.h"

#include <asm/termbits.h>
#include <stdexcept>
#include <sys/ioctl.h>

namespace {

termios2 Read(int Fd)
{
    termios2 line{};
    if (ioctl(Fd, TCGETS2, &line) != 0)
        throw std::runtime_error("TCGETS2 failed");
    return line;
}

} // namespace

TLineProbe ProbeLine(int Fd)
{
    const termios2 line = Read(Fd);
    TLineProbe probe;
    probe.Speed = line.c_ospeed;
    probe.OtherSpeed = (line.c_cflag & CBAUD) == BOTHER;
    switch (line.c_cflag & CSIZE) {
    case CS5:
        probe.DataBits = 5;
        break;
    case CS6:
        probe.DataBits = 6;
        break;
    case CS7:
        probe.DataBits = 7;
        break;
    default:
        probe.DataBits = 8;
    }
    probe.Parity = line.c_cflag & PARENB;
    probe.OddParity = line.c_cflag & PARODD;
    probe.StickParity = line.c_cflag & CMSPAR;
    probe.TwoStopBits = line.c_cflag & CSTOPB;
    probe.RtsCts = line.c_cflag & CRTSCTS;
    probe.XonXoffOut = line.c_iflag & IXON;
    probe.XonXoffIn = line.c_iflag & IXOFF;
    probe.Raw = (line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
                (line.c_oflag & OPOST) == 0 && (line.c_iflag & (ICRNL | INLCR | IGNCR)) == 0;
    probe.XonChar = line.c_cc[VSTART];
    probe.XoffChar = line.c_cc[VSTOP];
    return probe;
}

void SetLineTo9600(int Fd)
{
    termios2 line = Read(Fd);
    line.c_cflag = (line.c_cflag & ~CBAUD) | B9600;
    line.c_ispeed = line.c_ospeed = 9600;
    if (ioctl(Fd, TCSETS2, &line) != 0)
        throw std::runtime_error("TCSETS2 failed");
}
