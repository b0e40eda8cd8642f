#pragma once

// A custom-drawn track bar: a thumb image that moves along a ruler image and selects a whole
// number between MinValue and MaxValue. TCustomRulerSlider holds all behaviour; TRulerSlider
// publishes its properties.

#include "sliderimages.h"

#include <QBasicTimer>
#include <QWidget>

#include <array>
#include <stdexcept>

enum TSliderOrientation { soHorizontal, soVertical };

// One bit each, in this order (bit 0 = soShowFocus).
enum TSliderOption {
    soShowFocus = 0x01,   // a focus rectangle while the control has the focus
    soShowPoints = 0x02,  // tick marks beside the ruler
    soSmooth = 0x04,      // a dragged thumb selects any value, not only multiples of Increment
    soRulerOpaque = 0x08, // draw the ruler without its transparent colour
    soThumbOpaque = 0x10, // draw the thumb without its transparent colour
};
Q_DECLARE_FLAGS(TSliderOptions, TSliderOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSliderOptions)

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class ESliderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRulerSliderAccessible;

class TCustomRulerSlider : public QWidget {
    Q_OBJECT
    // Screen readers read the properties and may set the value as the user.
    friend class TRulerSliderAccessible;

public:
    explicit TCustomRulerSlider(QWidget *Parent = nullptr);
    ~TCustomRulerSlider() override;

    // Applying a window description: between the two calls Increment is not tested, any range
    // is accepted and size changes do not rebuild the layout.
    void BeginLoading();
    void Loaded();
    bool IsLoading() const { return FLoading; }

    // The images supplied by the user rather than built in, bit n for image index n.
    quint8 UserImages() const { return FUserImages; }
    // Names of the properties that differ from their defaults, as a window description keeps.
    QStringList StoredProperties() const;

    // Layout, in client pixels, for the control's current size.
    QRect ThumbBox() const;
    QPoint RulerTopLeft() const;
    QSize RulerSize() const;
    QRect PointsBox() const;
    int TrackLength() const;
    int ValueToOffset(int Value) const;
    int OffsetToValue(int Offset) const;

    bool Dragging() const { return FDragging; }
    bool TrackPressing() const { return FTrackPressing; }
    bool ThumbShownPressed() const { return FThumbShownPressed; }

    // For OnDrawPoints handlers: the painter of the paint in progress (null outside painting)
    // and the standard tick marks drawn with it.
    QPainter *Canvas() const { return FCanvas; }
    void DrawStandardPoints(int Step, int PointsHeight, int ExtremePointsHeight);

    // The control drawn as a copy: the thumb placed from DisplayedValue() and shown in its second
    // state only when disabled.
    QPixmap PaintedCopy();

signals:
    void OnChange(QObject *Sender);
    void OnChanged(QObject *Sender);
    void OnDrawPoints(QObject *Sender);

protected:
    // The properties; TRulerSlider publishes them.
    int Value() const { return FValue; }
    void SetValue(int Value);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int Value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int Value);
    int Increment() const { return FIncrement; }
    void SetIncrement(int Increment);
    int NumThumbStates() const { return FNumThumbStates; }
    void SetNumThumbStates(int States);
    TSliderOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TSliderOrientation Orientation);
    int EdgeSize() const { return FEdgeSize; }
    void SetEdgeSize(int Size);
    TSliderOptions Options() const { return FOptions; }
    void SetOptions(TSliderOptions Options);
    TBevelCut BevelStyle() const { return FBevelStyle; }
    void SetBevelStyle(TBevelCut Style);
    // A null image restores the built-in one.
    QImage Image(TSliderImage Index) const { return FImages.at(Index); }
    void SetImage(TSliderImage Index, const QImage &Image);

    // Hooks for derived controls.
    virtual bool AllowsChange() const { return true; }
    virtual QRect SliderArea() const;
    virtual int DisplayedValue() const { return FValue; }
    virtual void RebuildLayout();
    virtual void AfterRangeChange() {}
    virtual void ThumbPressed(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, int X,
                              int Y);
    virtual void ThumbDragged(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers, int X,
                              int Y);
    virtual void ThumbReleased(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, int X,
                               int Y);
    virtual void DoChange() { emit OnChange(this); }
    virtual void DoChanged() { emit OnChanged(this); }

    bool event(QEvent *Event) override;
    void paintEvent(QPaintEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    void timerEvent(QTimerEvent *Event) override;

private:
    enum TSliderStep { ssNone, ssUp, ssDown, ssToMinimum, ssToMaximum };

    bool Vertical() const { return FOrientation == soVertical; }
    // MaxValue - MinValue, which an int does not always hold.
    long long Range() const { return static_cast<long long>(FMaxValue) - FMinValue; }
    int TrackOrigin() const;
    int AlignOffset(int Offset) const;
    QRect ThumbArea() const;
    void MoveThumbTo(int Offset);
    void ApplyValue(int Value);
    void AnnounceChange();
    void ApplyUserValue(int Value);
    void ApplyRange(int MinValue, int MaxValue);
    void StepValue(TSliderStep Kind);
    TSliderStep SideOfThumb(QPoint Point) const;
    TSliderStep KeyStep(const QKeyEvent *Event) const;
    void RepeatStep();
    void EndTrackPress();
    void TakeFocus();
    void EnsureLayout() const;
    void ComputeLayout();
    void ComposePictures();
    QImage ComposeRuler(const QImage &Image, int Scale) const;
    void PaintSlider(QPainter &Painter, QRect ThumbPlace, bool SecondState);
    void DrawBevel(QPainter &Painter) const;
    void DrawFocusRect(QPainter &Painter);

    // The properties' defaults: a description stores only the properties that differ from them.
    static constexpr int DefaultValue = 0;
    static constexpr int DefaultMinValue = 0;
    static constexpr int DefaultMaxValue = 100;
    static constexpr int DefaultIncrement = 10;
    static constexpr int DefaultNumThumbStates = 2;
    static constexpr TSliderOrientation DefaultOrientation = soHorizontal;
    static constexpr int DefaultEdgeSize = 2;
    static constexpr TSliderOptions DefaultOptions = soShowFocus | soShowPoints | soSmooth;
    static constexpr TBevelCut DefaultBevelStyle = bvNone;

    int FValue = DefaultValue;
    int FMinValue = DefaultMinValue;
    int FMaxValue = DefaultMaxValue;
    int FIncrement = DefaultIncrement;
    int FNumThumbStates = DefaultNumThumbStates;
    TSliderOrientation FOrientation = DefaultOrientation;
    int FEdgeSize = DefaultEdgeSize;
    TSliderOptions FOptions = DefaultOptions;
    TBevelCut FBevelStyle = DefaultBevelStyle;
    std::array<QImage, SliderImageCount> FImages;
    quint8 FUserImages = 0;

    static constexpr int BevelInset = 1;
    QImage FRulerBitmap;
    // What is drawn: the ruler and the thumb with their transparent colour cleared, then opaque;
    // once at 1x and once for screens of a higher pixel ratio, from the 2x built-in images.
    struct TPictures {
        std::array<QPixmap, 2> Ruler;
        std::array<QPixmap, 2> Thumb;
    };
    std::array<TPictures, 2> FPictures;
    QPoint FRulerTopLeft;
    QRect FThumbBox;
    QRect FPointsBox;
    int FTrackLength = 0;
    QSize FLayoutSize; // the size the layout was computed for

    bool FLoading = false;
    bool FThumbShownPressed = false;
    bool FHasFocus = false;
    bool FDragging = false;
    bool FTrackPressing = false;
    QBasicTimer FRepeatTimer;
    QPoint FPressPoint;
    TSliderStep FStartSide = ssNone;
    int FGrabOffset = 0;

    QPixmap FBuffer;
    QPainter *FCanvas = nullptr;
};

