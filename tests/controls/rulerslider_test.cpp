#include "sliderwidgets.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

QColor PixelAt(QWidget &Widget, int X, int Y)
{
    return Widget.grab().toImage().pixelColor(X, Y);
}

TEST(SliderImages, BuiltInPicturesHaveTheirSizesAndTransparentCorner)
{
    const QSize sizes[] = {{18, 17}, {10, 8}, {38, 9}, {8, 10}};
    for (int index = 0; index < SliderImageCount; ++index) {
        const QImage image = BuiltInSliderImage(static_cast<TSliderImage>(index));
        EXPECT_EQ(image.size(), sizes[index]) << index;
        EXPECT_EQ(TransparentColor(image), qRgb(255, 0, 255)) << index;
    }
}

TEST(SliderLayout, IDSliderGeometry)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    EXPECT_EQ(slider.RulerSize(), QSize(133, 8));
    EXPECT_EQ(slider.TrackLength(), 124);
    EXPECT_EQ(slider.ThumbBox(), QRect(6, 6, 9, 17));
    EXPECT_EQ(slider.RulerTopLeft(), QPoint(6, 10));
    EXPECT_EQ(slider.PointsBox().top(), 24);
    const int lefts[] = {6, 47, 89, 130};
    for (int value = 1; value <= 4; ++value) {
        slider.SetValue(value);
        EXPECT_EQ(ThumbLeft(slider), lefts[value - 1]) << value;
    }
}

TEST(SliderLayout, SolDelaySliderGeometry)
{
    SliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    EXPECT_EQ(slider.RulerSize().width(), 120);
    EXPECT_EQ(slider.TrackLength(), 111);
    for (auto [value, left] : {std::pair{0, 6}, {1, 10}, {16, 63}, {31, 117}}) {
        slider.SetValue(value);
        EXPECT_EQ(ThumbLeft(slider), left) << value;
    }
}

TEST(SliderLayout, BevelNumThumbStatesAndEdgeSize)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;

    slider.SetBevelStyle(bvLowered);
    EXPECT_EQ(slider.ThumbBox().topLeft(), QPoint(7, 7));
    EXPECT_EQ(slider.RulerSize().width(), 131);
    EXPECT_EQ(PixelAt(slider, 0, 20).rgb(), slider.palette().color(QPalette::Dark).rgb());
    EXPECT_EQ(PixelAt(slider, 144, 20).rgb(), slider.palette().color(QPalette::Light).rgb());
    slider.SetBevelStyle(bvNone);

    slider.SetNumThumbStates(1);
    EXPECT_EQ(slider.ThumbBox().size(), QSize(18, 17));
    EXPECT_EQ(slider.TrackLength(), 115);
    slider.SetNumThumbStates(2);

    slider.SetEdgeSize(5); // would leave no middle of the 10-pixel ruler
    EXPECT_EQ(slider.EdgeSize(), 2);
    slider.SetEdgeSize(-1);
    EXPECT_EQ(slider.EdgeSize(), 2);
    slider.SetEdgeSize(4);
    EXPECT_EQ(slider.EdgeSize(), 4);
    EXPECT_EQ(slider.RulerSize(), QSize(133, 8));
}

// Vertical: MinValue at the bottom, the arrow keys up and down, left and right ignored.
TEST(SliderLayout, VerticalOrientation)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.SetOrientation(soVertical);
    EXPECT_EQ(slider.size(), QSize(38, 145));
    EXPECT_EQ(slider.ThumbBox(), QRect(6, 130, 19, 9));
    EXPECT_EQ(slider.RulerTopLeft(), QPoint(11, 6));
    EXPECT_EQ(slider.RulerSize(), QSize(8, 133));
    EXPECT_EQ(slider.PointsBox().left(), 26);
    EXPECT_EQ(slider.TrackLength(), 124);

    slider.SetValue(4);
    EXPECT_EQ(slider.ThumbBox().top(), 6);
    EXPECT_EQ(slider.OffsetToValue(6), 4);
    EXPECT_EQ(slider.OffsetToValue(130), 1);
    QTest::keyClick(&slider, Qt::Key_Down);
    EXPECT_EQ(slider.Value(), 3);
    QTest::keyClick(&slider, Qt::Key_Left);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 3);
    QTest::keyClick(&slider, Qt::Key_Up);
    EXPECT_EQ(slider.Value(), 4);

    slider.SetOrientation(soHorizontal);
    EXPECT_EQ(slider.size(), QSize(145, 38));
    EXPECT_EQ(slider.ThumbBox(), QRect(130, 6, 9, 17));
}

