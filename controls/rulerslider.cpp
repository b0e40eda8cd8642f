#include "rulerslider.h"

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace {

constexpr int Indent = 6;              // from the slider area's leading edges to ruler and thumb
constexpr int TrackSlack = 3;          // a track press may land this far beside the ruler
constexpr int RepeatInterval = 400;    // ms between steps while the track is held
constexpr int PointsHeight = 3;        // tick marks
constexpr int ExtremePointsHeight = 5; // tick marks at MinValue and MaxValue
constexpr int MinPointSpacing = 4;

// Positions round halves to the even neighbour (the default FE_TONEAREST mode).
long long RoundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value));
}

// Rectangles here include their far edges: a width of 9 from x 6 reaches x 15.
bool ContainsWithEdges(QRect box, QPoint point)
{
    return point.x() >= box.left() && point.x() <= box.left() + box.width() &&
           point.y() >= box.top() && point.y() <= box.top() + box.height();
}

int ClampToInt(long long value)
{
    return int(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

TCustomRulerSlider::TCustomRulerSlider(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(150, 40);
    for (int index = 0; index < SliderImageCount; ++index)
        FImages.at(index) = BuiltInSliderImage(TSliderImage(index));
    RebuildLayout();
}

// No notification may reach a handler while the control is torn down.
TCustomRulerSlider::~TCustomRulerSlider()
{
    disconnect(this, &TCustomRulerSlider::OnChange, nullptr, nullptr);
    disconnect(this, &TCustomRulerSlider::OnChanged, nullptr, nullptr);
    disconnect(this, &TCustomRulerSlider::OnDrawPoints, nullptr, nullptr);
}

void TCustomRulerSlider::BeginLoading()
{
    FLoading = true;
}

// The user's images are assigned to themselves so that the layout is rebuilt from them; the
// layout is rebuilt once more in any case, since size changes made while loading were skipped.
void TCustomRulerSlider::Loaded()
{
    FLoading = false;
    for (int index = 0; index < SliderImageCount; ++index) {
        if (FUserImages & (1u << index))
            SetImage(TSliderImage(index), QImage(FImages.at(index)));
    }
    RebuildLayout();
}

QStringList TCustomRulerSlider::StoredProperties() const
{
    static const std::array<const char *, SliderImageCount> imageNames = {
        "ImageHThumb", "ImageHRuler", "ImageVThumb", "ImageVRuler"};
    QStringList names;
    auto storeIf = [&names](bool differs, const char *name) {
        if (differs)
            names << QString::fromLatin1(name);
    };
    storeIf(FBevelStyle != bvNone, "BevelStyle");
    for (int index = 0; index < SliderImageCount; ++index)
        storeIf(FUserImages & (1u << index), imageNames.at(index));
    storeIf(FIncrement != 10, "Increment");
    storeIf(FMinValue != 0, "MinValue");
    storeIf(FMaxValue != 100, "MaxValue");
    storeIf(FNumThumbStates != 2, "NumThumbStates");
    storeIf(FOrientation != soHorizontal, "Orientation");
    storeIf(FEdgeSize != 2, "EdgeSize");
    storeIf(FOptions != (soShowFocus | soShowPoints | soSmooth), "Options");
    storeIf(FValue != 0, "Value");
    storeIf(FUserImages != 0, "UserImages");
    return names;
}

// ---- Properties

void TCustomRulerSlider::SetValue(int value)
{
    ApplyValue(value);
}

void TCustomRulerSlider::SetMinValue(int value)
{
    if (value != FMinValue)
        ApplyRange(value, FMaxValue);
}

void TCustomRulerSlider::SetMaxValue(int value)
{
    if (value != FMaxValue)
        ApplyRange(FMinValue, value);
}

void TCustomRulerSlider::SetIncrement(int increment)
{
    const long long range = (long long)FMaxValue - FMinValue;
    if (!FLoading && (increment < 1 || increment > range))
        throw ESliderError("Value must be between 1 and " + std::to_string(range));
    if (increment > 0 && increment != FIncrement) {
        FIncrement = increment;
        ApplyValue(FValue);
        update();
    }
}

// Only one or two thumb pictures fit the image; other counts are taken to the nearer one.
void TCustomRulerSlider::SetNumThumbStates(int states)
{
    states = std::clamp(states, 1, 2);
    if (states != FNumThumbStates) {
        FNumThumbStates = states;
        RebuildLayout();
    }
}

void TCustomRulerSlider::SetOrientation(TSliderOrientation orientation)
{
    if (orientation == FOrientation)
        return;
    FOrientation = orientation;
    RebuildLayout();
    if (!FLoading) {
        resize(height(), width());
        // A hidden widget hears of its new size only when shown.
        if (!isVisible())
            RebuildLayout();
    }
}

// The edges must leave at least one pixel of the ruler image's middle; a negative size would
// make the composed ruler longer than its pieces, so it is refused like any other bad size.
void TCustomRulerSlider::SetEdgeSize(int size)
{
    const int along = Vertical() ? FImages.at(siVRuler).height() : FImages.at(siHRuler).width();
    if (size != FEdgeSize && size >= 0 && 2 * size < along) {
        FEdgeSize = size;
        RebuildLayout();
    }
}

void TCustomRulerSlider::SetOptions(TSliderOptions options)
{
    if (options != FOptions) {
        FOptions = options;
        update();
    }
}

void TCustomRulerSlider::SetBevelStyle(TBevelCut style)
{
    if (style != FBevelStyle) {
        FBevelStyle = style;
        RebuildLayout();
        repaint();
    }
}

void TCustomRulerSlider::SetImage(TSliderImage index, const QImage &image)
{
    const quint8 bit = quint8(1u << index);
    if (image.isNull()) {
        FImages.at(index) = BuiltInSliderImage(index);
        FUserImages &= quint8(~bit);
        if (!FLoading) {
            const bool thumb = index == siHThumb || index == siVThumb;
            FOptions &= ~TSliderOptions(thumb ? soThumbOpaque : soRulerOpaque);
            update();
        }
    } else {
        FImages.at(index) = image.convertToFormat(QImage::Format_RGB32);
        FUserImages |= bit;
    }
    RebuildLayout();
}

// ---- Geometry

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

void TCustomRulerSlider::RebuildLayout()
{
    const int remembered = FValue;
    ComputeLayout();
    ComposeRuler();
    ApplyValue(remembered);
    update();
}

// A control too short for its thumb gets a track length of 0: every value then sits at the
// start of the track.
void TCustomRulerSlider::ComputeLayout()
{
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

// The ruler image is cut along the track into a start edge, a middle and an end edge; the middle
// is repeated to fill the length. Edges that leave no middle are narrowed so that at least one
// pixel of it remains; parts that no piece covers stay transparent.
void TCustomRulerSlider::ComposeRuler()
{
    const QImage &image = FImages.at(Vertical() ? siVRuler : siHRuler);
    const QRect area = SliderArea();
    const int length = std::max((Vertical() ? area.height() : area.width()) - 2 * Indent, 0);
    const int imageLength = Vertical() ? image.height() : image.width();
    const QSize size = Vertical() ? QSize(image.width(), length) : QSize(length, image.height());

    FRulerBitmap = QImage(size, QImage::Format_RGB32);
    FRulerBitmap.fill(TransparentColor(image));
    if (!FRulerBitmap.isNull() && imageLength > 0) {
        const int edge = std::min({FEdgeSize, (imageLength - 1) / 2, length / 2});
        const int middle = imageLength - 2 * edge;
        const int count = (length - 2 * edge) / middle;
        const int rest = (length - 2 * edge) % middle;

        QPainter painter(&FRulerBitmap);
        auto copyPiece = [&](int from, int pieceLength, int to) {
            const QRect source = Vertical() ? QRect(0, from, image.width(), pieceLength)
                                            : QRect(from, 0, pieceLength, image.height());
            painter.drawImage(Vertical() ? QPoint(0, to) : QPoint(to, 0), image, source);
        };
        copyPiece(0, edge + middle, 0);
        for (int piece = 1; piece < count; ++piece)
            copyPiece(edge, middle, edge + piece * middle);
        copyPiece(imageLength - (edge + rest), edge + rest, edge + count * middle);
    }

    FRulerPixmaps = {SliderPixmap(FRulerBitmap, false), SliderPixmap(FRulerBitmap, true)};
    const QImage &thumb = FImages.at(Vertical() ? siVThumb : siHThumb);
    FThumbPixmaps = {SliderPixmap(thumb, false), SliderPixmap(thumb, true)};
}

// A zero range (possible only while loading) puts every value at the start of the track.
int TCustomRulerSlider::ValueToOffset(int value) const
{
    const long long range = (long long)FMaxValue - FMinValue;
    const long long position =
        range > 0 ? RoundHalfEven(FTrackLength * ((double(value) - FMinValue) / double(range))) : 0;
    const QRect area = SliderArea();
    const long long origin = TrackOrigin();
    if (!Vertical())
        return ClampToInt(std::max(origin + position, origin));
    const long long bottom = (long long)area.top() + area.top() + area.height();
    return ClampToInt(std::max(bottom - FThumbBox.height() - (origin + position), origin));
}

int TCustomRulerSlider::OffsetToValue(int offset) const
{
    const long long range = (long long)FMaxValue - FMinValue;
    const long long position = Vertical() ? (long long)height() - FThumbBox.height() - offset -
                                                (SliderArea().top() + Indent)
                                          : (long long)offset - TrackOrigin();
    long long steps = 0;
    if (FTrackLength > 0 && range > 0)
        steps = RoundHalfEven(double(position) * double(range) / FTrackLength);
    if (!(FOptions & soSmooth))
        steps = RoundHalfEven(double(steps) / FIncrement) * FIncrement;
    return ClampToInt(std::min(FMinValue + std::max(steps, 0LL), (long long)FMaxValue));
}

int TCustomRulerSlider::AlignOffset(int offset) const
{
    const int origin = TrackOrigin();
    const int aligned = std::clamp(offset, origin, origin + FTrackLength);
    return std::min(ValueToOffset(OffsetToValue(aligned)), origin + FTrackLength);
}

// The thumb jumps from one value position to the next; while dragged it carries the value.
void TCustomRulerSlider::MoveThumbTo(int offset)
{
    const int remembered = FValue;
    const int leading = AlignOffset(offset);
    update(FThumbBox);
    if (Vertical())
        FThumbBox.moveTop(leading);
    else
        FThumbBox.moveLeft(leading);
    update(FThumbBox);
    if (FDragging) {
        FValue = OffsetToValue(leading);
        if (FValue != remembered)
            DoChange();
    }
}

void TCustomRulerSlider::ApplyValue(int value)
{
    value = std::max(std::min(value, FMaxValue), FMinValue);
    const bool changed = value != FValue;
    FValue = value;
    MoveThumbTo(ValueToOffset(value));
    if (changed)
        DoChange();
}

void TCustomRulerSlider::ApplyRange(int minValue, int maxValue)
{
    if (maxValue <= minValue && !FLoading)
        return;
    FMinValue = minValue;
    FMaxValue = maxValue;
    if (!FLoading && (long long)maxValue < (long long)minValue + FIncrement)
        FIncrement = maxValue - minValue;
    if (FOptions & soShowPoints)
        update();
    ApplyValue(FValue);
    AfterRangeChange();
}

// Up and down start from the nearest multiple of Increment, counted from 0.
void TCustomRulerSlider::StepValue(TSliderStep kind)
{
    const long long increment = std::max(FIncrement, 1);
    const long long nearest = RoundHalfEven(double(FValue) / double(increment)) * increment;
    long long target = FValue;
    switch (kind) {
    case ssToMinimum:
        target = FMinValue;
        break;
    case ssToMaximum:
        target = FMaxValue;
        break;
    case ssUp:
        target = nearest + increment;
        break;
    case ssDown:
        target = nearest - increment;
        break;
    case ssNone:
        return;
    }
    if (target >= FMaxValue)
        target = FMaxValue;
    else if (target <= FMinValue)
        target = FMinValue;
    if (target != FValue)
        ApplyValue(int(target));
}

TCustomRulerSlider::TSliderStep TCustomRulerSlider::SideOfThumb(QPoint point) const
{
    if (Vertical()) {
        if (point.y() < FThumbBox.top())
            return ssUp;
        if (point.y() > FThumbBox.top() + FThumbBox.height())
            return ssDown;
        return ssNone;
    }
    if (point.x() < FThumbBox.left())
        return ssDown;
    if (point.x() > FThumbBox.left() + FThumbBox.width())
        return ssUp;
    return ssNone;
}

// ---- Mouse

void TCustomRulerSlider::TakeFocus()
{
    if ((focusPolicy() & Qt::ClickFocus) && isEnabled())
        setFocus(Qt::MouseFocusReason);
}

void TCustomRulerSlider::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    TakeFocus();
    const QPoint point = event->position().toPoint();
    if (ContainsWithEdges(FThumbBox, point)) {
        ThumbPressed(event->button(), event->modifiers(), point.x(), point.y());
        return;
    }
    const QRect ruler(FRulerTopLeft, FRulerBitmap.size());
    const QRect track = Vertical() ? ruler.adjusted(-TrackSlack, 0, TrackSlack, 0)
                                   : ruler.adjusted(0, -TrackSlack, 0, TrackSlack);
    if (ContainsWithEdges(track, point) && AllowsChange()) {
        FTrackPressing = true;
        FPressPoint = point;
        FStartSide = SideOfThumb(point);
        RepeatStep();
    }
}

// The second press of a double click neither steps nor drags.
void TCustomRulerSlider::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void TCustomRulerSlider::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && FDragging)
        ThumbDragged(event->buttons(), event->modifiers(), point.x(), point.y());
    else if (FTrackPressing)
        FPressPoint = point;
    event->accept();
}

