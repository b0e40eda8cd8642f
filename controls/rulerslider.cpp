// Construction, loading, the properties and the value rules. The layout, the input handling and
// the painting have files of their own.

#include "rulerslider.h"

#include "rulerslideraccessible.h"
#include "rulerslidermath.h"

#include <QAccessible>

#include <algorithm>
#include <string>

using SliderMath::RoundHalfEven;

TCustomRulerSlider::TCustomRulerSlider(QWidget *Parent)
    : QWidget(Parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    InstallRulerSliderAccessibility();
    resize(150, 40);
    for (int index = 0; index < SliderImageCount; ++index)
        FImages.at(index) = BuiltInSliderImage(static_cast<TSliderImage>(index));
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
            SetImage(static_cast<TSliderImage>(index), QImage(FImages.at(index)));
    }
    RebuildLayout();
}

QStringList TCustomRulerSlider::StoredProperties() const
{
    static const std::array<const char *, SliderImageCount> imageNames = {
        "ImageHThumb", "ImageHRuler", "ImageVThumb", "ImageVRuler"};
    QStringList names;
    auto storeIf = [&names](bool Differs, const char *Name) {
        if (Differs)
            names << QString::fromLatin1(Name);
    };
    storeIf(FBevelStyle != DefaultBevelStyle, "BevelStyle");
    for (int index = 0; index < SliderImageCount; ++index)
        storeIf(FUserImages & (1u << index), imageNames.at(index));
    storeIf(FIncrement != DefaultIncrement, "Increment");
    storeIf(FMinValue != DefaultMinValue, "MinValue");
    storeIf(FMaxValue != DefaultMaxValue, "MaxValue");
    storeIf(FNumThumbStates != DefaultNumThumbStates, "NumThumbStates");
    storeIf(FOrientation != DefaultOrientation, "Orientation");
    storeIf(FEdgeSize != DefaultEdgeSize, "EdgeSize");
    storeIf(FOptions != DefaultOptions, "Options");
    storeIf(FValue != DefaultValue, "Value");
    storeIf(FUserImages != 0, "UserImages");
    return names;
}

// ---- Properties

void TCustomRulerSlider::SetValue(int Value)
{
    ApplyValue(Value);
}

void TCustomRulerSlider::SetMinValue(int Value)
{
    if (Value != FMinValue)
        ApplyRange(Value, FMaxValue);
}

void TCustomRulerSlider::SetMaxValue(int Value)
{
    if (Value != FMaxValue)
        ApplyRange(FMinValue, Value);
}

void TCustomRulerSlider::SetIncrement(int Increment)
{
    const long long range = Range();
    if (!FLoading && (Increment < 1 || Increment > range))
        throw ESliderError("Value must be between 1 and " + std::to_string(range));
    if (Increment > 0 && Increment != FIncrement) {
        FIncrement = Increment;
        ApplyValue(FValue);
        update();
    }
}

// Only one or two thumb pictures fit the image; other counts are taken to the nearer one.
void TCustomRulerSlider::SetNumThumbStates(int States)
{
    States = std::clamp(States, 1, 2);
    if (States != FNumThumbStates) {
        FNumThumbStates = States;
        RebuildLayout();
    }
}

void TCustomRulerSlider::SetOrientation(TSliderOrientation Orientation)
{
    if (Orientation == FOrientation)
        return;
    FOrientation = Orientation;
    RebuildLayout();
    if (!FLoading)
        resize(height(), width());
}

// The edges must leave at least one pixel of the ruler image's middle; a negative size would
// make the composed ruler longer than its pieces, so it is refused like any other bad size.
void TCustomRulerSlider::SetEdgeSize(int Size)
{
    const int along = Vertical() ? FImages.at(siVRuler).height() : FImages.at(siHRuler).width();
    if (Size != FEdgeSize && Size >= 0 && 2 * Size < along) {
        FEdgeSize = Size;
        RebuildLayout();
    }
}

void TCustomRulerSlider::SetOptions(TSliderOptions Options)
{
    if (Options != FOptions) {
        FOptions = Options;
        update();
    }
}

void TCustomRulerSlider::SetBevelStyle(TBevelCut Style)
{
    if (Style != FBevelStyle) {
        FBevelStyle = Style;
        RebuildLayout();
        repaint();
    }
}

void TCustomRulerSlider::SetImage(TSliderImage Index, const QImage &Image)
{
    const quint8 bit = static_cast<quint8>(1u << Index);
    if (Image.isNull()) {
        FImages.at(Index) = BuiltInSliderImage(Index);
        FUserImages &= static_cast<quint8>(~bit);
        if (!FLoading) {
            const bool thumb = Index == siHThumb || Index == siVThumb;
            FOptions &= ~TSliderOptions(thumb ? soThumbOpaque : soRulerOpaque);
            update();
        }
    } else {
        FImages.at(Index) = Image.convertToFormat(QImage::Format_RGB32);
        FUserImages |= bit;
    }
    RebuildLayout();
}

// ---- Value

void TCustomRulerSlider::ApplyValue(int Value)
{
    Value = std::max(std::min(Value, FMaxValue), FMinValue);
    const bool changed = Value != FValue;
    FValue = Value;
    MoveThumbTo(ValueToOffset(Value));
    if (changed)
        AnnounceChange();
}

// Every change of Value: a screen reader hears the new value, then OnChange is raised. Nothing
// is announced while a window description is applied, as no handler is bound then either.
void TCustomRulerSlider::AnnounceChange()
{
    if (!FLoading && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, FValue);
        QAccessible::updateAccessibility(&event);
    }
    DoChange();
}

// A value set from outside the program as the user's own input, as a key would set it.
void TCustomRulerSlider::ApplyUserValue(int Value)
{
    if (!AllowsChange())
        return;
    ApplyValue(Value);
    DoChanged();
}

void TCustomRulerSlider::ApplyRange(int MinValue, int MaxValue)
{
    if (MaxValue <= MinValue && !FLoading)
        return;
    FMinValue = MinValue;
    FMaxValue = MaxValue;
    if (!FLoading && MaxValue < static_cast<long long>(MinValue) + FIncrement)
        FIncrement = MaxValue - MinValue;
    if (FOptions & soShowPoints)
        update();
    ApplyValue(FValue);
    AfterRangeChange();
}

// Up and down start from the nearest multiple of Increment, counted from 0.
void TCustomRulerSlider::StepValue(TSliderStep Kind)
{
    const long long increment = std::max(FIncrement, 1);
    const long long nearest =
        RoundHalfEven(static_cast<double>(FValue) / static_cast<double>(increment)) * increment;
    long long target = FValue;
    switch (Kind) {
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
        ApplyValue(static_cast<int>(target));
}
