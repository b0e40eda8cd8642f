#pragma once

// The slider's built-in pictures and the transparency rule shared by all of its images.

#include <QColor>
#include <QImage>
#include <QPixmap>

enum TSliderImage { siHThumb, siHRuler, siVThumb, siVRuler };
inline constexpr int SliderImageCount = 4;

// The built-in picture for an image index, as an opaque 32-bit image. Each is drawn at its own
// size (Scale 1) and at twice that size, for screens of a higher pixel ratio (Scale 2); the
// second holds the same picture with one-pixel steps on its diagonals and corners.
QImage BuiltInSliderImage(TSliderImage Index, int Scale = 1);

// An image's transparent colour is the colour of its bottom-left pixel.
QRgb TransparentColor(const QImage &Image);

// The picture in two colours, for a contrast theme: its face (the silver of the built-in
// pictures) in Face and every other pixel in Ink, so that its outline reads as the system's text
// does on either background; its transparent colour stays.
QImage TwoColourSliderImage(const QImage &Image, const QColor &Ink, const QColor &Face);

// The image as a pixmap, with its transparent colour cleared unless Opaque is asked for.
QPixmap SliderPixmap(const QImage &Image, bool Opaque);