void TCustomRulerSlider::mouseReleaseEvent(QMouseEvent *event)
{
    EndTrackPress();
    if (FDragging) {
        const QPoint point = event->position().toPoint();
        ThumbReleased(event->button(), event->modifiers(), point.x(), point.y());
    }
    event->accept();
}

// Steps towards the mouse until the thumb reaches or passes it; the timer keeps coming until
// the button is released.
void TCustomRulerSlider::RepeatStep()
{
    if (SideOfThumb(FPressPoint) != FStartSide)
        return;
    StepValue(FStartSide);
    if (!FRepeatTimer.isActive())
        FRepeatTimer.start(RepeatInterval, Qt::PreciseTimer, this);
}

void TCustomRulerSlider::EndTrackPress()
{
    if (!FTrackPressing)
        return;
    FRepeatTimer.stop();
    FTrackPressing = false;
    DoChanged();
}

void TCustomRulerSlider::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == FRepeatTimer.timerId())
        RepeatStep();
    else
        QWidget::timerEvent(event);
}

void TCustomRulerSlider::ThumbPressed(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y)
{
    TakeFocus();
    if (button != Qt::LeftButton || !AllowsChange())
        return;
    FDragging = true;
    FThumbShownPressed = true;
    FGrabOffset = Vertical() ? y - FThumbBox.top() : x - FThumbBox.left();
    repaint(FThumbBox);
}