class TRulerSlider : public TCustomRulerSlider {
    Q_OBJECT
    Q_PROPERTY(TBevelCut BevelStyle READ BevelStyle WRITE SetBevelStyle)
    Q_PROPERTY(QImage ImageHThumb READ ImageHThumb WRITE SetImageHThumb)
    Q_PROPERTY(QImage ImageHRuler READ ImageHRuler WRITE SetImageHRuler)
    Q_PROPERTY(QImage ImageVThumb READ ImageVThumb WRITE SetImageVThumb)
    Q_PROPERTY(QImage ImageVRuler READ ImageVRuler WRITE SetImageVRuler)
    Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int NumThumbStates READ NumThumbStates WRITE SetNumThumbStates)
    Q_PROPERTY(TSliderOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(int EdgeSize READ EdgeSize WRITE SetEdgeSize)
    Q_PROPERTY(TSliderOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(int Value READ Value WRITE SetValue)

public:
    using TCustomRulerSlider::TCustomRulerSlider;

    using TCustomRulerSlider::BevelStyle;
    using TCustomRulerSlider::EdgeSize;
    using TCustomRulerSlider::Image;
    using TCustomRulerSlider::Increment;
    using TCustomRulerSlider::MaxValue;
    using TCustomRulerSlider::MinValue;
    using TCustomRulerSlider::NumThumbStates;
    using TCustomRulerSlider::Options;
    using TCustomRulerSlider::Orientation;
    using TCustomRulerSlider::SetBevelStyle;
    using TCustomRulerSlider::SetEdgeSize;
    using TCustomRulerSlider::SetImage;
    using TCustomRulerSlider::SetIncrement;
    using TCustomRulerSlider::SetMaxValue;
    using TCustomRulerSlider::SetMinValue;
    using TCustomRulerSlider::SetNumThumbStates;
    using TCustomRulerSlider::SetOptions;
    using TCustomRulerSlider::SetOrientation;
    using TCustomRulerSlider::SetValue;
    using TCustomRulerSlider::Value;

    QImage ImageHThumb() const { return Image(siHThumb); }
    void SetImageHThumb(const QImage &Image) { SetImage(siHThumb, Image); }
    QImage ImageHRuler() const { return Image(siHRuler); }
    void SetImageHRuler(const QImage &Image) { SetImage(siHRuler, Image); }
    QImage ImageVThumb() const { return Image(siVThumb); }
    void SetImageVThumb(const QImage &Image) { SetImage(siVThumb, Image); }
    QImage ImageVRuler() const { return Image(siVRuler); }
    void SetImageVRuler(const QImage &Image) { SetImage(siVRuler, Image); }
};
