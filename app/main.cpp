// Zarnell Setup: finds the unit's radio dongle and writes the unit's settings into its EEPROM.
#include "appfonts.h"
#include "logging.h"
#include "programwindows.h"
#include "serialhandover.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallLogging();
    InstallSerialHandOver(&app);
    InstallFontSubstitutes();

    TProgramWindows windows;
    windows.ZRSetupForm.show();
    return app.exec();
}
