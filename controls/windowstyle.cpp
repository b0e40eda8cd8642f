#include "windowstyle.h"

#include "contrasttheme.h"

#include <QApplication>
#include <QEvent>

namespace {

bool IsDark(const QPalette &Palette)
{
    return Palette.color(QPalette::WindowText).lightness() >
           Palette.color(QPalette::Window).lightness();
}

// What a sky-blue window takes on a dark desktop: black texts on light-grey buttons and white
// boxes, white on a dark-blue selection, and grey where a control is disabled. Every text reads
// at 4.5:1 or more against what is behind it.
QPalette LightPalette()
{
    const QColor face(239, 239, 239);
    QPalette palette(Qt::black, face, Qt::white, QColor(160, 160, 160), QColor(184, 184, 184),
                     Qt::black, Qt::white, Qt::white, face);
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::Midlight, QColor(227, 227, 227));
    palette.setColor(QPalette::Shadow, QColor(105, 105, 105));
    palette.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
    palette.setColor(QPalette::Highlight, QColor(0, 102, 204));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0, 0, 238));
    palette.setColor(QPalette::LinkVisited, QColor(85, 26, 139));
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(96, 96, 96));
    const QColor disabledText(120, 120, 120);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Base, face);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(145, 145, 145));
    return palette;
}

// Makes a window's palette again whenever the system's colours change. Qt sends a window
// ThemeChange when the platform's theme changes, and ApplicationPaletteChange when the
// application's palette does.
class TFaceKeeper : public QObject {
public:
    TFaceKeeper(QWidget &Window, std::function<void()> Recolour)
        : QObject(&Window)
        , FWindow(Window)
        , FRecolour(std::move(Recolour))
    {
        Window.installEventFilter(this);
    }

    void Apply()
    {
        FWindow.setPalette(SkyBluePalette(QApplication::palette(&FWindow)));
        if (FRecolour)
            FRecolour();
    }

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        const QEvent::Type type = Event->type();
        if (Watched == &FWindow &&
            (type == QEvent::ThemeChange || type == QEvent::ApplicationPaletteChange))
            Apply();
        return false;
    }

private:
    QWidget &FWindow;
    std::function<void()> FRecolour;
};

} // namespace

QPalette SkyBluePalette(const QPalette &System)
{
    if (ContrastThemeOn())
        return System;
    QPalette palette = IsDark(System) ? LightPalette() : System;
    palette.setColor(QPalette::Window, WindowSkyBlue);
    return palette;
}

void SetSkyBlueFace(QWidget &Window, std::function<void()> Recolour)
{
    auto *keeper = new TFaceKeeper(Window, std::move(Recolour));
    keeper->Apply();
    Window.setAutoFillBackground(true);
}

QColor BlackText(const QPalette &Palette)
{
    return ContrastThemeOn() ? Palette.color(QPalette::WindowText) : QColor(Qt::black);
}
