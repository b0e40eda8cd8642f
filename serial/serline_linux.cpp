// How the line settings reach a Linux tty. termios2 (<asm/termbits.h>) carries any bit rate
// with BOTHER; it clashes with <termios.h>, which this file therefore does not include.
//
//   Setting                 Linux
//   Baudrate                c_ispeed/c_ospeed with BOTHER; must be above 0 (0 would hang up)
//   DataBits 5..8           CS5..CS8; 4 data bits do not exist: refused
//   Parity                  PARENB, PARODD; mark and space add CMSPAR
//   Stopbits                sb1: none; sb15 and sb2: CSTOPB (the UART sends 1.5 stop bits
//                           with 5 data bits and 2 otherwise; there is no separate 1.5)
//   binary mode             raw: no input, output or local processing, VMIN = VTIME = 0
//   ParityCheck+ErrorChar   INPCK: a byte with a parity error reads as 0, so only ErrorChar
//                           value 0 can be honoured. ParityCheck alone: bytes pass unchanged
//                           and errors are counted, as the device would do
//   NullStrip               cannot be honoured by the tty: refused
//   OutCtsFlow, rtsHandshake  CRTSCTS (the kernel handles both directions together)
//   OutDsrFlow, DsrSensitivity  no DSR flow control on Linux: refused
//   ControlDtr              disabled: DTR cleared (TIOCMBIC); enabled: set (TIOCMBIS);
//                           handshake: set, the nearest Linux offers
//   ControlRts              disabled/enabled: RTS cleared/set; handshake: CRTSCTS;
//                           toggle: RS-485 mode, RTS active while sending (TIOCSRS485)
//   XonXoffOut, XonXoffIn   IXON, IXOFF with VSTART = XonChar, VSTOP = XoffChar
//   TxContinueOnXoff        Linux always goes on sending after it has sent XOFF
//   XonLimit, XoffLimit     the tty layer uses its own thresholds
//   EofChar, EventChar      without meaning in raw mode; EventChar is not watched
//
// Devices without modem lines (pseudo-terminals) answer ENOTTY or EINVAL to the modem and
// RS-485 calls; they simply have nothing to set.
#include "serline_linux.h"

#include "serexception.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

[[noreturn]] void RaiseRefused()
{
    RaiseCommError(SWriteDcbError, EINVAL);
}

tcflag_t DataBitsFlag(int DataBits)
{
    switch (DataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    case 8:
        return CS8;
    }
    RaiseRefused();
}

tcflag_t ParityFlags(TSerParity Parity)
{
    switch (Parity) {
    case TSerParity::paNone:
        return 0;
    case TSerParity::paOdd:
        return PARENB | PARODD;
    case TSerParity::paEven:
        return PARENB;
    case TSerParity::paMark:
        return PARENB | PARODD | CMSPAR;
    case TSerParity::paSpace:
        return PARENB | CMSPAR;
    }
    RaiseRefused();
}

void CheckHonoured(const TSerLineSettings &Settings)
{
    if (Settings.Baudrate <= 0 || Settings.NullStrip || Settings.OutDsrFlow ||
        Settings.DsrSensitivity)
        RaiseRefused();
    if (Settings.ParityCheck && Settings.ErrorChar && Settings.ErrorCharValue != 0)
        RaiseRefused();
}

termios2 BuildTermios(termios2 Line, const TSerLineSettings &Settings)
{
    constexpr tcflag_t lineBits =
        CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
    Line.c_cflag &= ~lineBits;
    Line.c_cflag |=
        BOTHER | CREAD | CLOCAL | DataBitsFlag(Settings.DataBits) | ParityFlags(Settings.Parity);
    if (Settings.Stopbits != TSerStopbits::sb1)
        Line.c_cflag |= CSTOPB;
    if (SerHardwareFlow(Settings))
        Line.c_cflag |= CRTSCTS;
    Line.c_ispeed = Line.c_ospeed = static_cast<speed_t>(Settings.Baudrate);

    Line.c_iflag = 0;
    if (Settings.ParityCheck && Settings.ErrorChar)
        Line.c_iflag |= INPCK;
    if (Settings.XonXoffOut)
        Line.c_iflag |= IXON;
    if (Settings.XonXoffIn)
        Line.c_iflag |= IXOFF;
    Line.c_oflag = 0;
    Line.c_lflag = 0;
    Line.c_cc[VSTART] = Settings.XonChar;
    Line.c_cc[VSTOP] = Settings.XoffChar;
    Line.c_cc[VMIN] = 0;
    Line.c_cc[VTIME] = 0;
    return Line;
}

