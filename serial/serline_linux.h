// The line settings of a Linux tty, through termios2 so that any bit rate can be asked for.
#pragma once

#include "serdevice.h"

// Applies Settings to the tty at Fd and reads them back. Raises "Error writing dcb (%d), %s"
// when the tty refuses them or cannot honour one of them.
void SerWriteLineSettings(int Fd, const TSerLineSettings &Settings);

// A tty without the feature asked for (a pseudo-terminal has no modem lines, no RS-485 mode, no
// line counters) answers ENOTTY or EINVAL: nothing to set or read, rather than a failure.
bool SerNoSuchFeature(int Error);

// Output waits for CTS and RTS follows the input queue: the kernel's CRTSCTS, which handles
// both directions together, so either setting asks for it.
bool SerHardwareFlow(const TSerLineSettings &Settings);
