// The sliders on screens of 150 % and 200 %: drawn from their 2x pictures, with geometry, mouse
// and keys in logical pixels as at 100 %, and nothing left behind on the screen by a thumb that
// moved.
#include "contrasttheme.h"
#include "sliderwidgets.h"
#include "windowstyle.h"

#include <QBackingStore>
#include <QScopeGuard>
#include <QTest>
#include <QtGui/qpa/qplatformbackingstore.h>

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

QImage Picture(QWidget &Widget)
{
    return Widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The columns of the first and last pixel of each row of Rows that differ from Background.
std::vector<std::pair<int, int>> Outline(const QImage &Image, QRect Rows, QRgb Background)
{
    std::vector<std::pair<int, int>> outline;
    for (int y = Rows.top(); y <= Rows.bottom(); ++y) {
        int first = -1;
        int last = -1;
        for (int x = Rows.left(); x <= Rows.right(); ++x) {
            if (Image.pixel(x, y) != Background) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
        outline.emplace_back(first, last);
    }
    return outline;
}

// Counts the paints of a widget.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget *Widget) { Widget->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        Count += Event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

class SkyBlueSlider : public SliderWindow {
public:
    explicit SkyBlueSlider(const SliderSettings &Settings)
        : SliderWindow(Settings)
    {
        SetSkyBlueFace(Window);
    }
    QRgb Background() const { return WindowSkyBlue.rgb(); }
};

// The thumb's point and its pressed checker are drawn at one device pixel per step: a 1x
// picture scaled up would repeat every row and column of them in pairs.
TEST(At200Percent, TheThumbIsDrawnFromItsTwiceSizedPicture)
{
    SkyBlueSlider window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    ASSERT_EQ(slider.devicePixelRatioF(), 2.0);
    slider.SetValue(3);
    const QRect thumb = slider.ThumbBox();
    EXPECT_EQ(thumb, QRect(89, 6, 9, 17));

    const QImage image = Picture(slider);
    ASSERT_EQ(image.size(), QSize(290, 76));
    // The point: the last 8 device rows of the thumb, below the ruler.
    const QRect point(thumb.left() * 2, (thumb.bottom() + 1) * 2 - 8, thumb.width() * 2, 8);
    const auto outline = Outline(image, point, window.Background());
    for (std::size_t row = 0; row < outline.size(); ++row) {
        EXPECT_EQ(outline[row].first, point.left() + 1 + static_cast<int>(row)) << row;
        EXPECT_EQ(outline[row].second, point.right() - 1 - static_cast<int>(row)) << row;
    }

    QTest::mousePress(&slider, Qt::LeftButton, {}, thumb.center());
    const QImage pressed = Picture(slider);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, thumb.center());
    const int y = thumb.center().y() * 2;
    for (int x = thumb.left() * 2 + 4; x < thumb.left() * 2 + 12; ++x)
        EXPECT_NE(pressed.pixel(x, y), pressed.pixel(x + 1, y)) << x;
}

// Each line of the groove is two device pixels, and the ruler's ends are mitred pixel by pixel.
TEST(At200Percent, TheRulerIsDrawnFromItsTwiceSizedPicture)
{
    SkyBlueSlider window(SolDelaySliderSettings);
    TRulerSlider &slider = *window.Slider;
    const QImage image = Picture(slider);
    const QPoint ruler = slider.RulerTopLeft() * 2;
    const QRgb column[] = {qRgb(128, 128, 128), qRgb(128, 128, 128), qRgb(0, 0, 0),
                           qRgb(0, 0, 0),       qRgb(192, 192, 192), qRgb(192, 192, 192),
                           qRgb(255, 255, 255), qRgb(255, 255, 255)};
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(image.pixel(ruler.x() + 40, ruler.y() + 4 + row), column[row]) << row;
    // The top-right corner of the groove: grey above the diagonal, white below it.
    const int right = ruler.x() + slider.RulerSize().width() * 2 - 1;
    EXPECT_EQ(image.pixel(right - 1, ruler.y() + 4), qRgb(128, 128, 128));
    EXPECT_EQ(image.pixel(right, ruler.y() + 4), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(right - 1, ruler.y() + 5), qRgb(255, 255, 255));
}

// Under a contrast theme the 2x pictures too are drawn in the palette's text colour on its
// background, made again when the palette comes.
TEST(At200Percent, UnderAContrastThemeThePicturesTakeThePalettesTwoColours)
{
    SetContrastThemeAnswer(true);
    const auto systemAnswers = qScopeGuard([] { SetContrastThemeAnswer(std::nullopt); });
    SliderWindow window(IDSliderSettings);
    window.Slider->clearFocus();
    QPalette palette = window.Window.palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::yellow);
    window.Window.setPalette(palette);

    const QImage image = Picture(*window.Slider);
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    EXPECT_EQ(colours, (std::set<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 0)}));
}