// A UART divides its clock: the rate it reports may differ a little from the one asked for.
bool RateMatches(speed_t Asked, speed_t Got)
{
    return std::labs(static_cast<long>(Got) - static_cast<long>(Asked)) * 100 <=
           static_cast<long>(Asked) * 3;
}

void VerifyTermios(int Fd, const termios2 &Asked)
{
    termios2 got{};
    CheckCommResult(ioctl(Fd, TCGETS2, &got) == 0, SWriteDcbError);
    constexpr tcflag_t cflagBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t iflagBits = INPCK | IXON | IXOFF;
    if ((got.c_cflag & cflagBits) != (Asked.c_cflag & cflagBits) ||
        (got.c_iflag & iflagBits) != (Asked.c_iflag & iflagBits) ||
        !RateMatches(Asked.c_ospeed, got.c_ospeed))
        RaiseRefused();
}

void SetModemLine(int Fd, int Line, bool Active)
{
    if (ioctl(Fd, Active ? TIOCMBIS : TIOCMBIC, &Line) != 0 && !SerNoSuchFeature(errno))
        RaiseCommError(SWriteDcbError);
}

void SetRs485(int Fd, bool RtsToggle)
{
    serial_rs485 rs485{};
    if (ioctl(Fd, TIOCGRS485, &rs485) != 0) {
        if (!RtsToggle && SerNoSuchFeature(errno))
            return;
        RaiseCommError(SWriteDcbError);
    }
    const bool enabled = (rs485.flags & SER_RS485_ENABLED) != 0;
    if (enabled == RtsToggle)
        return;
    if (RtsToggle)
        rs485.flags =
            (rs485.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) & ~SER_RS485_RTS_AFTER_SEND;
    else
        rs485.flags &= ~SER_RS485_ENABLED;
    CheckCommResult(ioctl(Fd, TIOCSRS485, &rs485) == 0, SWriteDcbError);
}

void WriteModemLines(int Fd, const TSerLineSettings &Settings)
{
    SetModemLine(Fd, TIOCM_DTR, Settings.ControlDtr != TSerControlDtr::dtrDisabled);
    switch (Settings.ControlRts) {
    case TSerControlRts::rtsDisabled:
    case TSerControlRts::rtsEnabled:
        SetRs485(Fd, false);
        SetModemLine(Fd, TIOCM_RTS, Settings.ControlRts == TSerControlRts::rtsEnabled);
        break;
    case TSerControlRts::rtsHandshake:
        SetRs485(Fd, false);
        break;
    case TSerControlRts::rtsToggle:
        SetRs485(Fd, true);
        break;
    }
}

} // namespace

void SerWriteLineSettings(int Fd, const TSerLineSettings &Settings)
{
    CheckHonoured(Settings);
    termios2 line{};
    CheckCommResult(ioctl(Fd, TCGETS2, &line) == 0, SWriteDcbError);
    line = BuildTermios(line, Settings);
    CheckCommResult(ioctl(Fd, TCSETS2, &line) == 0, SWriteDcbError);
    VerifyTermios(Fd, line);
    WriteModemLines(Fd, Settings);
}

bool SerNoSuchFeature(int Error)
{
    return Error == ENOTTY || Error == EINVAL;
}

bool SerHardwareFlow(const TSerLineSettings &Settings)
{
    return Settings.OutCtsFlow || Settings.ControlRts == TSerControlRts::rtsHandshake;
}
