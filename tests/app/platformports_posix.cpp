#include "platformports.h"

#include <cerrno>

QString MissingPortName()
{
    return QStringLiteral("/dev/zarnell-no-such-port");
}

// A pseudo-terminal, like a tty whose USB adapter was pulled, answers every request with EIO
// once it has been hung up.
int VanishedDeviceCode()
{
    return EIO;
}
