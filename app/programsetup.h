// What the program installs before its first window: its log, the serial hand-over to the GUI
// thread, the stand-ins of the windows' fonts and the end of the default button's pulse.
#pragma once

class QApplication;

void SetUpProgram(QApplication *App);
