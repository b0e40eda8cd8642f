// What the window tests expect of ports on each platform (platformports_posix.cpp and
// platformports_win.cpp).
#pragma once

#include <QString>

// The name of a port that does not exist on this system.
QString MissingPortName();

// The system error code with which the serial component's status query fails once the device
// of an open port has gone.
int VanishedDeviceCode();
