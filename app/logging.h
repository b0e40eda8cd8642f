// The program's log, off by default: QT_LOGGING_RULES="zarnell.*=true" turns on the categories
// zarnell.discovery (ports and probes), zarnell.serial (the serial component) and
// zarnell.loader (frames, reply lines and steps), written with time stamps to standard error.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// Time stamps on every message (unless QT_MESSAGE_PATTERN says otherwise), and the serial
// component's log into zarnell.serial.
void InstallLogging();
