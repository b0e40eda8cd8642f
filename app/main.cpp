// Zarnell Setup: finds the unit's radio dongle and writes the unit's settings into its EEPROM.
#include "appfonts.h"
#include "appicon.h"
#include "bootloader.h"
#include "bootmain.h"
#include "serialhandover.h"
#include "updatedlg.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallSerialHandOver(&app);
    InstallFontSubstitutes();

    // The setup window is the main window; the other two live for the whole run and are only
    // shown, modally, on demand. They go in the reverse order, the setup window (and with it
    // the serial port) last.
    TZRSetupForm ZRSetupForm;
    ZRSetupForm.setWindowIcon(SetupIcon());
    TBoot Boot;
    Boot.setWindowIcon(LoaderIcon());
    TUpdateDlgM UpdateDlgM;
    ZRSetupForm.SetPeers(&Boot, &UpdateDlgM);

    ZRSetupForm.show();
    return app.exec();
}
