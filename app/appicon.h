// The windows' icons, drawn at start rather than shipped as files.
#pragma once

#include <QIcon>
#include <QPixmap>

// The setup window's icon: a radio dongle sending to a unit.
QIcon SetupIcon();
// The loader window's icon: a chip being written.
QIcon LoaderIcon();

// The setup window's icon at Size by Size pixels, as SetupIcon() holds it; the program's icon
// files are rendered from it too. Needs a QGuiApplication.
QPixmap DrawSetupIcon(int Size);
