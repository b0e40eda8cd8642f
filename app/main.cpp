// Zarnell Setup: finds the unit's radio dongle and writes the unit's settings into its EEPROM.
#include "programsetup.h"
#include "programwindows.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpProgram(&app);

    TProgramWindows windows;
    windows.ZRSetupForm.show();
    return app.exec();
}
