#include "rulerslideraccessible.h"

#include "rulerslider.h"

#include <QAccessibleWidget>

// The slider as a range control: UI Automation reads it through its RangeValue pattern, AT-SPI
// through its Value interface. A value set from there counts as the user's own action.
class TRulerSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TRulerSliderAccessible(TCustomRulerSlider *Slider)
        : QAccessibleWidget(Slider, QAccessible::Slider)
    {
    }

    void *interface_cast(QAccessible::InterfaceType Type) override
    {
        if (Type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(Type);
    }

    QString text(QAccessible::Text Kind) const override
    {
        if (Kind == QAccessible::Value)
            return QString::number(Slider()->Value());
        return QAccessibleWidget::text(Kind);
    }

    QVariant currentValue() const override { return Slider()->Value(); }
    void setCurrentValue(const QVariant &Value) override
    {
        Slider()->ApplyUserValue(Value.toInt());
    }
    QVariant maximumValue() const override { return Slider()->MaxValue(); }
    QVariant minimumValue() const override { return Slider()->MinValue(); }
    QVariant minimumStepSize() const override { return Slider()->Increment(); }

private:
    TCustomRulerSlider *Slider() const { return static_cast<TCustomRulerSlider *>(object()); }
};

namespace {

// Qt asks once for each class of the object's hierarchy, the most derived first.
QAccessibleInterface *RulerSliderInterface(const QString &, QObject *Object)
{
    if (auto *slider = qobject_cast<TCustomRulerSlider *>(Object))
        return new TRulerSliderAccessible(slider);
    return nullptr;
}

} // namespace

void InstallRulerSliderAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(RulerSliderInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
