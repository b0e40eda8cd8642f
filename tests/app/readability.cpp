#include "readability.h"

#include "numedit.h"
#include "programwindows.h"
#include "rulerslider.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <map>
#include <sstream>

namespace {

double RelativeLuminance(QRgb Colour)
{
    const auto linear = [](int Channel) {
        const double c = Channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(Colour)) + 0.7152 * linear(qGreen(Colour)) +
           0.0722 * linear(qBlue(Colour));
}

QRgb CommonestColour(const QImage &Picture, QRect Area)
{
    std::map<QRgb, int> counts;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            ++counts[Picture.pixel(x, y) | 0xff000000u];
    QRgb commonest = 0;
    int most = 0;
    for (const auto &[colour, count] : counts) {
        if (count > most) {
            commonest = colour;
            most = count;
        }
    }
    return commonest;
}

QRect InWindow(const QWidget &Window, const QWidget &Control, QRect Area)
{
    return Area.translated(Control.mapTo(&Window, QPoint(0, 0)));
}

void AddSliderAreas(const QWidget &Window, TRulerSlider &Slider, std::vector<TInkArea> &Areas)
{
    const QRect behind = InWindow(Window, Slider, Slider.rect());
    const QString name = Slider.objectName();
    const QRect points = Slider.PointsBox();
    Areas.push_back({name + QStringLiteral(" ruler"),
                     InWindow(Window, Slider, QRect(Slider.RulerTopLeft(), Slider.RulerSize())),
                     behind});
    Areas.push_back(
        {name + QStringLiteral(" thumb"), InWindow(Window, Slider, Slider.ThumbBox()), behind});
    Areas.push_back(
        {name + QStringLiteral(" ticks"),
         InWindow(Window, Slider,
                  QRect(points.left(), points.top(), points.width(), 5).intersected(Slider.rect())),
         behind});
}

} // namespace

std::vector<TInkArea> InkAreas(const QWidget &Window)
{
    std::vector<TInkArea> areas;
    for (QWidget *control : Window.findChildren<QWidget *>()) {
        if (!control->isVisibleTo(&Window) || !control->isEnabled())
            continue;
        // Inside the frames of buttons and boxes, whose edges would pass for ink.
        QRect inside = control->rect();
        if (auto *label = qobject_cast<QLabel *>(control); label && label->text().isEmpty())
            continue;
        if (qobject_cast<QPushButton *>(control))
            inside.adjust(5, 5, -5, -5);
        else if (auto *edit = qobject_cast<QLineEdit *>(control); edit && edit->hasFrame())
            inside.adjust(3, 3, -3, -3);
        else if (auto *slider = qobject_cast<TRulerSlider *>(control)) {
            AddSliderAreas(Window, *slider, areas);
            continue;
        } else if (!qobject_cast<QLabel *>(control) && !qobject_cast<QLineEdit *>(control))
            continue;
        const QRect area = InWindow(Window, *control, inside);
        const QString name = control->objectName().isEmpty()
                                 ? QString::fromLatin1(control->metaObject()->className())
                                 : control->objectName();
        areas.push_back({name, area, area});
    }
    return areas;
}

double ContrastRatio(QRgb First, QRgb Second)
{
    const double first = RelativeLuminance(First);
    const double second = RelativeLuminance(Second);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

TContrast MeasureContrast(const QImage &Picture, const TInkArea &Area)
{
    const QRgb background = CommonestColour(Picture, Area.Background);
    const double behind = RelativeLuminance(background);
    QRgb ink = background;
    for (int y = Area.Ink.top(); y <= Area.Ink.bottom(); ++y) {
        for (int x = Area.Ink.left(); x <= Area.Ink.right(); ++x) {
            const QRgb pixel = Picture.pixel(x, y) | 0xff000000u;
            if (std::abs(RelativeLuminance(pixel) - behind) >
                std::abs(RelativeLuminance(ink) - behind))
                ink = pixel;
        }
    }
    return {background, ink, ContrastRatio(background, ink)};
}

void FillForReading(TProgramWindows &Windows)
{
    TZRSetupForm &form = Windows.ZRSetupForm;
    form.Timer1->stop();
    form.Ports->setEditText(QStringLiteral("COM3"));
    form.DownloadButton->setEnabled(true);
    Windows.Boot.Status->setText(QStringLiteral("Programming EEPROM"));
    Windows.Boot.Status->adjustSize();
    Windows.Boot.Percent->SetValue(50);
}

testing::AssertionResult ReadsEverywhere(const QImage &Picture, const QWidget &Window, double Least)
{
    const std::vector<TInkArea> areas = InkAreas(Window);
    if (areas.empty())
        return testing::AssertionFailure()
               << "nothing to read on " << Window.objectName().toStdString();
    std::ostringstream unreadable;
    for (TInkArea area : areas) {
        // A label wider than its window (a font wider than the one it was laid out for) is cut
        // off there: what the window shows of it is what a person reads.
        area.Ink &= Picture.rect();
        area.Background &= Picture.rect();
        if (area.Ink.isEmpty() || area.Background.isEmpty()) {
            unreadable << area.Name.toStdString() << " lies outside the window; ";
            continue;
        }
        const TContrast contrast = MeasureContrast(Picture, area);
        if (contrast.Ratio < Least)
            unreadable << area.Name.toStdString() << ": "
                       << QColor(contrast.Ink).name().toStdString() << " on "
                       << QColor(contrast.Background).name().toStdString() << " reads at "
                       << contrast.Ratio << ":1; ";
    }
    if (unreadable.str().empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << Window.objectName().toStdString() << ": " << unreadable.str();
}
