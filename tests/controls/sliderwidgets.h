#pragma once

// The two sliders as the setup window builds them, on a shown window of their own, and a
// recorder of their notifications.

#include "rulerslider.h"

#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

struct SliderNotifications {
    std::vector<int> changes; // the value at each OnChange
    int changedCount = 0;

    explicit SliderNotifications(TRulerSlider &slider)
    {
        QObject::connect(&slider, &TRulerSlider::OnChange, &slider,
                         [this, &slider] { changes.push_back(slider.Value()); });
        QObject::connect(&slider, &TRulerSlider::OnChanged, &slider, [this] { ++changedCount; });
    }
};

struct SliderSettings {
    QRect geometry;
    int increment;
    int minValue;
    int maxValue;
    int value;
};

inline const SliderSettings IDSliderSettings{{1, 132, 145, 38}, 1, 1, 4, 1};
inline const SliderSettings SolDelaySliderSettings{{1, 51, 132, 28}, 1, 0, 31, 0};

// A window holding one slider, applied the way a window description is: the stored values in
// order while loading, then shown.
class SliderWindow {
public:
    explicit SliderWindow(const SliderSettings &settings)
    {
        Window.resize(207, 247);
        Slider = new TRulerSlider(&Window);
        Slider->BeginLoading();
        Slider->setGeometry(settings.geometry);
        Slider->SetIncrement(settings.increment);
        Slider->SetMinValue(settings.minValue);
        Slider->SetMaxValue(settings.maxValue);
        Slider->SetValue(settings.value);
        Slider->Loaded();
        Window.show();
        Exposed = QTest::qWaitForWindowExposed(&Window);
    }

    QWidget Window;
    TRulerSlider *Slider = nullptr;
    bool Exposed = false;
};

// Leading edge of the thumb along the track.
inline int ThumbLeft(const TRulerSlider &slider)
{
    return slider.ThumbBox().left();
}
