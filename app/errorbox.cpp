#include "errorbox.h"

#include "replyparser.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include <cstdio>

namespace {

QString MessageOf(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const EUnexpectedReply &e) {
        // The line's bytes may hold a NUL, which what() cannot carry.
        return QString::fromUtf8(e.Message().data(), static_cast<qsizetype>(e.Message().size()));
    } catch (const std::exception &e) {
        // Messages are UTF-8; a reply line's bytes 128-255 arrive as their own code points.
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

} // namespace

QString StandardErrorText(const QString &Message)
{
    if (!Message.isEmpty() && Message.back() > QLatin1Char('.'))
        return Message + QLatin1Char('.');
    return Message;
}

QString StandardErrorTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void HandleApplicationException(std::exception_ptr Error) noexcept
{
    try {
        const QString text = StandardErrorText(MessageOf(Error));
        // A box belongs to the GUI thread; anywhere else only standard error is safe.
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread()) {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            return;
        }
        QMessageBox box(QMessageBox::Critical, StandardErrorTitle(), text, QMessageBox::Ok);
        box.exec();
    } catch (...) {
        // Showing the box failed (out of memory, no display): nothing better is left to do.
        std::fputs("Zarnell Setup: an error could not be shown\n", stderr);
    }
}
