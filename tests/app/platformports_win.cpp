#include "platformports.h"

#include <windows.h>

// The tests' COM port pairs take the numbers 20 to 89.
QString MissingPortName()
{
    return QStringLiteral("COM99");
}

// Wine answers so for a COM port whose tty has been hung up, as the harness's ports are when the
// test closes the device end; the drivers of real adapters differ (see serdevice_win.cpp).
int VanishedDeviceCode()
{
    return ERROR_NOT_READY;
}
