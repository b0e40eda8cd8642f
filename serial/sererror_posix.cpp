// The system error code and text on POSIX systems.
#include "serexception.h"

#include <cerrno>
#include <cstring>

int SerLastError()
{
    return errno;
}

std::string SerErrorText(int Code)
{
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return strerror_r(Code, buffer, sizeof buffer);
}

TSerOpenProblem SerOpenProblemOf(TSerStep, int Code)
{
    switch (Code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return TSerOpenProblem::opMissing;
    case EACCES:
    case EPERM:
        return TSerOpenProblem::opNoPermission;
    case EBUSY:
    case EWOULDBLOCK: // the lock of another program
        return TSerOpenProblem::opInUse;
    default:
        return TSerOpenProblem::opOther;
    }
}

bool SerDeviceGoneCode(int Code)
{
    return Code == ENODEV || Code == EIO || Code == ENXIO;
}
