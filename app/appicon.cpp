#include "appicon.h"

#include "windowstyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor Navy(24, 54, 104);

QPixmap Canvas(int Size)
{
    QPixmap pixmap(Size, Size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap DrawLoaderIcon(int Size)
{
    QPixmap pixmap = Canvas(Size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Size / 32.0, Size / 32.0);
    // A chip with its pins.
    p.setPen(QPen(Qt::darkGray, 2));
    for (int y = 8; y <= 24; y += 4) {
        p.drawLine(QLineF(3, y, 8, y));
        p.drawLine(QLineF(24, y, 29, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Navy);
    p.drawRoundedRect(QRectF(7, 4, 18, 24), 2, 2);
    // A downward arrow: data going in.
    p.setBrush(WindowSkyBlue);
    QPainterPath arrow;
    arrow.moveTo(14, 8);
    arrow.lineTo(18, 8);
    arrow.lineTo(18, 16);
    arrow.lineTo(21, 16);
    arrow.lineTo(16, 23);
    arrow.lineTo(11, 16);
    arrow.lineTo(14, 16);
    arrow.closeSubpath();
    p.drawPath(arrow);
    return pixmap;
}

template <typename Draw> QIcon IconOfSizes(Draw DrawAt)
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(DrawAt(size));
    return icon;
}

} // namespace

QPixmap DrawSetupIcon(int Size)
{
    QPixmap pixmap = Canvas(Size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Size / 32.0, Size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Navy);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    // Radio waves leaving the dongle's antenna.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(WindowSkyBlue, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(14, 4, 12, 12), -30 * 16, 120 * 16);
    p.drawArc(QRectF(10, 0, 20, 20), -30 * 16, 120 * 16);
    // The letter Z.
    QPainterPath z;
    z.moveTo(6, 13);
    z.lineTo(17, 13);
    z.lineTo(7, 26);
    z.lineTo(18, 26);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(z);
    return pixmap;
}

QIcon SetupIcon()
{
    return IconOfSizes(DrawSetupIcon);
}

QIcon LoaderIcon()
{
    return IconOfSizes(DrawLoaderIcon);
}
