// How well a person can read a window: the contrast of each text, tick, ruler, value box and
// enabled button against what is behind it, measured in a picture of the window as WCAG
// measures it (relative luminance; 4.5:1 is the least for text).
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

struct TProgramWindows;

// A part of a window to read: where its ink is drawn, and the area whose commonest colour is
// what is behind it, both in the window's client coordinates.
struct TInkArea {
    QString Name;
    QRect Ink;
    QRect Background;
};

// The parts of Window to read: its labels with text, the text areas of its edit boxes, the
// faces of its enabled buttons, and each slider's ruler, thumb and ticks against the slider's
// background. Disabled controls are left out, as WCAG leaves them out.
std::vector<TInkArea> InkAreas(const QWidget &Window);

double ContrastRatio(QRgb First, QRgb Second);

struct TContrast {
    QRgb Background;
    QRgb Ink; // the pixel of the ink area that differs most from Background in luminance
    double Ratio;
};
TContrast MeasureContrast(const QImage &Picture, const TInkArea &Area);

// Fills the program's windows as in a run, with something in each box and label: a port
// listed, the dongle found (Download enabled), the loader halfway.
void FillForReading(TProgramWindows &Windows);

// Passes when every part of Window reads at Least:1 or better in Picture, a picture of its
// client area; otherwise names each part that does not, with its colours and its ratio.
testing::AssertionResult ReadsEverywhere(const QImage &Picture, const QWidget &Window,
                                         double Least = 4.5);
