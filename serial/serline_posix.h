// The line settings of a Linux tty, through termios2 so that any bit rate can be asked for.
#pragma once

#include "serdevice.h"

// Applies Settings to the tty at Fd and reads them back. Raises "Error writing dcb (%d), %s"
// when the tty refuses them or cannot honour one of them.
void SerWriteLineSettings(int Fd, const TSerLineSettings &Settings);