void TCustomRulerSlider::ThumbDragged(Qt::MouseButtons buttons, Qt::KeyboardModifiers, int x, int y)
{
    if ((buttons & Qt::LeftButton) && AllowsChange())
        MoveThumbTo((Vertical() ? y : x) - FGrabOffset);
}

void TCustomRulerSlider::ThumbReleased(Qt::MouseButton button, Qt::KeyboardModifiers, int, int)
{
    if (button != Qt::LeftButton)
        return;
    FDragging = false;
    FThumbShownPressed = false;
    repaint(FThumbBox);
    if (AllowsChange())
        DoChanged();
}

// ---- Keys

TCustomRulerSlider::TSliderStep TCustomRulerSlider::KeyStep(const QKeyEvent *event) const
{
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return ssNone;
    switch (event->key()) {
    case Qt::Key_Home:
        return ssToMinimum;
    case Qt::Key_End:
        return ssToMaximum;
    case Qt::Key_Left:
        return Vertical() ? ssNone : ssDown;
    case Qt::Key_Right:
        return Vertical() ? ssNone : ssUp;
    case Qt::Key_Up:
        return Vertical() ? ssUp : ssNone;
    case Qt::Key_Down:
        return Vertical() ? ssDown : ssNone;
    default:
        return ssNone;
    }
}

