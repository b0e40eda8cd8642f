// The slider's input: thumb drags, track presses with their repeat timer, the navigation keys
// and the keyboard focus.

#include "rulerslider.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

constexpr int TrackSlack = 3;       // a track press may land this far beside the ruler
constexpr int RepeatInterval = 400; // ms between steps while the track is held

// Rectangles here include their far edges: a width of 9 from x 6 reaches x 15.
bool ContainsWithEdges(QRect Box, QPoint Point)
{
    return Point.x() >= Box.left() && Point.x() <= Box.left() + Box.width() &&
           Point.y() >= Box.top() && Point.y() <= Box.top() + Box.height();
}

} // namespace

// Every event is handled with the layout of the current size. The navigation keys are the
// control's own: no shortcut of the window may take them.
bool TCustomRulerSlider::event(QEvent *Event)
{
    EnsureLayout();
    if (Event->type() == QEvent::ShortcutOverride &&
        KeyStep(static_cast<QKeyEvent *>(Event)) != ssNone) {
        Event->accept();
        return true;
    }
    return QWidget::event(Event);
}

TCustomRulerSlider::TSliderStep TCustomRulerSlider::SideOfThumb(QPoint Point) const
{
    if (Vertical()) {
        if (Point.y() < FThumbBox.top())
            return ssUp;
        if (Point.y() > FThumbBox.top() + FThumbBox.height())
            return ssDown;
        return ssNone;
    }
    if (Point.x() < FThumbBox.left())
        return ssDown;
    if (Point.x() > FThumbBox.left() + FThumbBox.width())
        return ssUp;
    return ssNone;
}

// ---- Mouse

void TCustomRulerSlider::TakeFocus()
{
    if ((focusPolicy() & Qt::ClickFocus) && isEnabled())
        setFocus(Qt::MouseFocusReason);
}

void TCustomRulerSlider::mousePressEvent(QMouseEvent *Event)
{
    Event->accept();
    if (Event->button() != Qt::LeftButton)
        return;
    TakeFocus();
    const QPoint point = Event->position().toPoint();
    if (ContainsWithEdges(FThumbBox, point)) {
        ThumbPressed(Event->button(), Event->modifiers(), point.x(), point.y());
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
void TCustomRulerSlider::mouseDoubleClickEvent(QMouseEvent *Event)
{
    Event->accept();
}

void TCustomRulerSlider::mouseMoveEvent(QMouseEvent *Event)
{
    const QPoint point = Event->position().toPoint();
    if ((Event->buttons() & Qt::LeftButton) && FDragging)
        ThumbDragged(Event->buttons(), Event->modifiers(), point.x(), point.y());
    else if (FTrackPressing)
        FPressPoint = point;
    Event->accept();
}

void TCustomRulerSlider::mouseReleaseEvent(QMouseEvent *Event)
{
    EndTrackPress();
    if (FDragging) {
        const QPoint point = Event->position().toPoint();
        ThumbReleased(Event->button(), Event->modifiers(), point.x(), point.y());
    }
    Event->accept();
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

void TCustomRulerSlider::timerEvent(QTimerEvent *Event)
{
    if (Event->timerId() == FRepeatTimer.timerId())
        RepeatStep();
    else
        QWidget::timerEvent(Event);
}

void TCustomRulerSlider::ThumbPressed(Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y)
{
    TakeFocus();
    if (Button != Qt::LeftButton || !AllowsChange())
        return;
    FDragging = true;
    FThumbShownPressed = true;
    FGrabOffset = Vertical() ? Y - FThumbBox.top() : X - FThumbBox.left();
    repaint(ThumbArea());
}

void TCustomRulerSlider::ThumbDragged(Qt::MouseButtons Buttons, Qt::KeyboardModifiers, int X, int Y)
{
    if ((Buttons & Qt::LeftButton) && AllowsChange())
        MoveThumbTo((Vertical() ? Y : X) - FGrabOffset);
}

void TCustomRulerSlider::ThumbReleased(Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button != Qt::LeftButton)
        return;
    FDragging = false;
    FThumbShownPressed = false;
    repaint(ThumbArea());
    if (AllowsChange())
        DoChanged();
}

// ---- Keys

TCustomRulerSlider::TSliderStep TCustomRulerSlider::KeyStep(const QKeyEvent *Event) const
{
    if (Event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return ssNone;
    switch (Event->key()) {
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

void TCustomRulerSlider::keyPressEvent(QKeyEvent *Event)
{
    const TSliderStep kind = KeyStep(Event);
    if (kind != ssNone && AllowsChange()) {
        Event->accept();
        StepValue(kind);
        DoChanged();
        return;
    }
    QWidget::keyPressEvent(Event);
}

// ---- Focus

void TCustomRulerSlider::focusInEvent(QFocusEvent *Event)
{
    FHasFocus = true;
    if (FOptions & soShowFocus)
        update();
    QWidget::focusInEvent(Event);
}

void TCustomRulerSlider::focusOutEvent(QFocusEvent *Event)
{
    FHasFocus = false;
    if (FOptions & soShowFocus)
        update();
    QWidget::focusOutEvent(Event);
}
