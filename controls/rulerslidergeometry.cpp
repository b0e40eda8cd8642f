// The slider's layout: where the ruler, the thumb and the points go for the control's size, the
// composed ruler and the pictures drawn, and the mapping between values and thumb positions.

#include "rulerslider.h"

#include "contrasttheme.h"
#include "rulerslidermath.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using SliderMath::ClampToInt;
using SliderMath::RoundHalfEven;

namespace {

constexpr int Indent = 6; // from the slider area's leading edges to ruler and thumb

} // namespace

QRect TCustomRulerSlider::SliderArea() const
{
    const QRect area = rect();
    if (FBevelStyle == bvNone)
        return area;
    return area.adjusted(BevelInset, BevelInset, -BevelInset, -BevelInset);
}

int TCustomRulerSlider::TrackOrigin() const
{
    const QRect area = SliderArea();
    return (Vertical() ? area.top() : area.left()) + Indent;
}

QRect TCustomRulerSlider::ThumbBox() const
{
    EnsureLayout();
    return FThumbBox;
}

QPoint TCustomRulerSlider::RulerTopLeft() const
{
    EnsureLayout();
    return FRulerTopLeft;
}

QSize TCustomRulerSlider::RulerSize() const
{
    EnsureLayout();
    return FRulerBitmap.size();
}

QRect TCustomRulerSlider::PointsBox() const
{
    EnsureLayout();
    return FPointsBox;
}

int TCustomRulerSlider::TrackLength() const
{
    EnsureLayout();
    return FTrackLength;
}

// A hidden widget that is resized receives its resize event only when it is shown, so the layout
// is checked against the size whenever it is read and before every event, the resize event among
// them. While the control is being loaded, size changes leave the layout alone. Like
// QWidget::ensurePolished(), this brings a cache up to date from a const reader.
void TCustomRulerSlider::EnsureLayout() const
{
    if (!FLoading && FLayoutSize != size())
        const_cast<TCustomRulerSlider *>(this)->RebuildLayout();
}

void TCustomRulerSlider::RebuildLayout()
{
    const int remembered = FValue;
    ComputeLayout();
    ComposePictures();
    ApplyValue(remembered);
    update();
}

// A control too short for its thumb gets a track length of 0: every value then sits at the
// start of the track.
void TCustomRulerSlider::ComputeLayout()
{
    FLayoutSize = size();
    const QRect area = SliderArea();
    const QImage &thumb = FImages.at(Vertical() ? siVThumb : siHThumb);
    const QImage &ruler = FImages.at(Vertical() ? siVRuler : siHRuler);
    const QSize thumbSize(thumb.width() / FNumThumbStates, thumb.height());
    const int left = area.left() + Indent;
    const int top = area.top() + Indent;

    if (!Vertical()) {
        const int rulerLength = std::max(area.width() - 2 * Indent, 0);
        const int rulerHeight = ruler.height();
        FTrackLength = std::max(rulerLength - thumbSize.width(), 0);
        if (thumbSize.height() > rulerHeight) {
            FThumbBox = QRect(QPoint(left, top), thumbSize);
            FRulerTopLeft = QPoint(left, top + (thumbSize.height() - rulerHeight) / 2);
        } else {
            FThumbBox =
                QRect(QPoint(left, top + (rulerHeight - thumbSize.height()) / 2), thumbSize);
            FRulerTopLeft = QPoint(left, top);
        }
        const int pointsTop = top + std::max(thumbSize.height(), rulerHeight) + 1;
        FPointsBox = QRect(QPoint(left, pointsTop), QPoint(area.right(), area.bottom()));
    } else {
        const int rulerLength = std::max(area.height() - 2 * Indent, 0);
        const int rulerWidth = ruler.width();
        FTrackLength = std::max(rulerLength - thumbSize.height(), 0);
        const int wider = std::max(thumbSize.width(), rulerWidth);
        FThumbBox = QRect(QPoint(left + (wider - thumbSize.width()) / 2, top), thumbSize);
        FRulerTopLeft = QPoint(left + (wider - rulerWidth) / 2, top);
        FPointsBox = QRect(QPoint(left + wider + 1, top), QPoint(area.right(), area.bottom()));
    }
}

namespace {

// The picture with its transparent colour cleared, then opaque; drawn at 1/Scale of its size.
std::array<QPixmap, 2> PicturePair(const QImage &Image, int Scale)
{
    std::array<QPixmap, 2> pair = {SliderPixmap(Image, false), SliderPixmap(Image, true)};
    for (QPixmap &pixmap : pair)
        pixmap.setDevicePixelRatio(Scale);
    return pair;
}

} // namespace

// The pictures for both scales. A user's image has no 2x form: on a screen of a higher pixel
// ratio its 1x picture serves and is scaled when drawn, as every picture was before. Under a
// contrast theme the built-in pictures are drawn in the palette's text colour on the control's
// background; a user's image stays as it was given.
void TCustomRulerSlider::ComposePictures()
{
    const TSliderImage thumb = Vertical() ? siVThumb : siHThumb;
    const TSliderImage ruler = Vertical() ? siVRuler : siHRuler;
    const auto shown = [this, contrast = ContrastThemeOn()](const QImage &Image,
                                                            TSliderImage Index) {
        if (!contrast || (FUserImages & (1u << Index)))
            return Image;
        return TwoColourSliderImage(Image, palette().color(QPalette::WindowText),
                                    palette().color(backgroundRole()));
    };
    FRulerBitmap = ComposeRuler(FImages.at(ruler), 1);
    FPictures.at(0) = {PicturePair(shown(FRulerBitmap, ruler), 1),
                       PicturePair(shown(FImages.at(thumb), thumb), 1)};
    FPictures.at(1) = FPictures.at(0);
    if (!(FUserImages & (1u << ruler)))
        FPictures.at(1).Ruler =
            PicturePair(shown(ComposeRuler(BuiltInSliderImage(ruler, 2), 2), ruler), 2);
    if (!(FUserImages & (1u << thumb)))
        FPictures.at(1).Thumb = PicturePair(shown(BuiltInSliderImage(thumb, 2), thumb), 2);
}

