// Zarnell Setup: finds the unit's radio dongle and writes the unit's settings into its EEPROM.
#include "logconsole.h"
#include "programsetup.h"
#include "programwindows.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before Qt's first message, which fixes where all of them go.
    RouteLogToStandardError();
    QApplication app(argc, argv);
    SetUpProgram(&app);

    TProgramWindows windows;
    windows.ZRSetupForm.show();
    return app.exec();
}
