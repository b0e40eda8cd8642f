#include "logconsole.h"

void RouteLogToStandardError()
{
    // A program started from a terminal inherits its standard error; Qt writes the log there.
}
