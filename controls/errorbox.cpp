#include "errorbox.h"

#include "exceptiontext.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include <cstdio>

namespace {

QString MessageOf(std::exception_ptr Error)
{
    return QString::fromStdString(ExceptionText(Error));
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

namespace {

// Shows Text in a modal box of the program's title; on any thread but the GUI thread, where no
// box may open, and when the box cannot be shown, it goes to standard error.
void ShowBox(QMessageBox::Icon Icon, const QString &Text) noexcept
{
    try {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread()) {
            std::fprintf(stderr, "%s\n", Text.toLocal8Bit().constData());
            return;
        }
        QMessageBox box(Icon, StandardErrorTitle(), Text, QMessageBox::Ok);
        // The text may quote a unit's reply: shown as it is, never read as markup.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } catch (...) {
        // Showing the box failed (out of memory, no display): nothing better is left to do.
        std::fputs("Zarnell Setup: an error could not be shown\n", stderr);
    }
}

} // namespace

void HandleApplicationException(std::exception_ptr Error) noexcept
{
    try {
        ShowBox(QMessageBox::Critical, StandardErrorText(MessageOf(Error)));
    } catch (...) {
        std::fputs("Zarnell Setup: an error could not be shown\n", stderr);
    }
}

void ShowDongleLost(TDongleSearch Search, std::exception_ptr Error) noexcept
{
    try {
        const QString whatNext =
            Search == TDongleSearch::dsNow
                ? QStringLiteral("Zarnell Setup is looking for it again: plug it in, and "
                                 "Download is enabled once it is found.")
                : QStringLiteral("Close this window: Zarnell Setup then looks for it again, "
                                 "and Download is enabled once it is found.");
        ShowBox(QMessageBox::Warning, QStringLiteral("The dongle was disconnected. ") + whatNext +
                                          QStringLiteral("\n\n") +
                                          StandardErrorText(MessageOf(Error)));
    } catch (...) {
        std::fputs("Zarnell Setup: the dongle was disconnected\n", stderr);
    }
}
