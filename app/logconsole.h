// Where standard error goes for a program without a console window of its own.
#pragma once

// On Windows a GUI program has no console: its log would go to the debugger alone. Started from
// a command prompt, it writes to that prompt instead, and to a file or pipe that standard error
// was redirected to. Elsewhere standard error is the terminal's already, and this does nothing.
void RouteLogToStandardError();
