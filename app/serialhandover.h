// Connects the serial component's hand-over queue and exception hook to the Qt application.
#pragma once

class QCoreApplication;

// From now on every Qt event loop of App, modal ones included, serves the serial notifications
// that the event threads hand over, and exceptions from their handlers go to the error box.
void InstallSerialHandOver(QCoreApplication *App);
