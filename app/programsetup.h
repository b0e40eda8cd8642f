// What the program installs before its first window: its log, the serial hand-over to the GUI
// thread and the stand-ins of the windows' fonts.
#pragma once

class QApplication;

void SetUpProgram(QApplication *App);
