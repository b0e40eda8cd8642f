// The look the program's windows share: a border with the close box alone, the sky-blue face
// and fonts sized in pixels, as the windows were laid out.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QWidget>

inline constexpr QColor WindowSkyBlue(166, 202, 240);

// Gives Window, a window of the Kind given, a title bar with the system menu and the close box
// and no other border icons.
inline void SetCloseBoxBorder(QWidget &Window, Qt::WindowType Kind)
{
    Window.setWindowFlags(Kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

// Paints Window's background sky blue.
inline void SetSkyBlueFace(QWidget &Window)
{
    QPalette palette = Window.palette();
    palette.setColor(QPalette::Window, WindowSkyBlue);
    Window.setPalette(palette);
    Window.setAutoFillBackground(true);
}

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
