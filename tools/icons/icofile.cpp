#include "icofile.h"

#include <QBuffer>
#include <QtEndian>

#include <stdexcept>

namespace {

constexpr int IconDirSize = 6;
constexpr int IconDirEntrySize = 16;
constexpr int LargestSide = 256;

QByteArray PngBytes(const QImage &Image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!Image.save(&buffer, "PNG"))
        throw std::runtime_error("Cannot encode an icon image as PNG");
    return png;
}

void AppendLe16(QByteArray &Bytes, quint16 Value)
{
    char raw[2];
    qToLittleEndian(Value, raw);
    Bytes.append(raw, sizeof raw);
}

void AppendLe32(QByteArray &Bytes, quint32 Value)
{
    char raw[4];
    qToLittleEndian(Value, raw);
    Bytes.append(raw, sizeof raw);
}

// The width and height fields hold one byte each; 0 stands for 256.
char SideByte(int Side)
{
    return static_cast<char>(Side == LargestSide ? 0 : Side);
}

} // namespace

QByteArray IcoFile(const QList<QImage> &Images)
{
    QList<QByteArray> pngs;
    for (const QImage &image : Images) {
        if (image.width() != image.height() || image.width() < 1 || image.width() > LargestSide)
            throw std::invalid_argument("An icon image must be square, 1 to 256 pixels wide");
        pngs.append(PngBytes(image));
    }

    QByteArray file;
    AppendLe16(file, 0); // reserved
    AppendLe16(file, 1); // resource type: icon
    AppendLe16(file, static_cast<quint16>(Images.size()));

    quint32 offset = IconDirSize + IconDirEntrySize * Images.size();
    for (qsizetype i = 0; i < Images.size(); ++i) {
        file.append(SideByte(Images[i].width()));
        file.append(SideByte(Images[i].height()));
        file.append('\0');    // no palette
        file.append('\0');    // reserved
        AppendLe16(file, 1);  // colour planes
        AppendLe16(file, 32); // bits per pixel
        AppendLe32(file, static_cast<quint32>(pngs[i].size()));
        AppendLe32(file, offset);
        offset += pngs[i].size();
    }
    for (const QByteArray &png : pngs)
        file.append(png);
    return file;
}
