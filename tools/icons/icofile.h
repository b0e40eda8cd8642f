// A Windows icon file (.ico) holding PNG-encoded images, as Windows Vista and later read them
// and as windres embeds them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// The bytes of an .ico file with one entry per image, in the given order. Each image must be
// square, 1 to 256 pixels wide. Raises std::invalid_argument for an image that is not.
QByteArray IcoFile(const QList<QImage> &Images);
