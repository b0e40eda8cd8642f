#include "sliderwidgets.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

// Counts the ticks of the slider's repeat timer as they arrive.
class TimerTicks : public QObject {
public:
    explicit TimerTicks(QObject *Watched) { Watched->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        Count += Event->type() == QEvent::Timer ? 1 : 0;
        return false;
    }
};

constexpr int Patience = 10000; // ms; a bound for a loaded machine, not a timing check

// Held on the track at x 100, the thumb steps at once, then once per tick, and stops when it
// has passed the mouse; the release ends the press with one OnChanged.
TEST(SliderTrackPress, StepsTowardsTheMouseWhileHeld)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    TimerTicks ticks(&slider);

    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    EXPECT_EQ(slider.Value(), 2);
    EXPECT_TRUE(slider.TrackPressing());

    ASSERT_TRUE(QTest::qWaitFor([&] { return slider.Value() == 3; }, Patience));
    EXPECT_GE(clock.elapsed(), 380);
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider.Value() == 4; }, Patience));
    EXPECT_GE(clock.elapsed(), 780);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.Count >= 3; }, Patience));
    EXPECT_EQ(slider.Value(), 4);
    EXPECT_EQ(notes.changes, std::vector<int>({2, 3, 4}));
    EXPECT_EQ(notes.changedCount, 0);

    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    EXPECT_FALSE(slider.TrackPressing());
    EXPECT_EQ(notes.changedCount, 1);
}

// Moving the mouse during a press changes the direction test only.
TEST(SliderTrackPress, FollowsTheMouseAndStopsOnRelease)
{
    SliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    slider.SetValue(16);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(120, 14));
    EXPECT_EQ(slider.Value(), 17);
    QTest::mouseMove(&slider, QPoint(8, 14));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(8, 14));
    EXPECT_EQ(slider.Value(), 17);
    EXPECT_EQ(notes.changedCount, 1);

    // Beside the ruler but more than 3 pixels off it, a press does nothing.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 24));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 24));
    EXPECT_EQ(slider.Value(), 17);
    EXPECT_EQ(notes.changedCount, 1);
}

TEST(SliderTrackPress, OtherButtonsAndDoubleClicks)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);

    // A right press neither steps nor drags.
    QTest::mousePress(&slider, Qt::RightButton, {}, QPoint(100, 14));
    QTest::mouseRelease(&slider, Qt::RightButton, {}, QPoint(100, 14));
    QTest::mousePress(&slider, Qt::RightButton, {}, QPoint(10, 14));
    EXPECT_FALSE(slider.Dragging());
    QTest::mouseRelease(&slider, Qt::RightButton, {}, QPoint(10, 14));
    EXPECT_EQ(slider.Value(), 1);
    EXPECT_EQ(notes.changedCount, 0);

    // The first click of a double click steps; the second press does not.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    QTest::mouseDClick(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    EXPECT_EQ(slider.Value(), 2);
    EXPECT_EQ(notes.changedCount, 1);

    // Releasing any button ends a track press.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    EXPECT_EQ(slider.Value(), 3);
    QTest::mousePress(&slider, Qt::RightButton, {}, QPoint(100, 14));
    QTest::mouseRelease(&slider, Qt::RightButton, {}, QPoint(100, 14));
    EXPECT_FALSE(slider.TrackPressing());
    EXPECT_EQ(notes.changedCount, 2);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 14));
    EXPECT_EQ(notes.changedCount, 2);
}

// Dragging by a point 4 pixels into the thumb: the leading edges 6-26 select 1, 27-67 2,
// 68-109 3 and 110-130 4, and the thumb sits at the value's position.
TEST(SliderDrag, SelectsTheValueOfEachBand)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    const int grab = 4;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(6 + grab, 14));
    EXPECT_TRUE(slider.Dragging());
    EXPECT_TRUE(slider.ThumbShownPressed());
    EXPECT_EQ(slider.grab().toImage().pixelColor(7, 7), QColor(Qt::white));

    const int lefts[] = {6, 47, 89, 130};
    for (int edge = 0; edge <= 140; ++edge) {
        QTest::mouseMove(&slider, QPoint(edge + grab, 14));
        const int expected = edge <= 26 ? 1 : edge <= 67 ? 2 : edge <= 109 ? 3 : 4;
        ASSERT_EQ(slider.Value(), expected) << edge;
        ASSERT_EQ(ThumbLeft(slider), lefts[expected - 1]) << edge;
    }
    EXPECT_EQ(notes.changes, std::vector<int>({2, 3, 4}));
    EXPECT_EQ(notes.changedCount, 0);

    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(130 + grab, 14));
    EXPECT_FALSE(slider.Dragging());
    EXPECT_FALSE(slider.ThumbShownPressed());
    EXPECT_EQ(notes.changedCount, 1);
}

TEST(SliderDrag, ADragBackToItsStartRaisesOnlyOnChanged)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(10, 14));
    QTest::mouseMove(&slider, QPoint(20, 14));
    QTest::mouseMove(&slider, QPoint(10, 14));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(10, 14));
    EXPECT_TRUE(notes.changes.empty());
    EXPECT_EQ(notes.changedCount, 1);
}

// Without soSmooth a drag selects MinValue + k × Increment only; the keys still step from the
// nearest multiple of Increment.
TEST(SliderDrag, WithoutSmoothSelectsMultiplesOfIncrement)
{
    SliderWindow window({{1, 51, 145, 38}, 10, 5, 100, 5});
    TRulerSlider &slider = *window.Slider;
    slider.SetOptions(slider.Options() & ~TSliderOptions(soSmooth));
    std::set<int> selected;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(10, 14));
    for (int x = 10; x <= 140; ++x) {
        QTest::mouseMove(&slider, QPoint(x, 14));
        selected.insert(slider.Value());
    }
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(140, 14));
    EXPECT_EQ(selected, std::set<int>({5, 15, 25, 35, 45, 55, 65, 75, 85, 95, 100}));

    slider.SetValue(15);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 30);
    slider.SetValue(15);
    QTest::keyClick(&slider, Qt::Key_Left);
    EXPECT_EQ(slider.Value(), 10);
}

TEST(SliderDrag, VerticalThumbFollowsTheMouse)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.SetOrientation(soVertical);
    SliderNotifications notes(slider);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(10, 132));
    QTest::mouseMove(&slider, QPoint(10, 90));
    EXPECT_EQ(slider.Value(), 2);
    QTest::mouseMove(&slider, QPoint(10, 8));
    EXPECT_EQ(slider.Value(), 4);
    EXPECT_EQ(slider.ThumbBox().top(), 6);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(10, 8));
    EXPECT_EQ(notes.changes, std::vector<int>({2, 4}));
    EXPECT_EQ(notes.changedCount, 1);
}

} // namespace
