#include "serdevicename.h"

// Every supported Windows is of the NT family, so the namespace always applies (the old version
// test is deprecated and would only ever answer "NT"). A name that carries it already, as the
// program's do, gets it once more: Windows and Wine both fold that to the plain device path.
std::string SerDevicePath(const std::string &Name)
{
    return std::string(SerDeviceNamespace) + Name;
}
