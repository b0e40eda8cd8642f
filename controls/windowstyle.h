// The look the program's windows share: a border with the close box alone, the sky-blue face
// and fonts sized in pixels, as the windows were laid out.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <functional>

inline constexpr QColor WindowSkyBlue(166, 202, 240);

// Gives Window, a window of the Kind given, a title bar with the system menu and the close box
// and no other border icons.
inline void SetCloseBoxBorder(QWidget &Window, Qt::WindowType Kind)
{
    Window.setWindowFlags(Kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

// The palette of a sky-blue window on a system whose palette is System. Under a contrast theme
// the system's colours are the user's need, and System stands as it is. Otherwise the face is
// sky blue, with the texts, boxes and buttons of System where its texts are dark, or those of a
// light palette where System is a dark one: dark texts on light faces, whatever the desktop.
QPalette SkyBluePalette(const QPalette &System);

// Gives Window the palette of a sky-blue window and keeps it while the program runs: Qt tells
// the window when the system's colours change (a contrast theme switched on or off, a new
// desktop palette), and the palette is made again from the new ones. Recolour, when given,
// colours what takes its colours from the window's palette; it runs now and after each change.
void SetSkyBlueFace(QWidget &Window, std::function<void()> Recolour = {});

// The colour of a text that the windows draw black, on a face of Palette: under a contrast
// theme the system's text colour instead.
QColor BlackText(const QPalette &Palette);

// Base with a height of PixelSize pixels, bold or not.
inline QFont FontOfHeight(const QFont &Base, int PixelSize, bool Bold)
{
    QFont font(Base);
    font.setPixelSize(PixelSize);
    font.setBold(Bold);
    return font;
}

// Family with a height of PixelSize pixels; everything else stays open to the widget's font.
inline QFont FontOfHeight(const QString &Family, int PixelSize)
{
    QFont font(Family);
    font.setPixelSize(PixelSize);
    return font;
}