// A hidden control hears of a new size only when it is shown; its layout follows the size at
// once all the same, in either orientation, except while the control is being loaded.
TEST(SliderLayout, AHiddenSliderFollowsANewSizeAtOnce)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.hide();
    slider.SetValue(4);

    slider.resize(132, 28);
    EXPECT_EQ(slider.TrackLength(), 111);
    EXPECT_EQ(slider.ThumbBox(), QRect(117, 6, 9, 17));
    EXPECT_EQ(slider.ValueToOffset(2), 43);

    slider.SetValue(1);
    slider.SetOrientation(soVertical);
    EXPECT_EQ(slider.size(), QSize(28, 132));
    EXPECT_EQ(slider.TrackLength(), 111);
    EXPECT_EQ(slider.ThumbBox(), QRect(6, 117, 19, 9));
    EXPECT_EQ(slider.ValueToOffset(2), 80);

    slider.BeginLoading();
    slider.resize(28, 145);
    EXPECT_EQ(slider.TrackLength(), 111);
    slider.Loaded();
    EXPECT_EQ(slider.TrackLength(), 124);
    EXPECT_EQ(slider.ThumbBox(), QRect(6, 130, 19, 9));
    EXPECT_EQ(slider.ValueToOffset(2), 89);
    EXPECT_FALSE(slider.isVisible());

    // A control that was never shown has no window system state yet: the same holds.
    TRulerSlider unshown;
    unshown.resize(145, 38);
    EXPECT_EQ(unshown.TrackLength(), 124);
    EXPECT_EQ(unshown.ValueToOffset(50), 68);
}

TEST(SliderValue, WritesClampAndNotifyOnRealChanges)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    slider.SetValue(50);
    slider.SetValue(4);
    slider.SetValue(-7);
    EXPECT_EQ(notes.changes, std::vector<int>({4, 1}));
    EXPECT_EQ(notes.changedCount, 0);
}

TEST(SliderValue, RangeRules)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    slider.SetMinValue(2);
    EXPECT_EQ(slider.Value(), 2);
    EXPECT_EQ(notes.changes, std::vector<int>({2}));

    slider.SetMaxValue(2);
    slider.SetMinValue(9);
    EXPECT_EQ(slider.MinValue(), 2);
    EXPECT_EQ(slider.MaxValue(), 4);

    // A range narrower than Increment shrinks it.
    TRulerSlider other;
    EXPECT_EQ(other.Increment(), 10);
    other.SetMaxValue(5);
    EXPECT_EQ(other.Increment(), 5);
}

TEST(SliderValue, IncrementOutsideTheRangeIsRefused)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    for (int increment : {0, 4, -1}) {
        try {
            slider.SetIncrement(increment);
            ADD_FAILURE() << increment << " was accepted";
        } catch (const ESliderError &error) {
            EXPECT_STREQ(error.what(), "Value must be between 1 and 3");
        }
    }
    EXPECT_EQ(slider.Increment(), 1);
    slider.SetIncrement(3);
    EXPECT_EQ(slider.Increment(), 3);
}

// IDSlider's Value moves from 0 to 1 when its MinValue is applied; the handler is bound after
// loading and hears nothing. While loading, Increment and the range are not tested.
TEST(SliderLoading, AppliesValuesWithoutTestsOrHandlers)
{
    SliderWindow window(IDSliderSettings);
    EXPECT_EQ(window.Slider->Value(), 1);
    EXPECT_EQ(window.Slider->StoredProperties(),
              QStringList({"Increment", "MinValue", "MaxValue", "Value"}));

    TRulerSlider slider;
    SliderNotifications notes(slider);
    slider.BeginLoading();
    slider.SetIncrement(500);
    slider.SetIncrement(0);
    EXPECT_EQ(slider.Increment(), 500);
    slider.SetMaxValue(-5);
    EXPECT_EQ(slider.MaxValue(), -5);
    EXPECT_EQ(slider.Value(), 0); // clamped to MaxValue first, then to MinValue
    slider.SetMaxValue(50);
    slider.setGeometry(0, 0, 145, 38);
    slider.Loaded();
    EXPECT_EQ(slider.Increment(), 500);
    EXPECT_EQ(slider.TrackLength(), 124);
}