// Mouse and keys work in logical pixels, exactly as at 100 %.
TEST(At200Percent, MouseAndKeysAsAt100Percent)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    SliderNotifications notes(slider);
    const QPoint grab = slider.ThumbBox().center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
    QTest::mouseMove(&slider, grab + QPoint(27 - 6, 0)); // leading edge 27: 2
    EXPECT_EQ(slider.Value(), 2);
    QTest::mouseMove(&slider, grab + QPoint(67 - 6, 0)); // 67: still 2
    EXPECT_EQ(slider.Value(), 2);
    QTest::mouseMove(&slider, grab + QPoint(68 - 6, 0)); // 68: the half rounds up to 3
    EXPECT_EQ(slider.Value(), 3);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, grab + QPoint(68 - 6, 0));
    EXPECT_EQ(slider.ThumbBox().left(), 89);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 4);
    EXPECT_EQ(notes.changes, std::vector<int>({2, 3, 4}));
}

// A user's image has no 2x picture: it is drawn scaled, as every image was before.
TEST(At200Percent, AUsersImageIsScaled)
{
    SliderWindow window(IDSliderSettings);
    TRulerSlider &slider = *window.Slider;
    QImage thumb(18, 17, QImage::Format_RGB32);
    thumb.fill(Qt::red);
    thumb.setPixel(0, 16, qRgb(255, 0, 255)); // the transparent colour
    slider.SetImageHThumb(thumb);
    const QImage image = Picture(slider);
    const QRect box = slider.ThumbBox();
    EXPECT_EQ(image.pixel(box.left() * 2, box.top() * 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(box.right() * 2 + 1, box.bottom() * 2 + 1), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(box.left() * 2 + 1, box.bottom() * 2 + 1), image.pixel(0, 0));
    EXPECT_NE(image.pixel(box.right() * 2 + 2, box.top() * 2), qRgb(255, 0, 0));
}

// What the screen shows after the thumb has moved is what a full repaint draws: at a ratio of
// 1.5 a thumb's edges fall on half pixels, and its old place must be cleared all the same.
TEST(AtFractionalRatio, AMovedThumbLeavesNothingBehind)
{
    SkyBlueSlider window(IDSliderSettings);
    ASSERT_TRUE(window.Exposed);
    TRulerSlider &slider = *window.Slider;
    ASSERT_EQ(slider.devicePixelRatioF(), 1.5);
    PaintCount paints(&slider);
    for (int value : {3, 2, 4, 1}) {
        const int before = paints.Count;
        slider.SetValue(value);
        // The screen is updated in the same step as the paint.
        ASSERT_TRUE(QTest::qWaitFor([&] { return paints.Count > before; }, 10000));
        const QImage shown =
            window.Window.backingStore()->handle()->toImage().convertToFormat(QImage::Format_RGB32);
        const QImage repainted = Picture(window.Window);
        // The slider's own pixels, less the half pixel on its edges that its neighbours share.
        const QRect area = QRectF(QPointF(slider.geometry().topLeft()) * 1.5 + QPointF(1, 1),
                                  QSizeF(slider.size()) * 1.5 - QSizeF(2, 2))
                               .toRect();
        QImage repaintedArea = repainted.copy(area);
        repaintedArea.setDevicePixelRatio(1);
        EXPECT_EQ(shown.copy(area), repaintedArea) << value;
    }
}

// At 1.5 the second value's slider (132 pixels from x 1) ends on half a device pixel: that
// column is painted in the background colour, and every tick mark is two device pixels wide.
TEST(AtFractionalRatio, EdgesAndTicksFallOnWholeDevicePixels)
{
    SkyBlueSlider window(SolDelaySliderSettings);
    ASSERT_TRUE(window.Exposed);
    TRulerSlider &slider = *window.Slider;
    ASSERT_EQ(slider.devicePixelRatioF(), 1.5);
    PaintCount paints(&slider);
    slider.SetValue(5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints.Count > 0; }, 10000));
    const QImage shown =
        window.Window.backingStore()->handle()->toImage().convertToFormat(QImage::Format_RGB32);
    const int edge = 199; // 133 * 1.5 = 199.5
    for (int y = 51 * 3 / 2; y < (51 + 28) * 3 / 2; ++y)
        EXPECT_EQ(shown.pixel(edge, y), window.Background()) << y;

    const QImage picture = Picture(slider);
    const int row = (slider.PointsBox().top() + 1) * 3 / 2;
    std::vector<int> widths;
    for (int x = 0, run = 0; x < picture.width(); ++x) {
        run = picture.pixel(x, row) == qRgb(0, 0, 0) ? run + 1 : 0;
        if (run > 0 && (x + 1 == picture.width() || picture.pixel(x + 1, row) != qRgb(0, 0, 0)))
            widths.push_back(run);
    }
    EXPECT_EQ(widths, std::vector<int>(17, 2));
}

} // namespace
