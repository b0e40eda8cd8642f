// The sliders' pictures at 100 %, pixel for pixel, against reference pictures of the controls as
// they were first drawn (tests/controls/reference). The style's own focus frame differs between
// platforms and is left out; everything else here is the control's own drawing.
#include "sliderwidgets.h"
#include "windowstyle.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The slider's picture on the setup window's sky-blue face.
QImage Picture(TRulerSlider &Slider)
{
    return Slider.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Compares with the reference of that name; on a difference the picture is kept beside the
// test's temporary files, so that it can be looked at.
testing::AssertionResult LooksLikeReference(const QImage &Actual, const QString &Name)
{
    const QImage expected = QImage(QStringLiteral(":/reference/%1.png").arg(Name))
                                .convertToFormat(QImage::Format_RGB32);
    if (Actual == expected)
        return testing::AssertionSuccess();
    const QString kept = QDir::temp().filePath(QStringLiteral("zarnell-%1.png").arg(Name));
    Actual.save(kept);
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << Name.toStdString() << ": ";
    if (Actual.size() != expected.size()) {
        failure << "the picture is " << Actual.width() << "x" << Actual.height()
                << ", the reference " << expected.width() << "x" << expected.height();
    } else {
        int differing = 0;
        for (int y = 0; y < Actual.height(); ++y)
            for (int x = 0; x < Actual.width(); ++x)
                differing += Actual.pixel(x, y) != expected.pixel(x, y) ? 1 : 0;
        failure << differing << " pixels differ";
    }
    return failure << "; the picture is in " << kept.toStdString();
}

class SkyBlueSliderWindow : public SliderWindow {
public:
    explicit SkyBlueSliderWindow(const SliderSettings &Settings)
        : SliderWindow(Settings)
    {
        SetSkyBlueFace(Window);
        QPalette palette = Window.palette();
        // The bevel's colours too, which the styles' palettes choose differently.
        palette.setColor(QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::Dark, QColor(128, 128, 128));
        palette.setColor(QPalette::Light, Qt::white);
        Window.setPalette(palette);
    }
};

TEST(SliderPixels, IDSliderAtEachValueAndState)
{
    SkyBlueSliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    for (int value : {1, 3, 4}) {
        slider.SetValue(value);
        EXPECT_TRUE(LooksLikeReference(Picture(slider), QStringLiteral("idslider-%1").arg(value)));
    }

    const QPoint thumb = slider.ThumbBox().center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, thumb);
    EXPECT_TRUE(LooksLikeReference(Picture(slider), QStringLiteral("idslider-4-pressed")));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, thumb);

    slider.SetValue(2);
    slider.setEnabled(false);
    EXPECT_TRUE(LooksLikeReference(Picture(slider), QStringLiteral("idslider-2-disabled")));
}

TEST(SliderPixels, SolDelaySliderAtEachEnd)
{
    SkyBlueSliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    for (int value : {0, 17, 31}) {
        slider.SetValue(value);
        EXPECT_TRUE(
            LooksLikeReference(Picture(slider), QStringLiteral("soldelayslider-%1").arg(value)));
    }
}

TEST(SliderPixels, VerticalSliderWithBevel)
{
    SkyBlueSliderWindow window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    slider.SetOrientation(soVertical);
    slider.SetBevelStyle(bvLowered);
    slider.SetValue(17);
    EXPECT_TRUE(LooksLikeReference(Picture(slider), QStringLiteral("vertical-17")));
    slider.setEnabled(false);
    EXPECT_TRUE(LooksLikeReference(Picture(slider), QStringLiteral("vertical-17-disabled")));
}

} // namespace
