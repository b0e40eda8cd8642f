// zarnell-icons: writes the program's icon files from the drawing that gives the setup window
// its icon, so that the files and the window always show the same picture.
//   zarnell-icons --png DIR    zarnell-setup-<n>.png for every size a desktop theme asks for
//   zarnell-icons --ico FILE   a Windows icon file with the sizes Windows shows
// Runs on any Qt platform; the build runs it on the offscreen one.
#include "appicon.h"
#include "icofile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

const QList<int> PngSizes{16, 22, 24, 32, 48, 64, 128, 256};
const QList<int> IcoSizes{16, 24, 32, 48, 64, 256};

void WritePngs(const QString &Dir)
{
    if (!QDir().mkpath(Dir))
        throw std::runtime_error("Cannot create " + Dir.toStdString());
    for (int size : PngSizes) {
        const QString file = QDir(Dir).filePath(QStringLiteral("zarnell-setup-%1.png").arg(size));
        if (!DrawSetupIcon(size).save(file, "PNG"))
            throw std::runtime_error("Cannot write " + file.toStdString());
    }
}

void WriteIco(const QString &FileName)
{
    QList<QImage> images;
    for (int size : IcoSizes)
        images.append(DrawSetupIcon(size).toImage());
    const QByteArray bytes = IcoFile(images);
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("Cannot write " + FileName.toStdString() + ": " +
                                 file.errorString().toStdString());
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes Zarnell Setup's icon files."));
    parser.addHelpOption();
    const QCommandLineOption pngOption(QStringLiteral("png"),
                                       QStringLiteral("Write a PNG of every size into <dir>."),
                                       QStringLiteral("dir"));
    const QCommandLineOption icoOption(QStringLiteral("ico"),
                                       QStringLiteral("Write a Windows icon file <file>."),
                                       QStringLiteral("file"));
    parser.addOptions({pngOption, icoOption});
    parser.process(app);
    const bool nothingToWrite = !parser.isSet(pngOption) && !parser.isSet(icoOption);
    if (nothingToWrite || !parser.positionalArguments().isEmpty()) {
        std::fputs("zarnell-icons: give --png DIR, --ico FILE or both\n", stderr);
        return 2;
    }

    try {
        if (parser.isSet(pngOption))
            WritePngs(parser.value(pngOption));
        if (parser.isSet(icoOption))
            WriteIco(parser.value(icoOption));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "zarnell-icons: %s\n", error.what());
        return 1;
    }
    return 0;
}
