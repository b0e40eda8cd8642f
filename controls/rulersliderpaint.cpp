// The slider's painting: bevel, background, ruler, focus rectangle, points and thumb, drawn off
// screen and copied in one step.

#include "rulerslider.h"

#include "rulerslidermath.h"

#include <QEvent>
#include <QMetaMethod>
#include <QPainter>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

using SliderMath::ClampToInt;
using SliderMath::RoundHalfEven;

namespace {

constexpr int StandardPointsHeight = 3;        // tick marks
constexpr int StandardExtremePointsHeight = 5; // tick marks at MinValue and MaxValue
constexpr int MinPointSpacing = 4;

// Fills a line of whole logical pixels on whole device pixels. At a fractional pixel ratio a
// plain fill gives one-pixel lines one or two device pixels wide, depending on where they fall;
// here each takes the same width, its logical width times the ratio rounded, about its centre.
void FillOnDevicePixels(QPainter &Painter, QRect Line, const QColor &Color)
{
    const QTransform device = Painter.deviceTransform();
    if (device.type() > QTransform::TxScale ||
        (device.m11() == std::floor(device.m11()) && device.m22() == std::floor(device.m22()))) {
        Painter.fillRect(Line, Color);
        return;
    }
    const QRectF mapped = device.mapRect(QRectF(Line));
    const int width = std::max(1, qRound(mapped.width()));
    const int height = std::max(1, qRound(mapped.height()));
    const QRect pixels(qRound(mapped.center().x() - width / 2.0),
                       qRound(mapped.center().y() - height / 2.0), width, height);
    Painter.save();
    Painter.setWorldTransform(device.inverted() * Painter.worldTransform());
    Painter.fillRect(pixels, Color);
    Painter.restore();
}

} // namespace

// The whole control is drawn off screen and copied in one step, so a dragged thumb does not
// flicker. At a fractional pixel ratio the control's last row and column of device pixels are
// partly its own: the buffer takes them in whole, in the background colour, as the control is
// opaque and nothing else paints them.
void TCustomRulerSlider::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    const QSize bufferSize(static_cast<int>(std::ceil(width() * ratio)),
                           static_cast<int>(std::ceil(height() * ratio)));
    if (FBuffer.size() != bufferSize)
        FBuffer = QPixmap(bufferSize);
    FBuffer.setDevicePixelRatio(ratio);
    FBuffer.fill(palette().color(backgroundRole()));
    {
        QPainter painter(&FBuffer);
        PaintSlider(painter, FThumbBox, FThumbShownPressed || !isEnabled());
    }
    QPainter(this).drawPixmap(0, 0, FBuffer);
}

QPixmap TCustomRulerSlider::PaintedCopy()
{
    EnsureLayout();
    QPixmap copy(size());
    QRect thumbBox = FThumbBox;
    if (Vertical())
        thumbBox.moveTop(ValueToOffset(DisplayedValue()));
    else
        thumbBox.moveLeft(ValueToOffset(DisplayedValue()));
    QPainter painter(&copy);
    PaintSlider(painter, thumbBox, !isEnabled());
    return copy;
}

// A new palette may come with a contrast theme switched on or off, which the pictures follow.
void TCustomRulerSlider::changeEvent(QEvent *Event)
{
    if (Event->type() == QEvent::EnabledChange)
        update(ThumbArea());
    if (Event->type() == QEvent::PaletteChange && !FLoading) {
        ComposePictures();
        update();
    }
    QWidget::changeEvent(Event);
}

