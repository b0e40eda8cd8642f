// The slider as a screen reader sees it: a slider with a name, a value, a range and a step, that
// announces every change of value, whatever made it.
#include "screenreader.h"
#include "sliderwidgets.h"

#include <QAccessibleValueInterface>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(SliderAccessibility, ReadsAsANamedSliderWithValueAndRange)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.setAccessibleName(QStringLiteral("ZN ID"));
    slider.setAccessibleDescription(QStringLiteral("From 1 to 4"));
    slider.SetValue(3);

    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(&slider);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Slider);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("ZN ID"));
    EXPECT_EQ(face->text(QAccessible::Description), QStringLiteral("From 1 to 4"));
    EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("3"));
    EXPECT_TRUE(face->state().focusable);
    QAccessibleValueInterface *value = face->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 3);
    EXPECT_EQ(value->minimumValue().toInt(), 1);
    EXPECT_EQ(value->maximumValue().toInt(), 4);
    EXPECT_EQ(value->minimumStepSize().toInt(), 1);

    slider.SetMinValue(2);
    slider.SetMaxValue(30);
    slider.SetIncrement(7);
    EXPECT_EQ(value->minimumValue().toInt(), 2);
    EXPECT_EQ(value->maximumValue().toInt(), 30);
    EXPECT_EQ(value->minimumStepSize().toInt(), 7);
}

TEST(SliderAccessibility, AnnouncesEachChangeOfValue)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    TScreenReader reader;

    QTest::keyClick(&slider, Qt::Key_Right);
    QTest::keyClick(&slider, Qt::Key_End);
    QTest::keyClick(&slider, Qt::Key_Right); // at the maximum: no change, nothing announced
    slider.SetValue(1);
    slider.SetValue(1);
    EXPECT_EQ(TScreenReader::ValuesAnnounced(&slider), std::vector<int>({2, 4, 1}));

    // A drag announces each value the thumb passes.
    TScreenReader::Forget();
    const QPoint grab = slider.ThumbBox().center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
    QTest::mouseMove(&slider, grab + QPoint(41, 0));
    QTest::mouseMove(&slider, grab + QPoint(83, 0));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, grab + QPoint(83, 0));
    EXPECT_EQ(TScreenReader::ValuesAnnounced(&slider), std::vector<int>({2, 3}));
}

// A value set by the screen reader is the user's input: clamped, and both notifications raised.
TEST(SliderAccessibility, AValueSetByTheScreenReaderCountsAsTheUsers)
{
    SliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    TScreenReader reader;

    QAccessible::queryAccessibleInterface(&slider)->valueInterface()->setCurrentValue(40);
    EXPECT_EQ(slider.Value(), 31);
    EXPECT_EQ(notes.changes, std::vector<int>({31}));
    EXPECT_EQ(notes.changedCount, 1);
    EXPECT_EQ(TScreenReader::ValuesAnnounced(&slider), std::vector<int>({31}));
}

// A window description that moves the value while it is applied announces nothing.
TEST(SliderAccessibility, LoadingAnnouncesNothing)
{
    TScreenReader reader;
    SliderWindow window(IDSliderSettings);
    EXPECT_EQ(window.Slider->Value(), 1);
    EXPECT_TRUE(TScreenReader::ValuesAnnounced(window.Slider).empty());
}

} // namespace