TEST(SliderImages, UserImagesReplaceAndRestore)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    QImage thumb(10, 20, QImage::Format_RGB32);
    thumb.fill(Qt::blue);
    slider.SetOptions(slider.Options() | soThumbOpaque | soRulerOpaque);
    slider.SetImageHThumb(thumb);
    EXPECT_EQ(slider.UserImages(), 0x01);
    EXPECT_EQ(slider.ThumbBox().size(), QSize(5, 20));
    EXPECT_TRUE(slider.StoredProperties().contains("UserImages"));

    slider.BeginLoading();
    slider.Loaded();
    EXPECT_EQ(slider.ThumbBox().size(), QSize(5, 20));

    slider.SetImageHThumb(QImage());
    EXPECT_EQ(slider.UserImages(), 0);
    EXPECT_EQ(slider.ThumbBox().size(), QSize(9, 17));
    EXPECT_FALSE(slider.Options() & soThumbOpaque);
    EXPECT_TRUE(slider.Options() & soRulerOpaque);
}

TEST(SliderKeys, StepWithoutModifiers)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);

    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 2);
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(slider.Value(), 4);
    QTest::keyClick(&slider, Qt::Key_Right); // already at MaxValue
    QTest::keyClick(&slider, Qt::Key_Left);
    QTest::keyClick(&slider, Qt::Key_Home);
    QTest::keyClick(&slider, Qt::Key_Home); // already at MinValue
    EXPECT_EQ(notes.changes, std::vector<int>({2, 4, 3, 1}));
    EXPECT_EQ(notes.changedCount, 6);
}

TEST(SliderKeys, OtherKeysAndModifiedArrowsArePassedOn)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Right, Qt::ShiftModifier}, {Qt::Key_Right, Qt::ControlModifier},
        {Qt::Key_End, Qt::AltModifier},     {Qt::Key_PageUp, Qt::NoModifier},
        {Qt::Key_PageDown, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier}};
    for (auto [key, modifiers] : keys) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&slider, &press);
        EXPECT_FALSE(press.isAccepted()) << key;
    }
    QWheelEvent wheel(QPointF(50, 14), slider.mapToGlobal(QPointF(50, 14)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider, &wheel);
    EXPECT_EQ(slider.Value(), 1);
    EXPECT_TRUE(notes.changes.empty());
    EXPECT_EQ(notes.changedCount, 0);
}

// With Increment 10 the arrows step from the nearest multiple of 10.
TEST(SliderKeys, StepFromTheNearestMultipleOfIncrement)
{
    TRulerSlider slider;
    for (int start : {15, 20, 25}) {
        slider.SetValue(start);
        QTest::keyClick(&slider, Qt::Key_Right);
        EXPECT_EQ(slider.Value(), 30) << start;
        slider.SetValue(start);
        QTest::keyClick(&slider, Qt::Key_Left);
        EXPECT_EQ(slider.Value(), 10) << start;
    }
}

// The arrows reach a focused slider even when the window has a shortcut on them.
TEST(SliderKeys, ArrowsReachTheFocusedSlider)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    TRulerSlider neighbour(&window.Window);
    neighbour.move(1, 51);
    neighbour.show();
    QAction shortcut(&window.Window);
    shortcut.setShortcut(Qt::Key_Right);
    window.Window.addAction(&shortcut);
    QSignalSpy triggered(&shortcut, &QAction::triggered);

    window.Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window.Window));
    slider.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider.hasFocus(); }, 5000));
    QTest::keyClick(window.Window.windowHandle(), Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 2);
    EXPECT_TRUE(slider.hasFocus());
    EXPECT_EQ(triggered.count(), 0);
}

