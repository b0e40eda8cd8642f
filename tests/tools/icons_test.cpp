// The program's icon files: the .ico container, the zarnell-icons command that writes the
// files from the window icon's drawing, and the hand-written scalable icon beside them.
#include "appicon.h"
#include "icofile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {

constexpr int ProcessPatienceMs = 60000;

QImage Argb(const QImage &Image)
{
    return Image.convertToFormat(QImage::Format_ARGB32);
}

quint16 Le16(const QByteArray &Bytes, qsizetype At)
{
    return qFromLittleEndian<quint16>(Bytes.constData() + At);
}

quint32 Le32(const QByteArray &Bytes, qsizetype At)
{
    return qFromLittleEndian<quint32>(Bytes.constData() + At);
}

// Every image of an .ico file as Qt's own reader decodes it.
QList<QImage> ReadIco(QIODevice *Device)
{
    QImageReader reader(Device, "ico");
    QList<QImage> images;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        images.append(Argb(reader.read()));
    }
    return images;
}

bool RunCommand(const QString &Program, const QStringList &Arguments, QString *Output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(Program, Arguments);
    const bool finished = process.waitForFinished(ProcessPatienceMs);
    *Output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// How far two pictures of the same size are apart: the mean difference of all channels of all
// pixels, and the share of pixels where some channel differs by more than a third of its range.
struct TDifference {
    double MeanChannel = 0;
    double FarPixels = 0;
};

TDifference Compare(const QImage &First, const QImage &Second)
{
    const QImage a = First.convertToFormat(QImage::Format_ARGB32);
    const QImage b = Second.convertToFormat(QImage::Format_ARGB32);
    double channelSum = 0;
    int farPixels = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int channels[] = {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q),
                                    qAlpha(p) - qAlpha(q)};
            int largest = 0;
            for (int d : channels) {
                channelSum += std::abs(d);
                largest = std::max(largest, std::abs(d));
            }
            farPixels += largest > 85;
        }
    const double pixels = double(a.width()) * a.height();
    return {channelSum / (4 * pixels), farPixels / pixels};
}

} // namespace

TEST(IcoFile, HoldsEveryImageAsPngBehindItsDirectoryEntry)
{
    const QList<int> sizes{16, 48, 256};
    QList<QImage> images;
    for (int size : sizes)
        images.append(Argb(DrawSetupIcon(size).toImage()));
    const QByteArray file = IcoFile(images);

    ASSERT_GE(file.size(), 6 + 16 * sizes.size());
    EXPECT_EQ(Le16(file, 0), 0);
    EXPECT_EQ(Le16(file, 2), 1) << "resource type icon";
    ASSERT_EQ(Le16(file, 4), sizes.size());
    quint32 expectedOffset = 6 + 16 * sizes.size();
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const qsizetype entry = 6 + 16 * i;
        const int sideByte = sizes[i] == 256 ? 0 : sizes[i];
        EXPECT_EQ(quint8(file[entry]), sideByte) << "width of entry " << i;
        EXPECT_EQ(quint8(file[entry + 1]), sideByte) << "height of entry " << i;
        EXPECT_EQ(Le16(file, entry + 4), 1) << "planes of entry " << i;
        EXPECT_EQ(Le16(file, entry + 6), 32) << "bits per pixel of entry " << i;
        const quint32 length = Le32(file, entry + 8);
        const quint32 offset = Le32(file, entry + 12);
        EXPECT_EQ(offset, expectedOffset) << "images follow each other without gaps";
        ASSERT_LE(qsizetype(offset) + length, file.size());
        const QByteArray png = file.mid(offset, length);
        EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n")) << "entry " << i;
        EXPECT_EQ(Argb(QImage::fromData(png, "PNG")), images[i]) << "entry " << i;
        expectedOffset = offset + length;
    }
    EXPECT_EQ(expectedOffset, quint32(file.size()));

    QByteArray copy = file;
    QBuffer buffer(&copy);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_EQ(ReadIco(&buffer), images) << "Qt's icon reader decodes the same pictures";
}

TEST(IcoFile, RefusesImagesAnIconCannotHold)
{
    EXPECT_THROW(IcoFile({QImage(32, 16, QImage::Format_ARGB32)}), std::invalid_argument);
    EXPECT_THROW(IcoFile({QImage(257, 257, QImage::Format_ARGB32)}), std::invalid_argument);
    EXPECT_THROW(IcoFile({QImage()}), std::invalid_argument);
}

TEST(IconsCommand, WritesEveryFileFromTheWindowIconsDrawing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString icoFile = dir.filePath(QStringLiteral("zarnell-setup.ico"));
    QString output;
    ASSERT_TRUE(RunCommand(QStringLiteral(ZARNELL_ICONS),
                           {QStringLiteral("--png"), dir.filePath(QStringLiteral("png")),
                            QStringLiteral("--ico"), icoFile},
                           &output))
        << output.toStdString();

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage png(dir.filePath(QStringLiteral("png/zarnell-setup-%1.png").arg(size)));
        EXPECT_EQ(Argb(png), Argb(DrawSetupIcon(size).toImage())) << size << " pixels";
    }

    QFile ico(icoFile);
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    QList<int> icoSizes;
    for (const QImage &image : ReadIco(&ico)) {
        EXPECT_EQ(image, Argb(DrawSetupIcon(image.width()).toImage())) << image.width();
        icoSizes.append(image.width());
    }
    EXPECT_EQ(icoSizes, (QList<int>{16, 24, 32, 48, 64, 256}));
}

TEST(IconsCommand, RefusesToRunWithNothingToWrite)
{
    QString output;
    EXPECT_FALSE(RunCommand(QStringLiteral(ZARNELL_ICONS), {}, &output));
    EXPECT_FALSE(RunCommand(QStringLiteral(ZARNELL_ICONS),
                            {QStringLiteral("--png"), QStringLiteral("/proc/no-such-folder")},
                            &output));
}

// The scalable icon is drawn by hand; rendered at 256 pixels it must show the same picture as
// the drawing, up to the renderers' different smoothing of edges.
TEST(ScalableIcon, LooksLikeTheWindowIcon)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString rendered = dir.filePath(QStringLiteral("svg.png"));
    QString output;
    ASSERT_TRUE(
        RunCommand(QStringLiteral(ZARNELL_RSVG_CONVERT),
                   {QStringLiteral("--width=256"), QStringLiteral("--height=256"),
                    QStringLiteral("--output=") + rendered, QStringLiteral(ZARNELL_SCALABLE_ICON)},
                   &output))
        << output.toStdString();
    const QImage svg(rendered);
    ASSERT_EQ(svg.size(), QSize(256, 256));

    const TDifference difference = Compare(svg, DrawSetupIcon(256).toImage());
    EXPECT_LT(difference.MeanChannel, 0.45);
    EXPECT_LT(difference.FarPixels, 0.002);
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