// The navigation keys are the control's own: no shortcut of the window may take them.
bool TCustomRulerSlider::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride &&
        KeyStep(static_cast<QKeyEvent *>(event)) != ssNone) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void TCustomRulerSlider::keyPressEvent(QKeyEvent *event)
{
    const TSliderStep kind = KeyStep(event);
    if (kind != ssNone && AllowsChange()) {
        event->accept();
        StepValue(kind);
        DoChanged();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- Focus and state

void TCustomRulerSlider::focusInEvent(QFocusEvent *event)
{
    FHasFocus = true;
    if (FOptions & soShowFocus)
        update();
    QWidget::focusInEvent(event);
}

void TCustomRulerSlider::focusOutEvent(QFocusEvent *event)
{
    FHasFocus = false;
    if (FOptions & soShowFocus)
        update();
    QWidget::focusOutEvent(event);
}

void TCustomRulerSlider::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        update(FThumbBox);
    QWidget::changeEvent(event);
}

void TCustomRulerSlider::resizeEvent(QResizeEvent *event)
{
    if (!FLoading)
        RebuildLayout();
    QWidget::resizeEvent(event);
}

// ---- Painting

// The whole control is drawn off screen and copied in one step, so a dragged thumb does not
// flicker.
void TCustomRulerSlider::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    const QSize bufferSize = size() * ratio;
    if (FBuffer.size() != bufferSize)
        FBuffer = QPixmap(bufferSize);
    FBuffer.setDevicePixelRatio(ratio);
    {
        QPainter painter(&FBuffer);
        PaintSlider(painter, FThumbBox, FThumbShownPressed || !isEnabled());
    }
    QPainter(this).drawPixmap(0, 0, FBuffer);
}

