// zarnell-winschemes: the program's windows under the system colours that Wine's registry holds,
// as a person sees them on the screen; each text, tick, ruler, value box and button must read
// at 4.5:1 or better against what is behind it.
//   zarnell-winschemes normal|contrast FACE [FOLDER]
// "contrast" says that a contrast theme is on, which Wine cannot report itself. FACE is the
// colour that the setup and loader windows must be painted in (#a6caf0, their sky blue, or
// under a contrast theme the system's button face); the caution dialog has the system's face
// in any scheme. With FOLDER, each window's picture is kept there.
#include "contrasttheme.h"
#include "programsetup.h"
#include "programwindows.h"
#include "readability.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <cstring>

namespace {

// The window's client area as the screen shows it, once it has painted what it holds.
QImage ScreenPicture(QWidget &Window)
{
    Window.repaint();
    QCoreApplication::processEvents();
    return Window.screen()
        ->grabWindow(Window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool Check(QWidget &Window, const QColor &Face, const QString &Folder)
{
    const QImage picture = ScreenPicture(Window);
    if (!Folder.isEmpty())
        picture.save(QDir(Folder).filePath(Window.objectName() + QStringLiteral(".png")));
    const testing::AssertionResult readable = ReadsEverywhere(picture, Window);
    if (!readable) {
        std::fprintf(stderr, "%s\n", readable.message());
        return false;
    }
    const bool dialog = Window.objectName() == QLatin1String("UpdateDlgM");
    const QColor expected = dialog ? QApplication::palette().color(QPalette::Window) : Face;
    // The face as painted: the colour of the first pixel of the client area.
    const QColor painted = picture.pixelColor(0, 0);
    if (painted != expected) {
        std::fprintf(stderr, "%s: the face is %s, not %s\n", qPrintable(Window.objectName()),
                     qPrintable(painted.name()), qPrintable(expected.name()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool contrast = argc > 1 && std::strcmp(argv[1], "contrast") == 0;
    const QColor face = argc > 2 ? QColor(QString::fromLatin1(argv[2])) : QColor();
    if (argc < 3 || argc > 4 || (!contrast && std::strcmp(argv[1], "normal") != 0) ||
        !face.isValid()) {
        std::fprintf(stderr, "usage: zarnell-winschemes normal|contrast FACE [FOLDER]\n");
        return 2;
    }
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    SetUpProgram(&app);
    SetContrastThemeAnswer(contrast);

    TProgramWindows windows;
    FillForReading(windows);
    bool readable = true;
    // One at a time, as the screen shows them: the windows would cover each other.
    for (QWidget *window : std::initializer_list<QWidget *>{&windows.ZRSetupForm,
                                                            &windows.UpdateDlgM, &windows.Boot}) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window)) {
            std::fprintf(stderr, "%s did not show\n", qPrintable(window->objectName()));
            return 1;
        }
        readable = Check(*window, face, folder) && readable;
        window->hide();
    }
    return readable ? 0 : 1;
}
