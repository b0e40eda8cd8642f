#include "logconsole.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <windows.h>

namespace {

bool StandardErrorIsRedirected()
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    return error != nullptr && error != INVALID_HANDLE_VALUE &&
           GetFileType(error) != FILE_TYPE_UNKNOWN;
}

} // namespace

void RouteLogToStandardError()
{
    if (!StandardErrorIsRedirected()) {
        // Started from Explorer or a shortcut there is no console to attach to, and the log
        // stays with the debugger, as Qt does by default.
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        FILE *stream = nullptr;
        if (freopen_s(&stream, "CONOUT$", "w", stderr) != 0)
            return;
    }
    // Qt writes to the debugger alone unless it is told that standard error is worth it.
    qputenv("QT_FORCE_STDERR_LOGGING", QByteArrayLiteral("1"));
}