TEST(SliderPainting, ThumbRulerAndPointsAreWhereComputed)
{
    SliderWindow window(IDSliderSettings);
    ASSERT_TRUE(window.Exposed);
    TRulerSlider &slider = *window.Slider;
    const QColor text = slider.palette().color(QPalette::WindowText);
    const QColor background = slider.palette().color(slider.backgroundRole());
    const QImage image = slider.grab().toImage();

    EXPECT_EQ(image.pixelColor(6, 6), QColor(Qt::white));       // thumb's highlight corner
    EXPECT_EQ(image.pixelColor(7, 7), QColor(192, 192, 192));   // its face
    EXPECT_EQ(image.pixelColor(6, 22), background);             // beside its point
    EXPECT_EQ(image.pixelColor(60, 12), QColor(128, 128, 128)); // groove
    EXPECT_EQ(image.pixelColor(60, 11), background);            // transparent ruler row
    for (int left : {6, 47, 89, 130}) {
        const int x = left + 4;
        const int length = left == 6 || left == 130 ? 5 : 3;
        EXPECT_EQ(image.pixelColor(x, 24), text) << x;
        EXPECT_EQ(image.pixelColor(x, 24 + length - 1), text) << x;
        EXPECT_EQ(image.pixelColor(x, 24 + length), background) << x;
        EXPECT_EQ(image.pixelColor(x + 1, 24), background) << x;
    }
}

TEST(SliderPainting, SolDelayShowsSeventeenPoints)
{
    SliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    const QColor text = slider.palette().color(QPalette::WindowText);
    const QImage image = slider.grab().toImage();
    int marked = 0;
    for (int x = 0; x < slider.width(); ++x)
        marked += image.pixelColor(x, 25) == text ? 1 : 0;
    EXPECT_EQ(marked, 17);
    for (int value = 0; value <= 31; ++value) {
        const bool point = value % 2 == 0 || value == 31;
        EXPECT_EQ(image.pixelColor(slider.ValueToOffset(value) + 4, 25) == text, point) << value;
    }
}

TEST(SliderPainting, DisabledThumbAndOwnPoints)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    const QColor text = slider.palette().color(QPalette::WindowText);
    slider.setEnabled(false);
    EXPECT_EQ(PixelAt(slider, 7, 7), QColor(Qt::white)); // checkered second state
    EXPECT_EQ(PixelAt(slider, 8, 7), QColor(192, 192, 192));
    slider.setEnabled(true);
    EXPECT_EQ(PixelAt(slider, 7, 7), QColor(192, 192, 192));

    // A handler replaces the standard points; here it draws them with twice the step.
    QObject::connect(&slider, &TRulerSlider::OnDrawPoints, &slider,
                     [&slider] { slider.DrawStandardPoints(2, 3, 5); });
    const QImage image = slider.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 24), text);
    EXPECT_NE(image.pixelColor(51, 24), text);
    EXPECT_EQ(image.pixelColor(93, 24), text);
    EXPECT_EQ(image.pixelColor(134, 24), text);

    slider.SetOptions(soSmooth);
    EXPECT_NE(PixelAt(slider, 10, 24), text);
}

TEST(SliderPainting, PaintedCopyUsesTheDisplayedValue)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.SetValue(3);
    const QImage copy = slider.PaintedCopy().toImage();
    EXPECT_EQ(copy.pixelColor(89, 6), QColor(Qt::white));
    EXPECT_EQ(copy.pixelColor(90, 7), QColor(192, 192, 192));
}

// Ranges, lengths and images that leave nothing to divide by still give a usable control.
TEST(SliderDegenerate, EmptyRangeShortTrackAndShortRuler)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.BeginLoading();
    slider.SetMaxValue(1);
    slider.Loaded();
    EXPECT_EQ(slider.ValueToOffset(1), 6);
    EXPECT_EQ(slider.OffsetToValue(100), 1);
    slider.grab();

    slider.SetMaxValue(4);
    slider.resize(12, 38);
    EXPECT_EQ(slider.TrackLength(), 0);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 2);
    EXPECT_EQ(ThumbLeft(slider), 6);
    slider.grab();

    slider.resize(145, 38);
    QImage ruler(1, 8, QImage::Format_RGB32);
    ruler.fill(Qt::red);
    slider.SetImageHRuler(ruler);
    slider.SetOptions(slider.Options() | soRulerOpaque);
    EXPECT_EQ(slider.RulerSize(), QSize(133, 8));
    EXPECT_EQ(PixelAt(slider, 100, 12), QColor(Qt::red));
}

} // namespace