// On a screen of a higher pixel ratio the ruler and the thumb come from their 2x pictures;
// geometry stays in logical pixels throughout.
void TCustomRulerSlider::PaintSlider(QPainter &Painter, QRect ThumbPlace, bool SecondState)
{
    const TPictures &pictures = FPictures.at(Painter.device()->devicePixelRatioF() > 1 ? 1 : 0);
    DrawBevel(Painter);
    Painter.fillRect(SliderArea(), palette().color(backgroundRole()));
    const QPixmap &ruler = pictures.Ruler.at(FOptions & soRulerOpaque ? 1 : 0);
    Painter.drawPixmap(QRect(FRulerTopLeft, FRulerBitmap.size()), ruler, ruler.rect());
    if ((FOptions & soShowFocus) && FHasFocus)
        DrawFocusRect(Painter);

    if (FOptions & soShowPoints) {
        FCanvas = &Painter;
        const auto endOfPoints = qScopeGuard([this] { FCanvas = nullptr; });
        if (isSignalConnected(QMetaMethod::fromSignal(&TCustomRulerSlider::OnDrawPoints)))
            emit OnDrawPoints(this);
        else
            DrawStandardPoints(FIncrement, StandardPointsHeight, StandardExtremePointsHeight);
    }

    const int state = SecondState && FNumThumbStates > 1 ? 1 : 0;
    const QPixmap &thumb = pictures.Thumb.at(FOptions & soThumbOpaque ? 1 : 0);
    const qreal scale = thumb.devicePixelRatio();
    const QRectF source(state * ThumbPlace.width() * scale, 0, ThumbPlace.width() * scale,
                        ThumbPlace.height() * scale);
    Painter.drawPixmap(QRectF(ThumbPlace), thumb, source);
}

void TCustomRulerSlider::DrawBevel(QPainter &Painter) const
{
    if (FBevelStyle == bvNone)
        return;
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    const bool lowered = FBevelStyle == bvLowered;
    const QColor &topLeft = lowered ? shadow : highlight;
    const QColor &bottomRight = lowered ? highlight : shadow;
    const QRect area = rect();
    Painter.fillRect(QRect(area.left(), area.top(), area.width(), BevelInset), topLeft);
    Painter.fillRect(QRect(area.left(), area.top(), BevelInset, area.height()), topLeft);
    Painter.fillRect(QRect(area.left(), area.bottom(), area.width(), BevelInset), bottomRight);
    Painter.fillRect(QRect(area.right(), area.top(), BevelInset, area.height()), bottomRight);
}

void TCustomRulerSlider::DrawFocusRect(QPainter &Painter)
{
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = SliderArea().adjusted(2, 2, -2, -2);
    option.backgroundColor = palette().color(backgroundRole());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &Painter, this);
}

// Tick marks for MinValue, MinValue + e × Step, ... and MaxValue, with e the smallest multiple
// that leaves at least 4 pixels between neighbours. Nothing is drawn for an empty range.
void TCustomRulerSlider::DrawStandardPoints(int Step, int PointsHeight, int ExtremePointsHeight)
{
    const long long range = Range();
    if (!FCanvas || range <= 0 || Step <= 0)
        return;
    const int length = FTrackLength;

    // Smaller multiples cannot give the spacing, so the search starts near the answer.
    const double widestCount = std::max(length / static_cast<double>(MinPointSpacing), 1.0) + 0.5;
    long long multiple =
        std::max(1LL, static_cast<long long>(static_cast<double>(range) /
                                             (static_cast<double>(Step) * widestCount)));
    long long count = 0;
    for (;; ++multiple) {
        count =
            RoundHalfEven(static_cast<double>(range) / static_cast<double>(multiple * Step)) + 1;
        const long long spacing = count > 1 ? length / (count - 1) : length;
        if (spacing >= MinPointSpacing || spacing >= length)
            break;
    }

    const QColor color = palette().color(QPalette::WindowText);
    for (long long point = 0; point < count; ++point) {
        const long long value =
            point == count - 1 ? FMaxValue : FMinValue + point * multiple * Step;
        const int offset = ValueToOffset(ClampToInt(value));
        const bool extreme = value == FMinValue || value == FMaxValue;
        const int span = extreme ? ExtremePointsHeight : PointsHeight;
        const QRect line = Vertical()
                               ? QRect(FPointsBox.left(), offset + FThumbBox.height() / 2, span, 1)
                               : QRect(offset + FThumbBox.width() / 2, FPointsBox.top(), 1, span);
        FillOnDevicePixels(*FCanvas, line, color);
    }
}
