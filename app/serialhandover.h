// Connects the serial component's hand-over queue and exception hook to the Qt application.
#pragma once

class QCoreApplication;

// From now on every Qt event loop of App, modal ones included, serves the serial notifications
// that the event threads hand over, exceptions from their handlers go to the error box, and the
// pause after closing a port runs an event loop.
void InstallSerialHandOver(QCoreApplication *App);
