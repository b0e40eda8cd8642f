// The windows under each colour scheme: sky blue with dark texts on a light or a dark desktop,
// the system's own colours under a contrast theme, dark or light. Every text, tick, ruler, value
// box and button reads at 4.5:1 or better, and an open window follows a change of scheme.
#include "contrasttheme.h"
#include "programwindows.h"
#include "readability.h"
#include "rulerslider.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

const QColor SkyBlue(166, 202, 240);

// A desktop's palette: Text on Face, with Box behind edited text, Selection behind SelectedText
// and Disabled for what is disabled.
QPalette DesktopPalette(QColor Text, QColor Face, QColor Box, QColor Selection, QColor SelectedText,
                        QColor Disabled)
{
    QPalette palette(Text, Face, Face.lighter(150), Face.darker(150), Face.darker(120), Text, Text,
                     Box, Face);
    palette.setColor(QPalette::Highlight, Selection);
    palette.setColor(QPalette::HighlightedText, SelectedText);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, Disabled);
    return palette;
}

// GNOME's dark Adwaita, as Qt's GTK platform theme gives it.
QPalette DarkAdwaita()
{
    return DesktopPalette(QColor(238, 238, 236), QColor(53, 53, 53), QColor(45, 45, 45),
                          QColor(53, 132, 228), Qt::white, QColor(145, 145, 145));
}

// Windows' "Night sky" and "Desert" contrast themes.
QPalette NightSky()
{
    return DesktopPalette(Qt::white, Qt::black, Qt::black, QColor(214, 180, 253),
                          QColor(43, 43, 43), QColor(166, 166, 166));
}

QPalette Desert()
{
    return DesktopPalette(QColor(61, 61, 61), QColor(255, 250, 239), QColor(255, 250, 239),
                          QColor(144, 57, 9), QColor(255, 245, 227), QColor(103, 103, 103));
}

QImage Picture(QWidget &Window)
{
    return Window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The colours a control's picture is drawn in.
std::set<QRgb> ColoursOf(QWidget &Control)
{
    const QImage picture = Picture(Control);
    std::set<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y));
    return colours;
}

void SendThemeChange(QWidget &Window)
{
    QEvent event(QEvent::ThemeChange);
    QApplication::sendEvent(&Window, &event);
}

// The windows of the program, as in a run.
class TShownWindows {
public:
    TShownWindows()
    {
        FillForReading(Windows);
        for (QWidget *window : All()) {
            window->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        }
    }

    std::vector<QWidget *> All()
    {
        return {&Windows.ZRSetupForm, &Windows.UpdateDlgM, &Windows.Boot};
    }

    // The windows of sky blue, as against the caution dialog, which has the desktop's colours.
    std::vector<QWidget *> SkyBlueOnes() { return {&Windows.ZRSetupForm, &Windows.Boot}; }

    void ExpectReadable(const char *Scheme)
    {
        for (QWidget *window : All())
            EXPECT_TRUE(ReadsEverywhere(Picture(*window), *window)) << Scheme;
    }

    TProgramWindows Windows;
};

class TSchemes : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("ZARNELL_PORTS", "");
        FDesktop = QApplication::palette();
    }

    void TearDown() override
    {
        SetContrastThemeAnswer(std::nullopt);
        QApplication::setPalette(FDesktop);
        qunsetenv("ZARNELL_PORTS");
    }

    // The desktop's palette, as Qt hands a new one to the open windows.
    static void SetDesktop(const QPalette &Palette)
    {
        QApplication::setPalette(Palette);
        QCoreApplication::sendPostedEvents();
    }

    QPalette FDesktop;
};

} // namespace

TEST_F(TSchemes, EveryPartReadsUnderEachScheme)
{
    struct TScheme {
        const char *Name;
        QPalette Desktop;
        bool Contrast;
    };
    const TScheme schemes[] = {
        {"dark desktop", DarkAdwaita(), false},
        {"dark contrast theme", NightSky(), true},
        {"light contrast theme", Desert(), true},
    };
    for (const TScheme &scheme : schemes) {
        SetDesktop(scheme.Desktop);
        SetContrastThemeAnswer(scheme.Contrast);
        TShownWindows shown;
        shown.ExpectReadable(scheme.Name);
        const QColor face = scheme.Contrast ? scheme.Desktop.color(QPalette::Window) : SkyBlue;
        for (QWidget *window : shown.SkyBlueOnes())
            EXPECT_EQ(window->palette().color(QPalette::Window), face) << scheme.Name;
        if (scheme.Contrast) {
            // The slider's pictures in the theme's two colours, as the system draws its own.
            const std::set<QRgb> two = {scheme.Desktop.color(QPalette::Window).rgb(),
                                        scheme.Desktop.color(QPalette::WindowText).rgb()};
            EXPECT_EQ(ColoursOf(*shown.Windows.ZRSetupForm.IDSlider), two) << scheme.Name;
        }
    }
}

TEST_F(TSchemes, OpenWindowsFollowEachChangeOfSchemeAndComeBackAsTheyWere)
{
    TShownWindows shown;
    std::vector<QImage> before;
    for (QWidget *window : shown.All())
        before.push_back(Picture(*window));

    SetDesktop(DarkAdwaita());
    shown.ExpectReadable("dark desktop, switched to");
    for (QWidget *window : shown.SkyBlueOnes())
        EXPECT_EQ(window->palette().color(QPalette::Window), SkyBlue);

    // Windows tells of a contrast theme with new system colours, which Qt passes on as a new
    // palette and a theme change.
    SetContrastThemeAnswer(true);
    SetDesktop(NightSky());
    for (QWidget *window : shown.All())
        SendThemeChange(*window);
    shown.ExpectReadable("dark contrast theme, switched to");
    for (QWidget *window : shown.SkyBlueOnes())
        EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::black));

    SetContrastThemeAnswer(false);
    SetDesktop(FDesktop);
    for (QWidget *window : shown.All())
        SendThemeChange(*window);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(Picture(*shown.All().at(i)), before.at(i))
            << shown.All().at(i)->objectName().toStdString() << " looks as it did";
}
