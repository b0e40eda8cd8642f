#include "programsetup.h"

#include "appfonts.h"
#include "logging.h"
#include "quietpulse.h"
#include "serialhandover.h"

#include <QApplication>

void SetUpProgram(QApplication *App)
{
    InstallLogging();
    InstallSerialHandOver(App);
    InstallFontSubstitutes();
    InstallQuietPulse(App);
}