// The ruler image is cut along the track into a start edge, a middle and an end edge; the middle
// is repeated to fill the length. Edges that leave no middle are narrowed so that at least one
// pixel of it remains; parts that no piece covers stay transparent. At Scale 2 the image is the
// 2x one and every length along the track is doubled.
QImage TCustomRulerSlider::ComposeRuler(const QImage &Image, int Scale) const
{
    const QRect area = SliderArea();
    const int length =
        std::max((Vertical() ? area.height() : area.width()) - 2 * Indent, 0) * Scale;
    const int imageLength = Vertical() ? Image.height() : Image.width();
    const QSize size = Vertical() ? QSize(Image.width(), length) : QSize(length, Image.height());

    QImage composed(size, QImage::Format_RGB32);
    composed.fill(TransparentColor(Image));
    if (!composed.isNull() && imageLength > 0) {
        const int edge = std::min({FEdgeSize * Scale, (imageLength - 1) / 2, length / 2});
        const int middle = imageLength - 2 * edge;
        const int count = (length - 2 * edge) / middle;
        const int rest = (length - 2 * edge) % middle;

        QPainter painter(&composed);
        auto copyPiece = [&](int From, int PieceLength, int To) {
            const QRect source = Vertical() ? QRect(0, From, Image.width(), PieceLength)
                                            : QRect(From, 0, PieceLength, Image.height());
            painter.drawImage(Vertical() ? QPoint(0, To) : QPoint(To, 0), Image, source);
        };
        copyPiece(0, edge + middle, 0);
        for (int piece = 1; piece < count; ++piece)
            copyPiece(edge, middle, edge + piece * middle);
        copyPiece(imageLength - (edge + rest), edge + rest, edge + count * middle);
    }
    return composed;
}

// A zero range (possible only while loading) puts every value at the start of the track.
int TCustomRulerSlider::ValueToOffset(int Value) const
{
    EnsureLayout();
    const long long range = Range();
    const long long position =
        range > 0 ? RoundHalfEven(FTrackLength * ((static_cast<double>(Value) - FMinValue) /
                                                  static_cast<double>(range)))
                  : 0;
    const QRect area = SliderArea();
    const long long origin = TrackOrigin();
    if (!Vertical())
        return ClampToInt(std::max(origin + position, origin));
    // Mirrored so that MinValue lies at the bottom: top + bottom - thumb height - (origin +
    // position), with bottom = top + height. The top edge counts twice on purpose, as origin holds
    // it once more: at MinValue the thumb ends Indent pixels above the area's bottom edge.
    const long long bottom = static_cast<long long>(area.top()) + area.top() + area.height();
    return ClampToInt(std::max(bottom - FThumbBox.height() - (origin + position), origin));
}

int TCustomRulerSlider::OffsetToValue(int Offset) const
{
    EnsureLayout();
    const long long range = Range();
    // Vertical: the client height less the area's top is the area's bottom edge (top + height)
    // with or without a bevel, so this undoes ValueToOffset.
    const long long position = Vertical() ? static_cast<long long>(height()) - FThumbBox.height() -
                                                Offset - (SliderArea().top() + Indent)
                                          : static_cast<long long>(Offset) - TrackOrigin();
    long long steps = 0;
    if (FTrackLength > 0 && range > 0)
        steps = RoundHalfEven(static_cast<double>(position) * static_cast<double>(range) /
                              FTrackLength);
    if (!(FOptions & soSmooth))
        steps = RoundHalfEven(static_cast<double>(steps) / FIncrement) * FIncrement;
    return ClampToInt(
        std::min(FMinValue + std::max(steps, 0LL), static_cast<long long>(FMaxValue)));
}

int TCustomRulerSlider::AlignOffset(int Offset) const
{
    const int origin = TrackOrigin();
    const int aligned = std::clamp(Offset, origin, origin + FTrackLength);
    return std::min(ValueToOffset(OffsetToValue(aligned)), origin + FTrackLength);
}

// What a repaint of the thumb covers. At a fractional pixel ratio the thumb's edges fall between
// device pixels, and an update of its box alone may leave out a column that it touches.
QRect TCustomRulerSlider::ThumbArea() const
{
    const qreal ratio = devicePixelRatioF();
    const int margin = ratio == std::floor(ratio) ? 0 : 1;
    return FThumbBox.adjusted(-margin, -margin, margin, margin);
}

// The thumb jumps from one value position to the next; while dragged it carries the value.
void TCustomRulerSlider::MoveThumbTo(int Offset)
{
    const int remembered = FValue;
    const int leading = AlignOffset(Offset);
    update(ThumbArea());
    if (Vertical())
        FThumbBox.moveTop(leading);
    else
        FThumbBox.moveLeft(leading);
    update(ThumbArea());
    if (FDragging) {
        FValue = OffsetToValue(leading);
        if (FValue != remembered)
            AnnounceChange();
    }
}
