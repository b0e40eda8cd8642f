// The serial ports of the machine, by the names that a device name is formed from.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The machine's serial ports in a stable order: natural order on Linux (ttyS2 before ttyS10),
// the registry's order on Windows. When the
// environment variable ZARNELL_PORTS is set, its colon-separated device paths replace them
// (pseudo-terminals for demos and tests). Reads no device.
std::vector<std::string> SerPortNames();

// The device paths that ZARNELL_PORTS lists, in its order, with an empty entry ("a::b", a colon
// at either end: a script's unset variable) kept as ""; set to nothing, it lists no port.
// Nothing when it is not set. SerPortNames passes over the empty entries.
std::optional<std::vector<std::string>> SerPortsOverride();

// The platform's own list: serports_linux.cpp reads sysfs, serports_win.cpp the registry's
// HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<std::string> SerSystemPortNames();

// Linux: the ttys under SysClassTty (normally /sys/class/tty) that have a device behind them,
// without the legacy UART entries that have no hardware (their "type" reads 0).
std::vector<std::string> SerSysfsPortNames(const std::filesystem::path &SysClassTty);

// Natural order: digit runs compare by their value.
bool SerNaturalLess(const std::string &A, const std::string &B);
