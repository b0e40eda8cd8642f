// The serial ports of a Linux machine, as sysfs lists them.
#include "serports.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace {

// Legacy 8250 entries exist whether or not a UART is fitted; theirs reads "type" 0.
bool IsUnfittedUart(const std::filesystem::path &Tty)
{
    std::ifstream type(Tty / "type");
    int value = -1;
    return type >> value && value == 0;
}

} // namespace

std::vector<std::string> SerSysfsPortNames(const std::filesystem::path &SysClassTty)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(SysClassTty, error)) {
        std::error_code linkError;
        if (!std::filesystem::exists(entry.path() / "device", linkError))
            continue;
        if (IsUnfittedUart(entry.path()))
            continue;
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::vector<std::string> SerSystemPortNames()
{
    // sysfs lists in no particular order; people expect ttyS2 before ttyS10.
    std::vector<std::string> names = SerSysfsPortNames("/sys/class/tty");
    std::sort(names.begin(), names.end(), SerNaturalLess);
    return names;
}
