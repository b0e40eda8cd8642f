// The dongle's serial line, as every program that talks to it sets it up.
#pragma once

class TSerCustomComm;

// 500000 bit/s, 8 data bits, no parity, 2 stop bits, no flow control of any kind, DTR and RTS
// held inactive; received bytes are announced, and writes go out directly. The port must be
// closed.
void UseDongleLine(TSerCustomComm &Comm);