QPixmap TCustomRulerSlider::PaintedCopy()
{
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

void TCustomRulerSlider::PaintSlider(QPainter &painter, QRect thumbBox, bool secondState)
{
    DrawBevel(painter);
    painter.fillRect(SliderArea(), palette().color(backgroundRole()));
    painter.drawPixmap(FRulerTopLeft, FRulerPixmaps.at(FOptions & soRulerOpaque ? 1 : 0));
    if ((FOptions & soShowFocus) && FHasFocus)
        DrawFocusRect(painter);

    if (FOptions & soShowPoints) {
        FCanvas = &painter;
        const auto endOfPoints = qScopeGuard([this] { FCanvas = nullptr; });
        if (isSignalConnected(QMetaMethod::fromSignal(&TCustomRulerSlider::OnDrawPoints)))
            emit OnDrawPoints(this);
        else
            DrawStandardPoints(FIncrement, PointsHeight, ExtremePointsHeight);
    }

    const int state = secondState && FNumThumbStates > 1 ? 1 : 0;
    const QPixmap &thumb = FThumbPixmaps.at(FOptions & soThumbOpaque ? 1 : 0);
    painter.drawPixmap(thumbBox.topLeft(), thumb,
                       QRect(QPoint(state * thumbBox.width(), 0), thumbBox.size()));
}

void TCustomRulerSlider::DrawBevel(QPainter &painter) const
{
    if (FBevelStyle == bvNone)
        return;
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    const bool lowered = FBevelStyle == bvLowered;
    const QColor &topLeft = lowered ? shadow : highlight;
    const QColor &bottomRight = lowered ? highlight : shadow;
    const QRect area = rect();
    painter.fillRect(QRect(area.left(), area.top(), area.width(), BevelInset), topLeft);
    painter.fillRect(QRect(area.left(), area.top(), BevelInset, area.height()), topLeft);
    painter.fillRect(QRect(area.left(), area.bottom(), area.width(), BevelInset), bottomRight);
    painter.fillRect(QRect(area.right(), area.top(), BevelInset, area.height()), bottomRight);
}

void TCustomRulerSlider::DrawFocusRect(QPainter &painter)
{
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = SliderArea().adjusted(2, 2, -2, -2);
    option.backgroundColor = palette().color(backgroundRole());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

// Tick marks for MinValue, MinValue + e × step, ... and MaxValue, with e the smallest multiple
// that leaves at least 4 pixels between neighbours. Nothing is drawn for an empty range.
void TCustomRulerSlider::DrawStandardPoints(int step, int pointsHeight, int extremePointsHeight)
{
    const long long range = (long long)FMaxValue - FMinValue;
    if (!FCanvas || range <= 0 || step <= 0)
        return;
    const int length = FTrackLength;

    // Smaller multiples cannot give the spacing, so the search starts near the answer.
    const double widestCount = std::max(length / double(MinPointSpacing), 1.0) + 0.5;
    long long multiple = std::max(1LL, (long long)(double(range) / (double(step) * widestCount)));
    long long count = 0;
    for (;; ++multiple) {
        count = RoundHalfEven(double(range) / double(multiple * step)) + 1;
        const long long spacing = count > 1 ? length / (count - 1) : length;
        if (spacing >= MinPointSpacing || spacing >= length)
            break;
    }

    const QColor color = palette().color(QPalette::WindowText);
    for (long long point = 0; point < count; ++point) {
        const long long value =
            point == count - 1 ? FMaxValue : FMinValue + point * multiple * step;
        const int offset = ValueToOffset(ClampToInt(value));
        const bool extreme = value == FMinValue || value == FMaxValue;
        const int span = extreme ? extremePointsHeight : pointsHeight;
        const QRect line = Vertical()
                               ? QRect(FPointsBox.left(), offset + FThumbBox.height() / 2, span, 1)
                               : QRect(offset + FThumbBox.width() / 2, FPointsBox.top(), 1, span);
        FCanvas->fillRect(line, color);
    }
}
