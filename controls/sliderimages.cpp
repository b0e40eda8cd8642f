#include "sliderimages.h"

#include <array>

// The library registers its own resources so that a program linking it statically needs no
// Q_INIT_RESOURCE of its own; registering them once is enough for the whole process. (The macro
// must not be used inside a namespace.)
static void RegisterResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(controls);
        return true;
    }();
    Q_UNUSED(registered);
}

QImage BuiltInSliderImage(TSliderImage Index, int Scale)
{
    static const std::array<const char *, SliderImageCount> names = {
        ":/SliderHThumb", ":/SliderHRuler", ":/SliderVThumb", ":/SliderVRuler"};
    RegisterResources();
    QString name = QString::fromLatin1(names.at(Index));
    if (Scale == 2)
        name += QStringLiteral("2x");
    return QImage(name).convertToFormat(QImage::Format_RGB32);
}

QRgb TransparentColor(const QImage &Image)
{
    return Image.isNull() ? qRgb(255, 0, 255) : Image.pixel(0, Image.height() - 1);
}

QImage TwoColourSliderImage(const QImage &Image, const QColor &Ink, const QColor &Face)
{
    constexpr QRgb silver = qRgb(192, 192, 192);
    const QRgb transparent = TransparentColor(Image) | 0xff000000u;
    QImage recoloured = Image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < recoloured.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(recoloured.scanLine(y));
        for (int x = 0; x < recoloured.width(); ++x) {
            if (line[x] != transparent)
                line[x] = line[x] == silver ? Face.rgb() : Ink.rgb();
        }
    }
    return recoloured;
}

QPixmap SliderPixmap(const QImage &Image, bool Opaque)
{
    if (Image.isNull() || Opaque)
        return QPixmap::fromImage(Image);
    const QRgb transparent = TransparentColor(Image) | 0xff000000u;
    QImage masked = Image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < masked.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x) {
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return QPixmap::fromImage(masked);
}
