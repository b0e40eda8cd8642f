// The windows' icons, drawn at start rather than shipped as files.
#pragma once

#include <QIcon>

// The setup window's icon: a radio dongle sending to a unit.
QIcon SetupIcon();
// The loader window's icon: a chip being written.
QIcon LoaderIcon();
