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

    explicit SliderNotifications(TRulerSlider &Slider)
    {
        QObject::connect(&Slider, &TRulerSlider::OnChange, &Slider,
                         [this, &Slider] { changes.push_back(Slider.Value()); });
        QObject::connect(&Slider, &TRulerSlider::OnChanged, &Slider, [this] { ++changedCount; });
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
    explicit SliderWindow(const SliderSettings &Settings)
    {
        Window.resize(207, 247);
        Slider = new TRulerSlider(&Window);
        Slider->BeginLoading();
        Slider->setGeometry(Settings.geometry);
        Slider->SetIncrement(Settings.increment);
        Slider->SetMinValue(Settings.minValue);
        Slider->SetMaxValue(Settings.maxValue);
        Slider->SetValue(Settings.value);
        Slider->Loaded();
        Window.show();
        Exposed = QTest::qWaitForWindowExposed(&Window);
    }

    QWidget Window;
    TRulerSlider *Slider = nullptr;
    bool Exposed = false;
};

// Leading edge of the thumb along the track.
inline int ThumbLeft(const TRulerSlider &Slider)
{
    return Slider.ThumbBox().left();
}
